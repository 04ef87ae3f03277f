#pragma once

#include "lab/faultplan.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

// The relay: one port that forwards each request to the device service named by its
// x-qm-devid and x-qm-port parameters, copying bytes both ways as they come (spliced in the
// kernel when no fault switch needs to see them). Logs one line per request:
// "relay <devid> <service> <METHOD> <target> <status> <body bytes>".
//
// Each connection is served on a thread of its own, at most maxConnections at once; a
// connection beyond that is answered 503 at once. stop() wakes every connection and returns
// once all have ended.
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

    bool start(int port, int maxConnections, QString *error);
    void stop();
    int port() const { return port_; }

private:
    void acceptLoop();
    void serve(int client);

    QString host_;
    Lookup lookup_;
    FaultPlan *faults_;
    int listenFd_ = -1;
    int stopFd_ = -1; // readable from stop() on: every wait of every connection includes it
    int port_ = 0;
    int maxConnections_ = 64;
    std::atomic<bool> running_{false};
    std::thread acceptThread_;
    std::mutex mutex_;
    std::condition_variable ended_;
    int active_ = 0;
    std::set<int> open_; // sockets of the connections: stop() shuts them, so no send blocks on
    void track(int fd);
    void untrack(int fd);
};
