#include "tests/support/labprocess.h"

#include "tests/support/httpsync.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString keyOf(const QJsonObject &o)
{
    return o.value(QLatin1String(o.contains(QLatin1String("id")) ? "id" : "name")).toString();
}

QJsonObject merged(const QJsonObject &base, const QJsonObject &overrides)
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

// Every "port" and "*_port" number becomes 0.
QJsonValue withFreePorts(const QJsonValue &config)
{
    if (config.isArray()) {
        QJsonArray a = config.toArray();
        for (int i = 0; i < a.size(); ++i)
            a[i] = withFreePorts(a[i]);
        return a;
    }
    QJsonObject o = config.toObject();
    for (auto it = o.begin(); it != o.end(); ++it) {
        const bool port =
            it.key() == QLatin1String("port") || it.key().endsWith(QLatin1String("_port"));
        it.value() = port && it.value().isDouble() ? QJsonValue(0) : withFreePorts(it.value());
    }
    return config.isObject() ? QJsonValue(o) : config;
}

} // namespace

QString LabProcess::labBinary()
{
    QString dir = qEnvironmentVariable("KELVORA_BIN_DIR");
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin");
    return QDir(dir).absoluteFilePath(QStringLiteral("tovrik-lab"));
}

bool LabProcess::startSample(const QJsonObject &overrides, const QStringList &arguments,
                             int timeoutMs)
{
    stop();
    dir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/lab-XXXXXX"));
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
    const QString path = sampleDir_ + QStringLiteral("/lab-test.json");
    QFile out(path);
    if (!doc.isObject() || !out.open(QIODevice::WriteOnly) ||
        out.write(
            QJsonDocument(merged(withFreePorts(doc.object()).toObject(), overrides)).toJson()) <
            0) {
        error_ = QStringLiteral("cannot turn the sample into %1").arg(path);
        return false;
    }
    out.close();
    return start(path, arguments, timeoutMs);
}

bool LabProcess::start(const QString &configPath, const QStringList &arguments, int timeoutMs)
{
    stop();
    if (!dir_) {
        dir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/lab-XXXXXX"));
        sampleDir_.clear();
    }
    const QString stdoutPath = dir_->path() + QStringLiteral("/lab.out");
    QFile::remove(stdoutPath);
    QFile::remove(dir_->path() + QStringLiteral("/lab.err"));
    ready_ = QJsonObject();
    process_.setStandardOutputFile(stdoutPath);
    process_.setStandardErrorFile(dir_->path() + QStringLiteral("/lab.err"));
    process_.start(labBinary(), QStringList{QStringLiteral("--config"), configPath,
                                            QStringLiteral("--exit-with-parent")} +
                                    arguments);
    if (!process_.waitForStarted(timeoutMs)) {
        error_ = QStringLiteral("cannot start %1").arg(labBinary());
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        for (const QByteArray &line : readFile(stdoutPath).split('\n')) {
            if (line.startsWith("LAB READY "))
                ready_ = QJsonDocument::fromJson(line.mid(10)).object();
            if (!ready_.isEmpty())
                return true;
        }
        if (!isRunning()) {
            error_ = QStringLiteral("the lab ended: ") + requestLog().join(QLatin1Char('\n'));
            return false;
        }
        process_.waitForFinished(50);
    }
    error_ = QStringLiteral("no LAB READY line within %1 ms").arg(timeoutMs);
    stop();
    return false;
}

bool LabProcess::stop()
{
    if (!isRunning())
        return true;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
        return false;
    }
    return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
}

QString LabProcess::url(int port) const
{
    const QString host = ready_.value(QLatin1String("host")).toString();
    return QStringLiteral("http://%1:%2")
        .arg(host.isEmpty() ? QStringLiteral("127.0.0.1") : host)
        .arg(port);
}

QJsonObject LabProcess::device(const QString &id) const
{
    for (const QJsonValue &v : ready_.value(QLatin1String("devices")).toArray())
        if (v.toObject().value(QLatin1String("id")).toString() == id)
            return v.toObject();
    return QJsonObject();
}

QStringList LabProcess::requestLog() const
{
    if (!dir_)
        return {};
    return QString::fromUtf8(readFile(dir_->path() + QStringLiteral("/lab.err")))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

int LabProcess::requestsSince(int since, const QStringList &parts) const
{
    int n = 0;
    for (const QString &line : requestLog().mid(since))
        n += std::all_of(parts.begin(), parts.end(),
                         [&line](const QString &part) { return line.contains(part); });
    return n;
}

bool LabProcess::setFaults(const QJsonObject &faults, int timeoutMs)
{
    const HttpSync::Result r = HttpSync(timeoutMs).post(
        QUrl(accountUrl() + QStringLiteral("/lab/faults")),
        QJsonDocument(faults).toJson(QJsonDocument::Compact), "application/json");
    if (r.error != 0)
        error_ = QStringLiteral("%1 %2").arg(r.error).arg(QString::fromUtf8(r.body));
    return r.error == 0;
}
