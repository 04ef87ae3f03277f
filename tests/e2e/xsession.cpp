#include "tests/e2e/xsession.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QtTest>

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (true) {
        if (condition())
            return true;
        if (deadline.hasExpired())
            return false;
        QTest::qWait(100);
    }
}

XSession::~XSession()
{
    stop();
}

bool XSession::start(const QString &workDir, int width, int height, int timeoutMs)
{
    stop();
    // Xvfb writes the display number it picked to descriptor 3, which the shell points at a
    // file before it becomes Xvfb itself (exec keeps the process id).
    const QString numberFile = workDir + QStringLiteral("/xvfb-display");
    QFile::remove(numberFile);
    xvfb_.setStandardOutputFile(workDir + QStringLiteral("/xvfb.log"));
    xvfb_.setStandardErrorFile(workDir + QStringLiteral("/xvfb.log"), QIODevice::Append);
    xvfb_.start(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"),
         QStringLiteral("exec Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 %1x%2x24 3>\"$0\"")
             .arg(width)
             .arg(height),
         numberFile});
    if (!xvfb_.waitForStarted(timeoutMs)) {
        error_ = QStringLiteral("cannot start Xvfb");
        return false;
    }
    const bool ready = waitUntil(
        [&] {
            QFile f(numberFile);
            if (!f.open(QIODevice::ReadOnly))
                return false;
            const QByteArray text = f.readAll();
            if (!text.endsWith('\n'))
                return false;
            display_ = QLatin1Char(':') + QString::fromLatin1(text.trimmed());
            return true;
        },
        timeoutMs);
    if (!ready || xvfb_.state() == QProcess::NotRunning) {
        error_ = QStringLiteral("Xvfb did not report a display");
        stop();
        return false;
    }
    // The display is only usable once a client can query it.
    if (!waitUntil(
            [&] {
                return run(QStringLiteral("xdotool"), {QStringLiteral("getmouselocation")}, nullptr,
                           5000);
            },
            timeoutMs)) {
        error_ = QStringLiteral("Xvfb on %1 does not answer").arg(display_);
        stop();
        return false;
    }
    return true;
}

void XSession::stop()
{
    if (xvfb_.state() == QProcess::NotRunning)
        return;
    xvfb_.terminate();
    if (!xvfb_.waitForFinished(5000)) {
        xvfb_.kill();
        xvfb_.waitForFinished(5000);
    }
}

bool XSession::run(const QString &program, const QStringList &args, QByteArray *out, int timeoutMs)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForStarted(timeoutMs))
        return false;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        return false;
    }
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QList<XSession::Window> XSession::windows(qint64 pid, const QString &title)
{
    QList<Window> found;
    QByteArray ids;
    // xdotool exits with 1 when nothing matches: that is an empty list, not an error.
    run(QStringLiteral("xdotool"),
        {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--all"),
         QStringLiteral("--pid"), QString::number(pid), QStringLiteral("--name"),
         QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$')},
        &ids);
    for (const QByteArray &line : ids.split('\n')) {
        bool ok = false;
        const qulonglong id = line.trimmed().toULongLong(&ok);
        if (!ok)
            continue;
        QByteArray shell;
        if (!run(QStringLiteral("xdotool"),
                 {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"),
                  QString::number(id)},
                 &shell))
            continue;
        int x = 0, y = 0, w = 0, h = 0;
        for (const QByteArray &kv : shell.split('\n')) {
            const int eq = kv.indexOf('=');
            if (eq < 0)
                continue;
            const QByteArray key = kv.left(eq);
            const int value = kv.mid(eq + 1).trimmed().toInt();
            if (key == "X")
                x = value;
            else if (key == "Y")
                y = value;
            else if (key == "WIDTH")
                w = value;
            else if (key == "HEIGHT")
                h = value;
        }
        found.append(Window{id, QRect(x, y, w, h)});
    }
    return found;
}

QString XSession::windowName(qulonglong id)
{
    QByteArray out;
    run(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), QString::number(id)}, &out);
    return QString::fromUtf8(out).trimmed();
}

bool XSession::click(int x, int y)
{
    return run(QStringLiteral("xdotool"),
               {QStringLiteral("mousemove"), QString::number(x), QString::number(y),
                QStringLiteral("click"), QStringLiteral("1")});
}

bool XSession::replaceText(const QString &text)
{
    return run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("ctrl+a")}) &&
           run(QStringLiteral("xdotool"),
               {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"), text});
}

QImage XSession::grab()
{
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/screen-XXXXXX.png"));
    if (!file.open())
        return QImage();
    file.close();
    if (!run(QStringLiteral("import"),
             {QStringLiteral("-window"), QStringLiteral("root"), file.fileName()}))
        return QImage();
    return QImage(file.fileName());
}
