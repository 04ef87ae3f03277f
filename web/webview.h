#pragma once

#include <QRegExp>
#include <QUrl>
#include <QWebEngineView>

class SyncProcess;

// The cloud-disk pane: shows the site and, once the user is signed in there, injects the
// script that adds the download buttons handing files to aria2.
class WebView : public QWebEngineView
{
    Q_OBJECT

public:
    explicit WebView(QWidget *parent = nullptr);

    // The site's home address; its domain defines the signed-in pages. Set from the
    // endpoints at construction.
    void setHomeUrl(const QUrl &home);
    QUrl homeUrl() const { return home; }
    // Where the injected script sends the downloads: port and secret are read at each
    // injection (without a process, the default port and no secret).
    void setSyncProcess(const SyncProcess *process) { sync = process; }

public slots:
    void loadPageFinished(bool ok);

private:
    QRegExp loggedInPattern;
    QUrl home;
    const SyncProcess *sync = nullptr;
};
