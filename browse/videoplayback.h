#ifndef KELVORA_VIDEOPLAYBACK_H
#define KELVORA_VIDEOPLAYBACK_H

#include <QString>
#include <QStringList>

class DeviceRecord;

// What playing a device video takes: a device on the LAN (the stream goes straight to its
// address, never through the relay), a path, a player, and the player's argument list, which
// is exactly one argument, the stream's URL:
//   "http://<intraip>:<http_port><path>"
// The path is percent-encoded (every byte but "/" and the unreserved ones), so a name with
// blanks, quotes, ";", "$()", "#", "?" or "%" reaches the device as that name, and the player
// never sees a fragment, a query or an option in it. No shell is involved anywhere.
class VideoPlayback
{
public:
    enum Outcome
    {
        NotOnLan,      // no current device, or one reached through the relay
        NothingToPlay, // an empty path: nothing happens
        NoPlayer,
        BadAddress, // the device's LAN address cannot stand in a URL
        Ready
    };

    class Launch
    {
    public:
        Outcome outcome = NotOnLan;
        QString program;
        QStringList arguments;
    };

    // device: the current device or null; encodedPath: the path as the lists hand it on
    // (percent-encoded); player: the program found, empty when there is none.
    static Launch prepare(const DeviceRecord *device, const QString &encodedPath,
                          const QString &player);
    // Empty when the device's address is not a valid host.
    static QString streamUrl(const DeviceRecord &device, const QString &devicePath);
};

#endif
