#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <mutex>

// The faults of one place and request, as the handlers apply them.
struct Faults
{
    int delayMs = 0;
    qint64 dropAfter = -1; // body bytes before the connection is cut; -1 never
    QString json;          // "", "malformed" or "truncated"
    bool hasRtn = false;
    int rtn = 0;
    bool hasRet = false;
    int ret = 0;
    bool hasLoginResult = false;
    int loginResult = 0;
    qint64 bandwidth = 0; // bytes per second per connection; 0 unlimited
    QStringList only;
    QStringList opts;

    bool any() const
    {
        return delayMs > 0 || dropAfter >= 0 || !json.isEmpty() || hasRtn || hasRet ||
               hasLoginResult || bandwidth > 0;
    }
    void sleepDelay() const;
};

// The fault set switched on for this run. Shared by every listener thread.
class FaultPlan
{
public:
    bool setJson(const QJsonObject &o, QString *error);
    bool setOption(const QString &keyValue, QString *error);
    QJsonObject json() const;
    // The faults that apply at this place ("xctl", "relay", ...) for this opt, else none.
    Faults at(const QString &place, const QString &opt = QString()) const;

private:
    static bool parse(const QJsonObject &o, Faults *f, QString *error);
    mutable std::mutex mutex_;
    Faults faults_;
    QJsonObject json_;
};
