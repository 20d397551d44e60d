#include "report/reportprint.h"

#include <QPrinter>

bool printReport(QPrinter &printer, const ReportContent &content, QString *error)
{
    const QPageRanges pages = printer.printRange() == QPrinter::PageRange ? printer.pageRanges() : QPageRanges();
    return paintReport(printer, content, reportPageSetup(printer.pageLayout()), error, pages);
}
