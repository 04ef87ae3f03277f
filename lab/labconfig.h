#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

// One partition of a device disk: mounted at /media/<mount>, backed by a folder on disk.
struct LabPartition
{
    QString disk;
    QString mount;
    QString name;
    QString letter;
    QString folder; // absolute host path
    quint64 size = 0;
    bool readonly = false;
};

struct LabAccount
{
    QString name;
    QString password;
    quint64 userid = 0;
    QString nickname;
    bool locked = false;
    bool refuseConflict = false;
};

struct LabDevice
{
    QString id;
    QString aliasname;
    QString owner; // account the device is bound to; empty: not bound
    bool online = true;
    QString root;             // absolute host folder holding the partitions
    QString discoveryAddress; // empty: not on the LAN
    int discoveryPort = 0;
    int posterRedirects = 0; // 302 hops before a poster answers; -1: redirects for ever
    int xctlPort = 0;
    int mpsPort = 0;
    int httpPort = 0;
    QVector<LabPartition> partitions;
    QJsonObject faults;
};

struct LabCloudAccount
{
    QString name;
    QString password;
};

// The lab's configuration (lab/README.md), with folders made absolute.
class LabConfig
{
public:
    QString host = QStringLiteral("127.0.0.1");
    QString baseDir; // relative folders resolve against it (the configuration's folder)
    bool generateSample = false;

    int accountPort = 18080;
    bool maintenance = false;
    QVector<LabAccount> accounts;
    QJsonObject accountFaults;

    int relayPort = 18090;
    int relayMaxConnections = 64; // connections served at once; more are answered 503
    QJsonObject relayFaults;

    int cloudPort = 18100;
    QString cloudFolder;
    // Host of the download addresses the cloud site hands out; empty: the request's own host.
    QString cloudDownloadHost;
    QVector<LabCloudAccount> cloudAccounts;
    QJsonObject cloudFaults;

    QVector<LabDevice> devices;
    QJsonObject faults; // everywhere

    bool load(const QByteArray &json, const QString &baseDir, QString *error);
    bool loadFile(const QString &path, QString *error);

    const LabAccount *account(const QString &name) const;
    const LabDevice *device(const QString &id) const;
};
