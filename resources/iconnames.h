#pragma once

#include <QStringList>

// Base names of the icons compiled in under ":/images/" ("main" is ":/images/main.png").
QStringList compiledIconNames();
