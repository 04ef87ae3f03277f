#pragma once

#include "tests/support/labprocess.h"

#include <QImage>
#include <QList>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>

// One private Xvfb for a test and the X tools that drive it (xdotool, import).
//
// start() lets Xvfb choose a free display itself (-displayfd), so parallel tests never race for
// a display number. Everything started here is ended by its own process id.
class XSession
{
public:
    struct Window
    {
        qulonglong id = 0;
        QRect geometry;
        bool isValid() const { return id != 0; }
    };

    XSession() = default;
    ~XSession();
    XSession(const XSession &) = delete;
    XSession &operator=(const XSession &) = delete;

    bool start(const QString &workDir, int width = 1280, int height = 800, int timeoutMs = 30000);
    void stop();
    QString display() const { return display_; }
    QString lastError() const { return error_; }

    // Runs a tool with DISPLAY set; false when it did not finish in time or exited non-zero.
    bool run(const QString &program, const QStringList &args, QByteArray *out = nullptr,
             int timeoutMs = 30000);

    // The viewable top-level windows of a process whose title is exactly `title` (any title when
    // null; titles are ASCII only: the tools' arguments pass through the test's locale).
    QList<Window> windows(qint64 pid, const QString &title = QString());

    // `count` 2 is a double click.
    bool click(int x, int y, int count = 1);
    bool click(const Window &window, QPoint at, int count = 1)
    {
        return click(window.geometry.x() + at.x(), window.geometry.y() + at.y(), count);
    }
    // Selects everything in the focused field and types `text` over it.
    bool replaceText(const QString &text);
    QImage grab();

private:
    QProcess xvfb_;
    QString display_;
    QString error_;
};

// Ends a process this test started: SIGTERM, then SIGKILL after five seconds.
void endProcess(QProcess &process);

// Polls `condition` every 100 ms (keeping the event loop alive) until it holds or the time is up.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs);

// What every end-to-end test stands on: its own Xvfb, a lab on free loopback ports and the whole
// client (bin/kelvora) started against them, its windows told apart by their fixed sizes.
class ClientSession
{
public:
    static const int startMs = 60000;  // a client start on a loaded machine, QtWebEngine included
    static const int answerMs = 30000; // a reaction of the client or a page to one event

    // Xvfb and the lab (sample with overrides); the error in lastError().
    bool start(const QJsonObject &labOverrides = {});
    QString lastError() const { return error_; }
    // Starts the client with the lab's addresses (env adds or overrides); output to work/<log>.
    bool startClient(QProcess &client, const QString &log, const QProcessEnvironment &env = {});

    XSession::Window loginDialog(const QProcess &client) { return window(client, false); }
    XSession::Window mainWindow(const QProcess &client) { return window(client, true); }
    // Types name and password into the login dialog and presses its button.
    bool typeSignIn(const XSession::Window &dialog, const QString &name, const QString &password);
    // Saves a window, from `screen` or a fresh grab, as work/<name>, and under
    // KELVORA_E2E_SCREENSHOT_DIR when set.
    bool saveShot(const XSession::Window &window, const QString &name, const QImage &screen = {});
    // After a failed step: the clients' output and the lab's last requests.
    void reportFailure() const;

    XSession x;
    LabProcess lab;
    QString work;

private:
    XSession::Window window(const QProcess &client, bool main);
    QList<const QProcess *> clients_;
    QString error_;
};
