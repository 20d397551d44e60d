#pragma once

#include <QCoreApplication>
#include <QString>

// The GUI's Russian texts in code outside a QObject: a file names its translation context once,
// in its anonymous namespace, and calls tr() as a class would.
#define KOLVANE_TR_CONTEXT(context)                                                                \
    inline QString tr(const char *text) { return QCoreApplication::translate(context, text); }
