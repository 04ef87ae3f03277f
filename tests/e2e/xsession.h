#pragma once

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

    // The viewable top-level windows of a process whose title is exactly `title`.
    QList<Window> windows(qint64 pid, const QString &title);
    QString windowName(qulonglong id);

    bool click(int x, int y);
    // Selects everything in the focused field and types `text` over it.
    bool replaceText(const QString &text);
    QImage grab();

private:
    QProcess xvfb_;
    QString display_;
    QString error_;
};

// Polls `condition` every 100 ms (keeping the event loop alive) until it holds or the time is up.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs);
