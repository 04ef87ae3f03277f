#include "lab/labconfig.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

int portOf(const QJsonObject &o, const QString &key, int fallback)
{
    const QJsonValue v = o.value(key);
    return v.isDouble() ? v.toInt() : fallback;
}

quint64 u64Of(const QJsonValue &v)
{
    if (v.isString())
        return v.toString().toULongLong();
    return v.isDouble() ? static_cast<quint64>(v.toDouble()) : 0;
}

} // namespace

QString LabConfig::expandPath(const QString &path)
{
    QString p = path;
    if (p == QLatin1String("~") || p.startsWith(QLatin1String("~/")))
        p = QDir::homePath() + p.mid(1);
    return QDir::cleanPath(p);
}

bool LabConfig::loadFile(const QString &path, const QString &dataDirOverride, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1").arg(path);
        return false;
    }
    return load(f.readAll(), dataDirOverride, error);
}

bool LabConfig::load(const QByteArray &json, const QString &dataDirOverride, QString *error)
{
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &pe);
    if (!doc.isObject()) {
        *error = QStringLiteral("configuration is not a JSON object: %1").arg(pe.errorString());
        return false;
    }
    const QJsonObject root = doc.object();
    host = root.value(QLatin1String("host")).toString(host);
    dataDir = dataDirOverride;
    if (dataDir.isEmpty())
        dataDir = root.value(QLatin1String("data_dir")).toString();
    if (dataDir.isEmpty())
        dataDir = QStringLiteral("~/.cache/kelvora-lab");
    dataDir = expandPath(dataDir);
    generateSample = root.value(QLatin1String("generate_sample")).toBool(false);
    maintenance = root.value(QLatin1String("maintenance")).toBool(false);
    const QDir base(dataDir);
    auto resolve = [&base](const QString &folder) {
        const QString f = expandPath(folder);
        return QDir::isAbsolutePath(f) ? f : QDir::cleanPath(base.absoluteFilePath(f));
    };

    const QJsonObject ports = root.value(QLatin1String("ports")).toObject();
    servicePort = portOf(ports, QStringLiteral("service"), servicePort);
    relayPort = portOf(ports, QStringLiteral("relay"), relayPort);
    discoveryPort = portOf(ports, QStringLiteral("discovery"), discoveryPort);
    cloudPort = portOf(ports, QStringLiteral("cloud"), cloudPort);

    accounts.clear();
    for (const QJsonValue &v : root.value(QLatin1String("accounts")).toArray()) {
        const QJsonObject o = v.toObject();
        LabAccount a;
        a.username = o.value(QLatin1String("username")).toString();
        if (a.username.isEmpty()) {
            *error = QStringLiteral("an account has no username");
            return false;
        }
        a.password = o.value(QLatin1String("password")).toString();
        a.userid = u64Of(o.value(QLatin1String("userid")));
        if (a.userid == 0)
            a.userid = 880000001 + static_cast<quint64>(accounts.size());
        a.nickname = o.value(QLatin1String("nickname")).toString(a.username);
        a.result = o.value(QLatin1String("result")).toInt(0);
        a.locked = o.value(QLatin1String("locked")).toBool(false);
        a.delayMs = o.value(QLatin1String("delay_ms")).toInt(0);
        a.refuseConflict =
            o.value(QLatin1String("on_conflict")).toString() == QLatin1String("refuse");
        accounts.append(a);
    }

    devices.clear();
    int next = servicePort == 0 ? 0 : 18081;
    for (const QJsonValue &v : root.value(QLatin1String("devices")).toArray()) {
        const QJsonObject o = v.toObject();
        LabDevice d;
        d.deviceid = o.value(QLatin1String("deviceid")).toString();
        if (d.deviceid.isEmpty() || device(d.deviceid)) {
            *error = QStringLiteral("a device has no identifier or a duplicate one");
            return false;
        }
        d.aliasname = o.value(QLatin1String("aliasname")).toString();
        d.owner = o.value(QLatin1String("owner")).toString();
        d.online = o.value(QLatin1String("online")).toBool(true);
        d.lan = o.value(QLatin1String("lan")).toBool(true);
        d.posterRedirect = o.value(QLatin1String("poster_redirect")).toBool(false);
        const QJsonObject dp = o.value(QLatin1String("ports")).toObject();
        d.xctlPort = portOf(dp, QStringLiteral("xctl"), next ? next : 0);
        d.mpsPort = portOf(dp, QStringLiteral("mps"), next ? next + 1 : 0);
        d.httpPort = portOf(dp, QStringLiteral("http"), next ? next + 2 : 0);
        if (next)
            next += 3;
        for (const QJsonValue &dv : o.value(QLatin1String("disks")).toArray()) {
            const QJsonObject disk = dv.toObject();
            for (const QJsonValue &pv : disk.value(QLatin1String("partitions")).toArray()) {
                const QJsonObject po = pv.toObject();
                LabPartition p;
                p.disk = disk.value(QLatin1String("name")).toString();
                p.mount = po.value(QLatin1String("mount")).toString();
                if (p.mount.isEmpty() || p.mount.contains(QLatin1Char('/')) ||
                    p.mount == QLatin1String("..") || p.mount == QLatin1String(".")) {
                    *error = QStringLiteral("device %1: bad partition mount name").arg(d.deviceid);
                    return false;
                }
                p.name = po.value(QLatin1String("name")).toString();
                p.letter = po.value(QLatin1String("letter")).toString();
                p.folder = resolve(po.value(QLatin1String("folder")).toString(p.mount));
                p.size = u64Of(po.value(QLatin1String("size")));
                if (p.size == 0)
                    p.size = 500ull * 1024 * 1024 * 1024;
                p.readonly = po.value(QLatin1String("readonly")).toBool(false);
                d.partitions.append(p);
            }
        }
        devices.append(d);
    }

    const QJsonObject cloud = root.value(QLatin1String("cloud")).toObject();
    cloudFolder = resolve(cloud.value(QLatin1String("folder")).toString(QStringLiteral("cloud")));
    cloudAccounts.clear();
    for (const QJsonValue &v : cloud.value(QLatin1String("accounts")).toArray()) {
        const QJsonObject o = v.toObject();
        cloudAccounts.append({o.value(QLatin1String("username")).toString(),
                              o.value(QLatin1String("password")).toString()});
    }
    faults = root.value(QLatin1String("faults")).toObject();
    return true;
}

const LabAccount *LabConfig::account(const QString &username) const
{
    for (const LabAccount &a : accounts)
        if (a.username == username)
            return &a;
    return nullptr;
}

const LabDevice *LabConfig::device(const QString &deviceid) const
{
    for (const LabDevice &d : devices)
        if (d.deviceid == deviceid)
            return &d;
    return nullptr;
}
