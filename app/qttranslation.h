#pragma once

class QCoreApplication;

// Qt's own texts (standard buttons, file and progress dialogs) in Russian, like the rest of the
// interface. False when the catalogue is not installed; the program then runs with Qt's English.
bool installQtTranslation(QCoreApplication &app);
