#pragma once

#include "lab/faultplan.h"

#include <QString>

#include <atomic>
#include <functional>
#include <thread>

// The relay: one port that forwards each request to the device service named by its
// x-qm-devid and x-qm-port parameters, copying bytes both ways as they come (spliced in the
// kernel when no fault switch needs to see them). Logs one line per request:
// "relay <devid> <service> <METHOD> <target> <status> <body bytes>".
class Relay
{
public:
    // Gives the local port of the service, 0 for an unknown device or port, -1 for an
    // off-line device; names the service ("xctl", "mps", "http") when it knows it.
    using Lookup = std::function<int(const QString &deviceid, int port, QString *service)>;

    Relay(const QString &host, Lookup lookup, FaultPlan *faults);
    ~Relay();
    Relay(const Relay &) = delete;
    Relay &operator=(const Relay &) = delete;

    bool start(int port, QString *error);
    void stop();
    int port() const { return port_; }

private:
    void acceptLoop();
    void serve(int client);

    QString host_;
    Lookup lookup_;
    FaultPlan *faults_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> running_{false};
    std::thread acceptThread_;
};
