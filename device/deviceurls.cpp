#include "device/deviceurls.h"

#include <initializer_list>
#include <utility>

// Values are joined, never substituted twice: paths arrive percent-encoded ("%20", "%E4")
// and must not be taken for placeholders.

namespace {

QString parameters(std::initializer_list<std::pair<const char *, QString>> list)
{
    QString text;
    for (const auto &parameter : list)
        text +=
            QLatin1Char('&') + QLatin1String(parameter.first) + QLatin1Char('=') + parameter.second;
    return text;
}

} // namespace

QString DeviceUrls::queryValue(const QString &value)
{
    QString text;
    text.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '%':
        case '&':
        case '#':
        case '+':
        case ';':
            text += QStringLiteral("%%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
            break;
        default:
            text += c;
        }
    }
    return text;
}

QString DeviceUrls::userQuery(const DeviceUser &user)
{
    if (!user.signedIn)
        return QStringLiteral("&userid=0&username=0");
    return QStringLiteral("&userid=%1&username=%2")
        .arg(QString::number(user.userId), queryValue(user.userName));
}

QString DeviceUrls::dlnaUrl(const DeviceRecord &device, const QString &opt, const DeviceUser &user)
{
    return QStringLiteral("%1/dlna.csp?fname=dlna&opt=%2&%3")
               .arg(device.serviceOrigin(device.xctl_port), opt,
                    device.relayParameters(device.xctl_port)) +
           userQuery(user);
}

QString DeviceUrls::queryDir(const DeviceRecord &device, const DeviceUser &user,
                             const QString &path, int start, int count)
{
    return dlnaUrl(device, QStringLiteral("querydir"), user) +
           parameters({{"start", QString::number(start)},
                       {"count", QString::number(count)},
                       {"path", path}});
}

QString DeviceUrls::fileList(const DeviceRecord &device, const DeviceUser &user, int type,
                             int start, int count)
{
    return dlnaUrl(device, QStringLiteral("get"), user) +
           parameters({{"type", QString::number(type)},
                       {"start", QString::number(start)},
                       {"count", QString::number(count)}}) +
           QStringLiteral("&sortby=time&sorttype=down&businesstype=1");
}

QString DeviceUrls::fileData(const DeviceRecord &device, const DeviceUser &user,
                             const QString &path, int order, quint64 size)
{
    return dlnaUrl(device, QStringLiteral("getfiledata"), user) +
           parameters({{"order", QString::number(order)},
                       {"size", QString::number(size)},
                       {"path", path}});
}

QString DeviceUrls::realVideo(const DeviceRecord &device, const DeviceUser &user, int type,
                              int seriesid, int start, int count)
{
    return dlnaUrl(device, QStringLiteral("getrealvideo"), user) +
           parameters({{"type", QString::number(type)},
                       {"start", QString::number(start)},
                       {"count", QString::number(count)},
                       {"seriesid", QString::number(seriesid)}}) +
           QStringLiteral("&sortby=1&sorttype=0&from=0&dpart=");
}

QString DeviceUrls::deleteFiles(const DeviceRecord &device, const DeviceUser &user,
                                const QString &filelist)
{
    return dlnaUrl(device, QStringLiteral("delfileex"), user) +
           parameters({{"filelist", filelist}});
}

QString DeviceUrls::usbInfo(const DeviceRecord &device, const DeviceUser &user)
{
    return dlnaUrl(device, QStringLiteral("getusbinfo"), user);
}

QString DeviceUrls::mkdir(const DeviceRecord &device, const DeviceUser &user,
                          const QString &dirpath)
{
    return QStringLiteral(
               "%1/protocol.csp?fname=storage&opt=recursive_mkdir&resp_t=2&%2&dirpath=%3")
               .arg(device.serviceOrigin(device.xctl_port),
                    device.relayParameters(device.xctl_port), dirpath) +
           userQuery(user);
}

QUrl DeviceUrls::toUrl(const QString &text)
{
    return QUrl(text, QUrl::TolerantMode);
}
