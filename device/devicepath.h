#ifndef KELVORA_DEVICEPATH_H
#define KELVORA_DEVICEPATH_H

#include <QString>

// A device identifier comes from the network (any host on the LAN can answer discovery).
// Wherever it becomes part of a file path (per-device caches), use this instead of the raw
// identifier: the result is one plain file-name component that cannot lead out of the folder
// it is put in. Plain identifiers (letters, digits, '-', '_') come back unchanged; everything
// else is percent-encoded (an unpaired surrogate as "%uD800"), so different identifiers never
// share a folder.
QString safeDevicePathComponent(const QString &deviceid);

#endif
