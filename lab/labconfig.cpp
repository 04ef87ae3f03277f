#include "lab/labconfig.h"

#include "lab/faultplan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

QString textOf(const QJsonObject &o, const char *key, const char *alias)
{
    const QJsonValue v = o.value(QLatin1String(key));
    return v.isString() ? v.toString() : o.value(QLatin1String(alias)).toString();
}

bool validPort(int port)
{
    return port >= 0 && port <= 65535;
}

} // namespace

bool LabConfig::loadFile(const QString &path, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1").arg(path);
        return false;
    }
    return load(f.readAll(), QFileInfo(path).absolutePath(), error);
}

bool LabConfig::load(const QByteArray &json, const QString &base, QString *error)
{
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &pe);
    if (!doc.isObject()) {
        *error = QStringLiteral("configuration is not a JSON object: %1").arg(pe.errorString());
        return false;
    }
    const QJsonObject root = doc.object();
    baseDir = QDir(base).absolutePath();
    host = root.value(QLatin1String("host")).toString(host);
    generateSample = root.value(QLatin1String("generate_sample")).toBool(false);
    const QDir baseDirectory(baseDir);
    auto resolve = [&baseDirectory](const QString &folder) {
        QString f = folder;
        if (f == QLatin1String("~") || f.startsWith(QLatin1String("~/")))
            f = QDir::homePath() + f.mid(1);
        return QDir::cleanPath(baseDirectory.absoluteFilePath(f));
    };
    faults = root.value(QLatin1String("faults")).toObject();

    const QJsonObject account = root.value(QLatin1String("account")).toObject();
    accountPort = portOf(account, QStringLiteral("port"), accountPort);
    maintenance = account.value(QLatin1String("maintenance")).toBool(false);
    accountFaults = FaultPlan::sectionFaults(account);
    accounts.clear();
    for (const QJsonValue &v : account.value(QLatin1String("accounts")).toArray()) {
        const QJsonObject o = v.toObject();
        LabAccount a;
        a.name = textOf(o, "name", "username");
        if (a.name.isEmpty() || this->account(a.name)) {
            *error = QStringLiteral("an account has no name or a duplicate one");
            return false;
        }
        a.password = o.value(QLatin1String("password")).toString();
        a.userid = u64Of(o.value(QLatin1String("userid")));
        if (a.userid == 0)
            a.userid = 880000001 + static_cast<quint64>(accounts.size());
        a.nickname = o.value(QLatin1String("nickname")).toString(a.name);
        a.locked = o.value(QLatin1String("locked")).toBool(false);
        a.refuseConflict =
            o.value(QLatin1String("on_conflict")).toString() == QLatin1String("refuse");
        accounts.append(a);
    }

    const QJsonObject relay = root.value(QLatin1String("relay")).toObject();
    relayPort = portOf(relay, QStringLiteral("port"), relayPort);
    relayMaxConnections = relay.value(QLatin1String("max_connections")).toInt(relayMaxConnections);
    relayFaults = FaultPlan::sectionFaults(relay);

    const QJsonObject cloud = root.value(QLatin1String("cloud")).toObject();
    cloudPort = portOf(cloud, QStringLiteral("port"), cloudPort);
    cloudFolder = resolve(cloud.value(QLatin1String("folder")).toString(QStringLiteral("cloud")));
    cloudDownloadHost = cloud.value(QLatin1String("download_host")).toString();
    cloudFaults = FaultPlan::sectionFaults(cloud);
    cloudAccounts.clear();
    for (const QJsonValue &v : cloud.value(QLatin1String("accounts")).toArray()) {
        const QJsonObject o = v.toObject();
        cloudAccounts.append(
            {textOf(o, "name", "username"), o.value(QLatin1String("password")).toString()});
    }

    devices.clear();
    for (const QJsonValue &v : root.value(QLatin1String("devices")).toArray()) {
        const QJsonObject o = v.toObject();
        LabDevice d;
        d.id = textOf(o, "id", "deviceid");
        if (d.id.isEmpty() || device(d.id) || d.id == QLatin1String("account") ||
            d.id == QLatin1String("relay") || d.id == QLatin1String("cloud") ||
            d.id == QLatin1String("*")) {
            *error = QStringLiteral("a device has no id, a duplicate one or a reserved one");
            return false;
        }
        d.aliasname = o.value(QLatin1String("aliasname")).toString();
        d.owner = o.value(QLatin1String("owner")).toString();
        d.online = o.value(QLatin1String("online")).toBool(true);
        // true: one hop; a number: that many; "loop": a poster that only ever redirects.
        const QJsonValue redirect = o.value(QLatin1String("poster_redirect"));
        d.posterRedirects = redirect.isBool()     ? int(redirect.toBool())
                            : redirect.isDouble() ? qBound(0, redirect.toInt(), 100)
                            : redirect.toString() == QLatin1String("loop") ? -1
                                                                           : 0;
        d.root =
            resolve(o.value(QLatin1String("root")).toString(QStringLiteral("devices/") + d.id));
        const QJsonObject ports = o.value(QLatin1String("ports")).toObject();
        d.xctlPort = portOf(ports, QStringLiteral("xctl_port"), 0);
        d.mpsPort = portOf(ports, QStringLiteral("mps_port"), 0);
        d.httpPort = portOf(ports, QStringLiteral("http_port"), 0);
        const QJsonValue discovery = o.value(QLatin1String("discovery"));
        if (discovery.isObject()) {
            d.discoveryAddress =
                discovery.toObject().value(QLatin1String("address")).toString(host);
            d.discoveryPort = portOf(discovery.toObject(), QStringLiteral("port"), 19000);
        }
        if (!validPort(d.xctlPort) || !validPort(d.mpsPort) || !validPort(d.httpPort) ||
            !validPort(d.discoveryPort)) {
            *error = QStringLiteral("device %1: bad port").arg(d.id);
            return false;
        }
        d.faults = FaultPlan::sectionFaults(o);
        for (const QJsonValue &dv : o.value(QLatin1String("disks")).toArray()) {
            const QJsonObject disk = dv.toObject();
            for (const QJsonValue &pv : disk.value(QLatin1String("partitions")).toArray()) {
                const QJsonObject po = pv.toObject();
                LabPartition p;
                p.disk = disk.value(QLatin1String("name")).toString();
                p.mount = po.value(QLatin1String("mount")).toString();
                if (p.mount.isEmpty() || p.mount.contains(QLatin1Char('/')) ||
                    p.mount == QLatin1String("..") || p.mount == QLatin1String(".")) {
                    *error = QStringLiteral("device %1: bad partition mount name").arg(d.id);
                    return false;
                }
                p.name = po.value(QLatin1String("name")).toString();
                p.letter = po.value(QLatin1String("letter")).toString();
                const QString folder = po.value(QLatin1String("folder")).toString();
                p.folder = folder.isEmpty() ? d.root + QLatin1Char('/') + p.mount : resolve(folder);
                p.size = u64Of(po.value(QLatin1String("size")));
                if (p.size == 0)
                    p.size = 500ull * 1024 * 1024 * 1024;
                p.readonly = po.value(QLatin1String("readonly")).toBool(false);
                d.partitions.append(p);
            }
        }
        devices.append(d);
    }
    return true;
}

const LabAccount *LabConfig::account(const QString &name) const
{
    for (const LabAccount &a : accounts)
        if (a.name == name)
            return &a;
    return nullptr;
}

const LabDevice *LabConfig::device(const QString &id) const
{
    for (const LabDevice &d : devices)
        if (d.id == id)
            return &d;
    return nullptr;
}
