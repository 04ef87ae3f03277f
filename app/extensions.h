#pragma once

#include <QSet>
#include <QString>

// Extension sets used to classify device files. Filled once by fillExtensionSets() before the
// main window exists and only read afterwards. Entries are lower case with their leading dot.
extern QSet<QString> documentExtensions;
extern QSet<QString> videoExtensions;
extern QSet<QString> audioExtensions;
extern QSet<QString> pictureExtensions;
extern QSet<QString> archiveExtensions;

void fillExtensionSets();

// The lookup key of a file name: from the last "." to the end, lower-cased. A name without a
// dot yields the whole name, which matches no set.
QString extensionOf(const QString &fileName);
