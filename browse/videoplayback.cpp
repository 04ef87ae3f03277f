#include "browse/videoplayback.h"

#include "browse/filepaths.h"
#include "device/devicerecord.h"

#include <QUrl>

QString VideoPlayback::streamUrl(const DeviceRecord &device, const QString &devicePath)
{
    // The address comes from whoever answered discovery: only a host, nothing that would add
    // a user, a path or a second host to the URL.
    QUrl origin;
    origin.setScheme(QStringLiteral("http"));
    origin.setHost(device.intraip, QUrl::StrictMode);
    if (!origin.isValid() || origin.host().isEmpty())
        return QString();
    origin.setPort(device.http_port);
    QString path = devicePath;
    if (!path.startsWith(QLatin1Char('/')))
        path.prepend(QLatin1Char('/'));
    return origin.toString(QUrl::FullyEncoded) + FilePaths::encode(path);
}

VideoPlayback::Launch VideoPlayback::prepare(const DeviceRecord *device, const QString &encodedPath,
                                             const QString &player)
{
    Launch launch;
    if (!device || !device->isLocal)
        return launch;
    launch.outcome = NothingToPlay;
    if (encodedPath.isEmpty())
        return launch;
    launch.outcome = NoPlayer;
    if (player.isEmpty())
        return launch;
    const QString url = streamUrl(*device, FilePaths::decode(encodedPath));
    launch.outcome = BadAddress;
    if (url.isEmpty())
        return launch;
    launch.outcome = Ready;
    launch.program = player;
    launch.arguments = QStringList{url};
    return launch;
}
