#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// Starts tovrik-lab for a test and tells where its services listen.
//
// startSample() writes the sample with `tovrik-lab --sample` into a temporary folder, sets every
// port of its configuration to 0 (free ports), merges the overrides and starts the lab with it,
// adding `arguments` to its command line (e.g. "--fault", "account:force_code=8").
// Merge rule: objects merge key by key, recursively; an array of objects that carry "id" (or
// "name", for accounts) merges element by element with the element of the same id, new ids are
// appended; any other value replaces the old one. Example:
//   {"account": {"delay_ms": 12000}}
//   {"devices": [{"id": "TVK0000000001", "faults": {"rtn": 5}}]}
//
// The lab's stdout and stderr go to files in the temporary folder (no pipe can fill up).
class LabProcess
{
public:
    LabProcess() = default;
    ~LabProcess() { stop(); }
    LabProcess(const LabProcess &) = delete;
    LabProcess &operator=(const LabProcess &) = delete;

    bool startSample(const QJsonObject &overrides = {}, const QStringList &arguments = {},
                     int timeoutMs = 30000);
    bool start(const QString &configPath, const QStringList &arguments = {}, int timeoutMs = 30000);
    // SIGTERM, then SIGKILL after a few seconds; only this lab's own process. True when the lab
    // ended on SIGTERM with exit code 0 (or was not running).
    bool stop();
    bool isRunning() const { return process_.state() != QProcess::NotRunning; }

    int accountPort() const { return ready_.value(QLatin1String("account_port")).toInt(); }
    int relayPort() const { return ready_.value(QLatin1String("relay_port")).toInt(); }
    int cloudPort() const { return ready_.value(QLatin1String("cloud_port")).toInt(); }
    // The ready line's entry of a device: id, xctl_port, mps_port, http_port, discovery_port, root.
    QJsonObject device(const QString &id) const;
    // "http://127.0.0.1:<account_port>"
    QString accountUrl() const { return url(accountPort()); }
    QString relayUrl() const { return url(relayPort()); }
    // Direct URL of one device service: service is "xctl", "mps" or "http".
    QString deviceUrl(const QString &id, const QString &service) const
    {
        return url(device(id).value(service + QStringLiteral("_port")).toInt());
    }
    // One line per request (method, full target, status, bytes), as logged so far.
    QStringList requestLog() const;
    // How many lines of the request log, from line `since` on, contain every one of parts.
    int requestsSince(int since, const QStringList &parts) const;
    // Replaces the run-time fault set (POST /lab/faults); true when the lab accepted it.
    bool setFaults(const QJsonObject &faults, int timeoutMs = 10000);
    // The folder the sample was written to (empty after start() with an own configuration).
    QString sampleDir() const { return sampleDir_; }
    QString lastError() const { return error_; }

    static QString labBinary();

private:
    QString url(int port) const;
    std::unique_ptr<QTemporaryDir> dir_;
    QString sampleDir_;
    QProcess process_;
    QJsonObject ready_;
    QString error_;
};
