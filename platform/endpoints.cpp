#include "platform/endpoints.h"

#include <QDebug>
#include <QUrl>

bool parseServiceUrl(const QString &text, bool trimSlash, QString *url)
{
    const QString value = text.trimmed();
    const QUrl parsed(value, QUrl::StrictMode);
    const QString scheme = parsed.scheme();
    if (value.isEmpty() || !parsed.isValid() || parsed.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return false;
    QString result = value;
    while (trimSlash && result.endsWith(QLatin1Char('/')))
        result.chop(1);
    *url = result;
    return true;
}

static QString baseUrl(const char *variable, const char *fallback, bool trimSlash)
{
    const QString value = qEnvironmentVariable(variable).trimmed();
    if (value.isEmpty())
        return QString::fromLatin1(fallback);
    QString url;
    if (!parseServiceUrl(value, trimSlash, &url)) {
        qDebug("malformed %s ignored: %s", variable, qPrintable(value));
        return QString::fromLatin1(fallback);
    }
    return url;
}

QString deviceManagerUrl()
{
    return baseUrl("KELVORA_DEVICE_MANAGER", "http://127.0.0.1:18080", true);
}

QString accountServiceUrl()
{
    return baseUrl("KELVORA_ACCOUNT_SERVICE", "http://127.0.0.1:18080", true);
}

QString cloudSiteUrl()
{
    return baseUrl("KELVORA_CLOUD_SITE", "http://127.0.0.1:18100/", false);
}

bool parseDiscoveryTarget(const QString &text, DiscoveryTarget *target)
{
    const QString value = text.trimmed();
    const int colon = value.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    QString host = value.left(colon);
    const QString portText = value.mid(colon + 1);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(QLatin1Char(':')))
        return false; // an IPv6 address needs its brackets
    QHostAddress address;
    if (host == QLatin1String("localhost"))
        address = QHostAddress(QHostAddress::LocalHost);
    else if (!address.setAddress(host))
        return false;
    bool ok = false;
    const uint port = portText.toUInt(&ok, 10);
    if (!ok || port == 0 || port > 65535 || portText.startsWith(QLatin1Char('+')))
        return false;
    target->address = address;
    target->port = quint16(port);
    return true;
}

DiscoveryTarget discoveryTarget()
{
    DiscoveryTarget target{QHostAddress(QHostAddress::Broadcast), 19000};
    const QString value = qEnvironmentVariable("KELVORA_DISCOVERY_TARGET");
    if (value.isEmpty())
        return target;
    if (!parseDiscoveryTarget(value, &target)) {
        // Whoever set the variable meant to keep discovery somewhere specific: a typo must
        // not turn into a broadcast, so fall back to loopback.
        qDebug("malformed KELVORA_DISCOVERY_TARGET ignored: %s", qPrintable(value));
        target = {QHostAddress(QHostAddress::LocalHost), 19000};
    }
    return target;
}
