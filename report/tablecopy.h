#pragma once

class QAction;
class QMimeData;
class QTableView;

// Whether a copy of selected cells brings the first column of their rows along: the length of a
// rate, the target rate of a reach, without which the copied numbers cannot be read.
enum class KeyColumn { Leave, Include };

// A table as the clipboard carries it into spreadsheets and word processors: the selected cells
// (every cell when nothing is selected) under their column headers, as tab-separated text and as
// an HTML table. A header's line break becomes a space in the text and a <br> in the HTML.
QMimeData *tableMimeData(const QTableView *table, KeyColumn key = KeyColumn::Leave);

// Puts tableMimeData() on the clipboard.
void copyTable(const QTableView *table, KeyColumn key = KeyColumn::Leave);

// Gives the table a "Копировать" action (Ctrl+C, also in an actions context menu) that copies it.
QAction *addCopyAction(QTableView *table, KeyColumn key = KeyColumn::Leave);
