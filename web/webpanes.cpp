#include "web/webpanes.h"

#include "app/messagebox.h"
#include "platform/systeminfo.h"
#include "web/syncprocess.h"
#include "web/webview.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

namespace {
const char handOverName[] = "kelvora-aria2";
}

WebPanes::WebPanes(WebView *cloudView, QWebEngineView *syncView, SyncProcess *sync,
                   const QString &applicationDir, QWidget *window)
    : QObject(window), cloudView(cloudView), syncView(syncView), sync(sync),
      applicationDir(applicationDir), window(window)
{
    cloudView->setSyncProcess(sync);
}

void WebPanes::openCloudPane()
{
    if (isWindowsXP()) {
        MessageBox::showMessage(Error, tr("此功能暂不支持XP系统"), window, false, 2000);
        return;
    }
    if (cloudView->url().isEmpty())
        cloudView->load(cloudView->homeUrl());
    sync->startSyncProcess();
    window->repaint();
}

void WebPanes::openSyncPane()
{
    sync->startSyncProcess();
    // Handed over at every opening: the configuration may have been made anew meanwhile.
    handOverToWebInterface();
    if (syncView->url().isEmpty())
        syncView->load(QUrl::fromLocalFile(applicationDir + QStringLiteral("/webui/index.html")));
}

// The web interface learns aria2's port and secret before its own script runs, without the
// secret ever being part of an address.
void WebPanes::handOverToWebInterface()
{
    const QJsonObject rpc{{QStringLiteral("port"), sync->rpcPort()},
                          {QStringLiteral("secret"), QString::fromUtf8(sync->rpcSecret())}};
    QWebEngineScript script;
    script.setName(QString::fromLatin1(handOverName));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setSourceCode(
        QStringLiteral("window.kelvoraAria2 = %1;")
            .arg(QString::fromUtf8(QJsonDocument(rpc).toJson(QJsonDocument::Compact))));
    QWebEngineScriptCollection &scripts = syncView->page()->scripts();
    for (const QWebEngineScript &old : scripts.findScripts(QString::fromLatin1(handOverName)))
        scripts.remove(old);
    scripts.insert(script);
}
