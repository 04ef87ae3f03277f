#include "tests/support/labprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString keyOf(const QJsonObject &o)
{
    if (o.contains(QLatin1String("id")))
        return o.value(QLatin1String("id")).toString();
    return o.value(QLatin1String("name")).toString();
}

} // namespace

LabProcess::LabProcess() = default;

LabProcess::~LabProcess()
{
    stop();
}

QString LabProcess::labBinary()
{
    QString dir = qEnvironmentVariable("KELVORA_BIN_DIR");
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin");
    return QDir(dir).absoluteFilePath(QStringLiteral("tovrik-lab"));
}

QJsonObject LabProcess::merged(const QJsonObject &base, const QJsonObject &overrides)
{
    QJsonObject out = base;
    for (auto it = overrides.begin(); it != overrides.end(); ++it) {
        const QJsonValue old = out.value(it.key());
        if (old.isObject() && it.value().isObject()) {
            out.insert(it.key(), merged(old.toObject(), it.value().toObject()));
        } else if (old.isArray() && it.value().isArray()) {
            QJsonArray result = old.toArray();
            for (const QJsonValue &v : it.value().toArray()) {
                const QString key = v.isObject() ? keyOf(v.toObject()) : QString();
                int match = -1;
                for (int i = 0; !key.isEmpty() && i < result.size(); ++i)
                    if (result[i].isObject() && keyOf(result[i].toObject()) == key)
                        match = i;
                if (match >= 0)
                    result[match] = merged(result[match].toObject(), v.toObject());
                else
                    result.append(v);
            }
            out.insert(it.key(), result);
        } else {
            out.insert(it.key(), it.value());
        }
    }
    return out;
}

QJsonValue LabProcess::withFreePorts(const QJsonValue &config)
{
    if (config.isArray()) {
        QJsonArray a = config.toArray();
        for (int i = 0; i < a.size(); ++i)
            a[i] = withFreePorts(a[i]);
        return a;
    }
    if (!config.isObject())
        return config;
    QJsonObject o = config.toObject();
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString key = it.key();
        if ((key == QLatin1String("port") || key.endsWith(QLatin1String("_port"))) &&
            it.value().isDouble())
            it.value() = 0;
        else
            it.value() = withFreePorts(it.value());
    }
    return o;
}

bool LabProcess::startSample(const QJsonObject &overrides, int timeoutMs)
{
    stop();
    dir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/lab-XXXXXX"));
    if (!dir_->isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return false;
    }
    sampleDir_ = dir_->path() + QStringLiteral("/sample");
    QProcess sample;
    sample.setProcessChannelMode(QProcess::MergedChannels);
    sample.start(labBinary(), {QStringLiteral("--sample"), sampleDir_});
    if (!sample.waitForFinished(timeoutMs) || sample.exitStatus() != QProcess::NormalExit ||
        sample.exitCode() != 0) {
        error_ = QStringLiteral("--sample failed: ") + QString::fromLocal8Bit(sample.readAll());
        sample.kill();
        sample.waitForFinished(2000);
        return false;
    }
    const QJsonDocument doc =
        QJsonDocument::fromJson(readFile(sampleDir_ + QStringLiteral("/lab.json")));
    if (!doc.isObject()) {
        error_ = QStringLiteral("the sample configuration is not JSON");
        return false;
    }
    const QJsonObject config = merged(withFreePorts(doc.object()).toObject(), overrides);
    const QString path = sampleDir_ + QStringLiteral("/lab-test.json");
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(QJsonDocument(config).toJson(QJsonDocument::Indented)) < 0) {
        error_ = QStringLiteral("cannot write %1").arg(path);
        return false;
    }
    out.close();
    return start(path, timeoutMs);
}

bool LabProcess::start(const QString &configPath, int timeoutMs)
{
    if (isRunning())
        stop();
    if (!dir_) {
        dir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/lab-XXXXXX"));
        sampleDir_.clear();
    }
    stdoutPath_ = dir_->path() + QStringLiteral("/lab.out");
    stderrPath_ = dir_->path() + QStringLiteral("/lab.err");
    QFile::remove(stdoutPath_);
    QFile::remove(stderrPath_);
    ready_ = QJsonObject();
    process_.setStandardOutputFile(stdoutPath_);
    process_.setStandardErrorFile(stderrPath_);
    process_.start(labBinary(), {QStringLiteral("--config"), configPath});
    if (!process_.waitForStarted(timeoutMs)) {
        error_ = QStringLiteral("cannot start %1").arg(labBinary());
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        for (const QByteArray &line : readFile(stdoutPath_).split('\n')) {
            if (!line.startsWith("LAB READY "))
                continue;
            ready_ = QJsonDocument::fromJson(line.mid(10)).object();
            if (!ready_.isEmpty())
                return true;
        }
        if (process_.state() == QProcess::NotRunning) {
            error_ =
                QStringLiteral("the lab ended: ") + QString::fromLocal8Bit(readFile(stderrPath_));
            return false;
        }
        process_.waitForFinished(50);
    }
    error_ = QStringLiteral("no LAB READY line within %1 ms").arg(timeoutMs);
    stop();
    return false;
}

void LabProcess::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

bool LabProcess::isRunning() const
{
    return process_.state() != QProcess::NotRunning;
}

QString LabProcess::host() const
{
    const QString h = ready_.value(QLatin1String("host")).toString();
    return h.isEmpty() ? QStringLiteral("127.0.0.1") : h;
}

int LabProcess::accountPort() const
{
    return ready_.value(QLatin1String("account_port")).toInt();
}

int LabProcess::relayPort() const
{
    return ready_.value(QLatin1String("relay_port")).toInt();
}

int LabProcess::cloudPort() const
{
    return ready_.value(QLatin1String("cloud_port")).toInt();
}

QJsonObject LabProcess::device(const QString &id) const
{
    for (const QJsonValue &v : ready_.value(QLatin1String("devices")).toArray())
        if (v.toObject().value(QLatin1String("id")).toString() == id)
            return v.toObject();
    return QJsonObject();
}

QString LabProcess::accountUrl() const
{
    return QStringLiteral("http://%1:%2").arg(host()).arg(accountPort());
}

QString LabProcess::relayUrl() const
{
    return QStringLiteral("http://%1:%2").arg(host()).arg(relayPort());
}

QString LabProcess::deviceUrl(const QString &id, const QString &service) const
{
    return QStringLiteral("http://%1:%2")
        .arg(host())
        .arg(device(id).value(service + QStringLiteral("_port")).toInt());
}

QStringList LabProcess::requestLog() const
{
    QStringList lines;
    for (const QByteArray &line : readFile(stderrPath_).split('\n'))
        if (!line.isEmpty())
            lines << QString::fromUtf8(line);
    return lines;
}

bool LabProcess::setFaults(const QJsonObject &faults, int timeoutMs)
{
    QNetworkAccessManager nam;
    QNetworkRequest req(QUrl(accountUrl() + QStringLiteral("/lab/faults")));
    req.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    QNetworkReply *reply = nam.post(req, QJsonDocument(faults).toJson(QJsonDocument::Compact));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    const bool ok = reply->isFinished() && reply->error() == QNetworkReply::NoError;
    if (!ok)
        error_ = reply->errorString() + QLatin1Char(' ') + QString::fromUtf8(reply->readAll());
    reply->abort();
    reply->deleteLater();
    return ok;
}

QString LabProcess::sampleDir() const
{
    return sampleDir_;
}
