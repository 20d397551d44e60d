#pragma once

#include "drawing/reportdocument.h"

class QPrinter;

// Prints the report as the print dialog left `printer`: its paper, the orientation it chose for
// the table pages and its page range. False with *error set on failure.
bool printReport(QPrinter &printer, const ReportContent &content, QString *error);
