#include "web/cloudsiterules.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegExp>

namespace {

int defaultPort(const QString &scheme)
{
    return scheme == QLatin1String("https") ? 443 : 80;
}

} // namespace

QString signedInPagePattern(const QUrl &home)
{
    QString host = home.host();
    const QHostAddress address(host);
    QString hostPattern;
    if (!address.isNull()) {
        hostPattern = address.protocol() == QAbstractSocket::IPv6Protocol
                          ? QStringLiteral("\\[") + QRegExp::escape(host) + QStringLiteral("\\]")
                          : QRegExp::escape(host);
    } else {
        if (host.startsWith(QLatin1String("www.")))
            host = host.mid(4);
        hostPattern = host.contains(QLatin1Char('.'))
                          ? QStringLiteral("[A-Za-z0-9_-]+\\.") + QRegExp::escape(host)
                          : QRegExp::escape(host);
    }
    const int port = home.port();
    const QString portPattern = port > 0 && port != defaultPort(home.scheme())
                                    ? QStringLiteral(":%1").arg(port)
                                    : QString();
    return QStringLiteral("https?://") + hostPattern + portPattern + QStringLiteral("/my.*");
}

bool isCloudHomePage(const QUrl &url, const QUrl &home)
{
    return url.scheme() == home.scheme() && url.host() == home.host() &&
           url.port(defaultPort(url.scheme())) == home.port(defaultPort(home.scheme())) &&
           url.path() == QLatin1String("/") && url.userInfo().isEmpty() && !url.hasQuery() &&
           !url.hasFragment();
}

QString injectedScriptText(const QString &source, int rpcPort, const QByteArray &rpcSecret)
{
    // A one-element JSON array gives the secret as a quoted, escaped JavaScript string.
    const QByteArray array =
        QJsonDocument(QJsonArray{QString::fromUtf8(rpcSecret)}).toJson(QJsonDocument::Compact);
    const QString secret = QString::fromUtf8(array.mid(1, array.size() - 2));
    QString text = source;
    text.replace(QLatin1String("__KELVORA_RPC_PORT__"), QString::number(rpcPort));
    text.replace(QLatin1String("__KELVORA_RPC_SECRET__"), secret);
    return text;
}

QString homePageScript()
{
    return QStringLiteral("$('body').css('background','#3083eb');$('div.container').css('width', "
                          "'900px');$('div.login-panel').css('right', "
                          "'50px');$('div.wrap.clearfix').remove();$('div.follow-us').remove();");
}
