#ifndef KELVORA_QTTRANSLATIONS_H
#define KELVORA_QTTRANSLATIONS_H

class QCoreApplication;

// Loads Qt's own Chinese texts (the file dialogs' "Choose", "Cancel", the edits' context menus)
// from the translations folder beside the program, else from Qt's. False when none is found:
// those texts then stay English.
bool installQtTranslations(QCoreApplication *app);

#endif
