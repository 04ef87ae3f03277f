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
    xvfb_.start("/bin/sh", {"-c",
                            QStringLiteral("exec Xvfb -displayfd 3 -nolisten tcp -noreset "
                                           "-screen 0 %1x%2x24 3>\"$0\"")
                                .arg(width)
                                .arg(height),
                            numberFile});
    if (!xvfb_.waitForStarted(timeoutMs)) {
        error_ = QStringLiteral("cannot start Xvfb");
        return false;
    }
    // Usable once the number is written and a client can query the display.
    bool up = false;
    waitUntil(
        [&] {
            QFile f(numberFile);
            const QByteArray text = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            display_ = ':' + QString::fromLatin1(text.trimmed());
            up = text.endsWith('\n') && run("xdotool", {"getmouselocation"}, nullptr, 5000);
            return up || xvfb_.state() == QProcess::NotRunning;
        },
        timeoutMs);
    if (!up) {
        error_ = QStringLiteral("Xvfb did not come up (%1)").arg(display_);
        stop();
    }
    return up;
}

void XSession::stop()
{
    endProcess(xvfb_);
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
    // One call: WINDOW=, X=, Y=, WIDTH=, HEIGHT=, SCREEN= lines per window found. xdotool exits
    // with 1 when nothing matches: that is an empty list, not an error.
    QByteArray shell;
    run("xdotool",
        {"search", "--onlyvisible", "--all", "--pid", QString::number(pid), "--name",
         title.isNull() ? QStringLiteral(".*") : '^' + QRegularExpression::escape(title) + '$',
         "getwindowgeometry", "--shell", "%@"},
        &shell);
    QList<QMap<QByteArray, qint64>> values;
    for (const QByteArray &kv : shell.split('\n')) {
        if (kv.startsWith("WINDOW="))
            values.append(QMap<QByteArray, qint64>());
        if (!values.isEmpty() && kv.contains('='))
            values.last().insert(kv.left(kv.indexOf('=')),
                                 kv.mid(kv.indexOf('=') + 1).toLongLong());
    }
    QList<Window> found;
    for (const auto &v : values)
        found.append(Window{qulonglong(v["WINDOW"]),
                            QRect(int(v["X"]), int(v["Y"]), int(v["WIDTH"]), int(v["HEIGHT"]))});
    return found;
}

bool XSession::click(int x, int y, int count)
{
    return run("xdotool", {"mousemove", QString::number(x), QString::number(y), "click", "--repeat",
                           QString::number(count), "--delay", "80", "1"});
}

bool XSession::replaceText(const QString &text)
{
    return run("xdotool", {"key", "ctrl+a"}) && run("xdotool", {"type", "--delay", "40", text});
}

QImage XSession::grab()
{
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/screen-XXXXXX.png"));
    if (!file.open())
        return QImage();
    file.close();
    return run("import", {"-window", "root", file.fileName()}) ? QImage(file.fileName()) : QImage();
}

namespace {

const QString mainTitle = QStringLiteral("Kelvora");
// Positions inside the login dialog, from its fixed layout.
const QPoint nameField(177, 175), passwordField(177, 214), loginButton(165, 306);

} // namespace

bool ClientSession::start(const QJsonObject &labOverrides)
{
    work = QDir::tempPath();
    if (!x.start(work))
        error_ = x.lastError();
    else if (!lab.startSample(labOverrides))
        error_ = lab.lastError();
    else
        return true;
    return false;
}

bool ClientSession::startClient(QProcess &client, const QString &log,
                                const QProcessEnvironment &env)
{
    QProcessEnvironment all = QProcessEnvironment::systemEnvironment();
    all.remove(QStringLiteral("QT_QPA_PLATFORM"));
    all.insert(QStringLiteral("DISPLAY"), x.display());
    all.insert(QStringLiteral("KELVORA_ACCOUNT_SERVICE"), lab.accountUrl());
    all.insert(QStringLiteral("KELVORA_DEVICE_MANAGER"), lab.accountUrl());
    all.insert(QStringLiteral("KELVORA_CLOUD_SITE"),
               QStringLiteral("http://127.0.0.1:%1/").arg(lab.cloudPort()));
    all.insert(env);
    client.setProcessEnvironment(all);
    client.setProcessChannelMode(QProcess::MergedChannels);
    client.setStandardOutputFile(work + QLatin1Char('/') + log);
    client.start(QFileInfo(LabProcess::labBinary()).absolutePath() + QStringLiteral("/kelvora"),
                 QStringList());
    if (!clients_.contains(&client))
        clients_ << &client;
    return client.waitForStarted(startMs);
}

void endProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

XSession::Window ClientSession::window(const QProcess &client, bool main)
{
    for (const XSession::Window &w : x.windows(client.processId(), mainTitle)) {
        const QSize size = w.geometry.size();
        if (main ? size.width() >= 900 && size.height() >= 650 : size == QSize(330, 364))
            return w;
    }
    return XSession::Window();
}

bool ClientSession::typeSignIn(const XSession::Window &dialog, const QString &name,
                               const QString &password)
{
    return x.click(dialog, nameField) && x.replaceText(name) && x.click(dialog, passwordField) &&
           x.replaceText(password) && x.click(dialog, loginButton);
}

bool ClientSession::saveShot(const XSession::Window &window, const QString &name,
                             const QImage &screen)
{
    const QImage shot = (screen.isNull() ? x.grab() : screen).copy(window.geometry);
    const QString docs = qEnvironmentVariable("KELVORA_E2E_SCREENSHOT_DIR");
    return window.isValid() && shot.save(work + QLatin1Char('/') + name) &&
           (docs.isEmpty() || shot.save(docs + QLatin1Char('/') + name));
}

void ClientSession::reportFailure() const
{
    for (const QProcess *client : clients_) {
        qWarning("client %lld: %s, exit code %d", client->processId(),
                 client->state() == QProcess::NotRunning ? "ended" : "running", client->exitCode());
    }
    for (const QString &name : QDir(work).entryList({QStringLiteral("client-*.log")})) {
        QFile log(work + QLatin1Char('/') + name);
        if (log.open(QIODevice::ReadOnly))
            qWarning("%s:\n%s", qPrintable(name), log.readAll().right(4000).constData());
    }
    const QStringList lines = lab.requestLog();
    qWarning("lab log, last lines:\n%s",
             qPrintable(lines.mid(qMax(0, lines.size() - 15)).join('\n')));
}
