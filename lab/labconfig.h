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
    QString username;
    QString password;
    quint64 userid = 0;
    QString nickname;
    int result = 0;
    bool locked = false;
    int delayMs = 0;
    bool refuseConflict = false;
};

struct LabDevice
{
    QString deviceid;
    QString aliasname;
    QString owner;
    bool online = true;
    bool lan = true;
    bool posterRedirect = false;
    int xctlPort = 0;
    int mpsPort = 0;
    int httpPort = 0;
    QVector<LabPartition> partitions;
};

struct LabCloudAccount
{
    QString username;
    QString password;
};

// The lab's configuration file, with folders resolved and ports filled in.
class LabConfig
{
public:
    QString host = QStringLiteral("127.0.0.1");
    QString dataDir;
    bool generateSample = false;
    bool maintenance = false;
    int servicePort = 18080;
    int relayPort = 18090;
    int discoveryPort = 19000;
    int cloudPort = 18100;
    QVector<LabAccount> accounts;
    QVector<LabDevice> devices;
    QString cloudFolder;
    QVector<LabCloudAccount> cloudAccounts;
    QJsonObject faults;

    // Parses a configuration; dataDirOverride (when not empty) replaces "data_dir".
    bool load(const QByteArray &json, const QString &dataDirOverride, QString *error);
    bool loadFile(const QString &path, const QString &dataDirOverride, QString *error);

    const LabAccount *account(const QString &username) const;
    const LabDevice *device(const QString &deviceid) const;

    static QString expandPath(const QString &path);
};
