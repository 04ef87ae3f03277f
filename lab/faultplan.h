#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>

#include <mutex>

// The faults that apply to one request, as the handlers use them.
struct Faults
{
    int delayMs = 0;
    qint64 dropAfterBytes = -1; // body bytes before the connection is cut; -1 never
    QString malformedJson;      // "", "truncated", "nonobject" or "garbage"
    bool hasRtn = false;
    int rtn = 0;
    bool hasRet = false;
    int ret = 0;
    bool hasForceCode = false;
    int forceCode = 0;
    qint64 rateLimit = 0; // body bytes per second per connection; 0 unlimited
    bool ignoreRange = false;
    bool offline = false;

    void sleepDelay() const;
};

// The fault switches of this run, by scope: "*" (everywhere), "account", "relay", "cloud" or
// a device id. Configured switches (configuration file, command line) come first, switches set
// at run time (POST /lab/faults) on top of them. Within a set, "only" (services: xctl, mps,
// http, discovery, login, wait, logout, querydevice, ...) and "opts" (dlna/protocol opts)
// narrow where it applies.
class FaultPlan
{
public:
    static const QStringList &keys();
    // The fault keys of a configuration section: its "faults" object and any fault key
    // written straight into the section (e.g. {"account": {"delay_ms": 12000}}).
    static QJsonObject sectionFaults(const QJsonObject &section);
    static bool validate(const QJsonObject &faults, QString *error);

    bool configure(const QString &scope, const QJsonObject &faults, QString *error);
    // "[SCOPE:]KEY=VALUE"
    bool setOption(const QString &option, QString *error);
    // {"<scope>": {...}, ...}; replaces the run-time switches.
    bool setRuntime(const QJsonObject &byScope, QString *error);
    QJsonObject runtime() const;

    Faults at(const QString &scope, const QString &service, const QString &opt = QString()) const;

private:
    mutable std::mutex mutex_;
    QMap<QString, QJsonObject> configured_;
    QMap<QString, QJsonObject> runtime_;
};
