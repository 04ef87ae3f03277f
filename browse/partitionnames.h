#ifndef KELVORA_PARTITIONNAMES_H
#define KELVORA_PARTITIONNAMES_H

#include <QByteArray>
#include <QMap>
#include <QString>

// The one process-wide table from a partition's mount path to its display name, ordered by
// key. Empty until the current device's disk information arrives; read by every file view.
QMap<QString, QString> &partitionNames();

// The table a "getusbinfo" reply describes: every partition's "path" mapped to its "name", or
// to its "letter" when the name is empty; a later partition with the same path wins, one without a
// path is left out. False (and the table untouched) unless the body is a JSON object with "rtn" 0.
bool readPartitionNames(const QByteArray &body, QMap<QString, QString> *table);

#endif
