#include "web/syncprocess.h"

#include "app/networkmanager.h"
#include "device/replyholder.h"
#include "device/untrustedjson.h"
#include "platform/appdirs.h"
#include "web/syncconfig.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// Enough of aria2's output to tell why it ended.
const int outputTail = 4096;

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

SyncProcess::SyncProcess(const QString &applicationDir, const QString &dataDir, QObject *parent)
    : QObject(parent), applicationDir(applicationDir), dataDir(dataDir), port(defaultSyncRpcPort)
{
}

SyncProcess::~SyncProcess()
{
    stop();
}

QString SyncProcess::configPath() const
{
    return dataDir + QStringLiteral("/aria2.conf");
}

QString SyncProcess::sessionPath() const
{
    return dataDir + QStringLiteral("/aria2.session");
}

QString SyncProcess::saveDir() const
{
    if (!savePath.isEmpty())
        return QFileInfo(savePath).absoluteFilePath();
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    return downloads.isEmpty() ? QDir::homePath() : downloads;
}

void SyncProcess::setSavePath(const QString &path)
{
    savePath = path;
    writeSyncConfig();
    changeRunningSaveDir();
}

bool SyncProcess::writeSyncConfig()
{
    QDir().mkpath(dataDir);
    if (!QFileInfo::exists(sessionPath())) {
        // aria2 refuses to start when its input file is missing.
        QFile session(sessionPath());
        if (!session.open(QIODevice::WriteOnly))
            qDebug("cannot create %s", qPrintable(sessionPath()));
    }

    QByteArray text;
    const bool exists = QFileInfo::exists(configPath());
    QFile current(exists ? configPath() : applicationDir + QStringLiteral("/aria2.conf"));
    if (current.open(QIODevice::ReadOnly)) {
        text = current.readAll();
        current.close();
    } else if (exists) {
        qDebug("cannot read %s", qPrintable(configPath()));
        return false;
    } else {
        qDebug("no template %s", qPrintable(current.fileName()));
    }

    const QByteArray rewritten =
        rewriteSyncConfig(text, {sessionPath(), saveDir(), newRpcSecret()});
    bool written = exists && rewritten == text;
    if (!written) {
        // Written beside and renamed over the old file: a crash midway leaves the old one.
        QSaveFile file(configPath());
        written = file.open(QIODevice::WriteOnly) &&
                  file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                  file.write(rewritten) == rewritten.size() && file.commit();
        if (!written)
            qDebug("cannot write %s: %s", qPrintable(configPath()), qPrintable(file.errorString()));
    }
    const QByteArray effective = written ? rewritten : text;
    secret = syncConfigValue(effective, "rpc-secret");
    port = syncConfigRpcPort(effective);
    return written;
}

bool SyncProcess::isRunning() const
{
    return process && process->state() != QProcess::NotRunning;
}

qint64 SyncProcess::processId() const
{
    return process ? process->processId() : 0;
}

bool SyncProcess::startSyncProcess()
{
    if (isRunning())
        return true;
    writeSyncConfig();
    if (secret.isEmpty() || !QFileInfo::exists(configPath())) {
        // Without a secret any web page could hand aria2 a download into any folder.
        qDebug("sync process not started: no rpc-secret in %s", qPrintable(configPath()));
        return false;
    }
    const QString program = aria2Path();
    if (!QFileInfo(program).isExecutable()) {
        qDebug("sync process not started: no aria2c at %s", qPrintable(program));
        return false;
    }
    if (!process) {
        process = new QProcess(this);
        process->setProcessChannelMode(QProcess::MergedChannels);
        connect(process, &QProcess::readyRead, this, &SyncProcess::OnOutput);
        connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
                &SyncProcess::OnFinished);
        connect(process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                qDebug("sync process failed to start: %s", qPrintable(process->errorString()));
        });
    }
    output.clear();
    // The RPC is what both panes need, on loopback only, whatever the file says; and aria2
    // ends by itself when this program's process is gone.
    const QStringList arguments = {
        QStringLiteral("--conf-path=") + configPath(), QStringLiteral("--enable-rpc=true"),
        QStringLiteral("--rpc-listen-all=false"),
        QStringLiteral("--stop-with-process=%1").arg(QCoreApplication::applicationPid())};
    QStringList shown;
    for (const QString &argument : arguments)
        shown << quoted(argument);
    qDebug("cmd:%s %s", qPrintable(quoted(program)), qPrintable(shown.join(QLatin1Char(' '))));
    process->start(program, arguments, QIODevice::ReadWrite);
    return process->state() != QProcess::NotRunning;
}

void SyncProcess::stop()
{
    if (!isRunning())
        return;
    // SIGTERM lets aria2 save its session (the unfinished downloads) before it goes.
    process->disconnect(this);
    process->terminate();
    if (!process->waitForFinished(5000)) {
        process->kill();
        process->waitForFinished(2000);
    }
}

void SyncProcess::changeRunningSaveDir()
{
    if (!isRunning() || secret.isEmpty())
        return;
    const QJsonObject call{
        {QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
        {QStringLiteral("id"), QStringLiteral("kelvora")},
        {QStringLiteral("method"), QStringLiteral("aria2.changeGlobalOption")},
        {QStringLiteral("params"),
         QJsonArray{QStringLiteral("token:") + QString::fromUtf8(secret),
                    QJsonObject{{QStringLiteral("dir"), QDir::toNativeSeparators(saveDir())}}}}};
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/jsonrpc").arg(port)));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    QNetworkReply *reply =
        networkManager()->post(request, QJsonDocument(call).toJson(QJsonDocument::Compact));
    ReplyHolder::handleOnce(reply, this, [](QNetworkReply *r) {
        // Whatever listens on the port answers here: read it as any outside JSON.
        const std::optional<QJsonObject> answer = UntrustedJson::parseObject(r->readAll());
        if (r->error() != QNetworkReply::NoError || !answer ||
            !answer->contains(QLatin1String("result")))
            qDebug("sync process kept its folder: %s", qPrintable(r->errorString()));
    });
}

void SyncProcess::OnOutput()
{
    output += process->readAll();
    if (output.size() > outputTail)
        output = output.right(outputTail);
}

void SyncProcess::OnFinished(int exitCode)
{
    OnOutput();
    qDebug("sync process ended with %d: %s", exitCode, output.trimmed().right(500).constData());
}
