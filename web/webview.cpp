#include "web/webview.h"

#include "platform/endpoints.h"
#include "web/cloudsiterules.h"
#include "web/syncconfig.h"
#include "web/syncprocess.h"

#include <QDebug>
#include <QFile>

WebView::WebView(QWidget *parent) : QWebEngineView(parent)
{
    setHomeUrl(QUrl(cloudSiteUrl()));
    connect(this, &QWebEngineView::loadFinished, this, &WebView::loadPageFinished);
    setContextMenuPolicy(Qt::NoContextMenu);
}

void WebView::setHomeUrl(const QUrl &homeUrl)
{
    home = homeUrl;
    loggedInPattern = QRegExp(signedInPagePattern(home), Qt::CaseSensitive, QRegExp::RegExp);
}

void WebView::loadPageFinished(bool ok)
{
    if (!ok)
        return;
    const QUrl address = page()->url();
    if (loggedInPattern.exactMatch(address.toString())) {
        QFile file(QStringLiteral(":/script/360.js"));
        if (!file.open(QIODevice::ReadOnly)) {
            qDebug("cannot open the injected script");
            return;
        }
        const int port = sync ? sync->rpcPort() : defaultSyncRpcPort;
        const QByteArray secret = sync ? sync->rpcSecret() : QByteArray();
        page()->runJavaScript(injectedScriptText(QString::fromUtf8(file.readAll()), port, secret));
    } else if (isCloudHomePage(address, home)) {
        page()->runJavaScript(homePageScript());
    }
}
