#pragma once

#include <QObject>
#include <QString>

class QWebEngineView;
class QWidget;
class SyncProcess;
class WebView;

// Opens the two web panes of the main window: the cloud-disk site in `cloudView` and aria2's
// web interface (our own, "/webui/index.html" in the application directory) in `syncView`,
// each loaded once, with aria2 started whenever either is opened.
class WebPanes : public QObject
{
    Q_OBJECT

public:
    WebPanes(WebView *cloudView, QWebEngineView *syncView, SyncProcess *sync,
             const QString &applicationDir, QWidget *window);

    // The sync page was selected.
    void openCloudPane();
    // The task page's sync tab was selected.
    void openSyncPane();

private:
    void handOverToWebInterface();

    WebView *cloudView;
    QWebEngineView *syncView;
    SyncProcess *sync;
    QString applicationDir;
    QWidget *window;
};
