#pragma once

#include <QString>

class QWidget;

// The name a save dialog gave, with `extension` (".csv") added when it lacks it: template and
// setup names hold dots, so the dialog cannot tell that the extension is missing. A file that the
// added extension would then replace is asked about, since the dialog asked about the name
// without it. "" when the user declines.
QString completeSaveName(QWidget *parent, const QString &chosen, const QString &extension);
