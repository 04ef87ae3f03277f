#pragma once

#include "lab/faultplan.h"
#include "lab/labconfig.h"
#include "lab/labhttp.h"

#include <QMap>
#include <QString>

#include <httplib.h>

#include <condition_variable>
#include <mutex>

// The account service: sign-in with the client's result codes, sessions, kick-out when the
// same account signs in elsewhere (announced by long poll), sign-out, the password page.
class AccountService
{
public:
    struct Session
    {
        QString sessionid;
        QString name;
        quint64 userid = 0;
        QString state; // "active", "kicked", "ended"
    };

    AccountService(const LabConfig &config, FaultPlan *faults);
    void install(httplib::Server &server);
    // Stops waiting long polls (at shutdown).
    void shutdown();

    // The session if it is active and belongs to userid; used by the device-management server.
    bool activeSession(const QString &sessionid, quint64 userid, Session *out) const;

private:
    void onLogin(const httplib::Request &req, httplib::Response &res);
    void onWait(const httplib::Request &req, httplib::Response &res);
    void onLogout(const httplib::Request &req, httplib::Response &res);
    void onAvatar(const httplib::Request &req, httplib::Response &res);
    QString baseUrl(const httplib::Request &req) const;

    const LabConfig &config_;
    FaultPlan *faults_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    QMap<QString, Session> sessions_; // by session id
    bool shuttingDown_ = false;
};
