#pragma once

#include "lab/faultplan.h"
#include "lab/labconfig.h"
#include "lab/labhttp.h"

#include <QMap>
#include <QString>

#include <httplib.h>

#include <mutex>
#include <thread>

// The cloud-disk site: a home page with a sign-in form, signed-in pages under /my that list
// the user's cloud folder, the download-address and folder-list services, and the downloads.
class CloudSite
{
public:
    CloudSite(const LabConfig &config, FaultPlan *faults);
    ~CloudSite();
    bool start(QString *error);
    void stop();
    int port() const { return port_; }

    // nid <-> path inside the user's folder ("/a/b.txt"); the nid is the path, Base64url.
    static QString nidOf(const QString &path);
    static QString pathOfNid(const QString &nid);
    static QString htmlEscape(const QString &text);

private:
    QString userOf(const httplib::Request &req) const;
    QString userOfToken(const QString &token) const;
    // The host folder of a cloud path of this user, or empty when it leaves the folder.
    // The user's file or folder on the host; empty for paths that leave the user's folder
    // (through "..", a NUL or a link).
    QString hostPath(const QString &user, const QString &cloudPath) const;
    QString baseUrl(const httplib::Request &req) const;

    void onHome(const httplib::Request &req, httplib::Response &res);
    void onStatic(const httplib::Request &req, httplib::Response &res);
    void onLogin(const httplib::Request &req, httplib::Response &res);
    void onLogout(const httplib::Request &req, httplib::Response &res);
    void onMy(const httplib::Request &req, httplib::Response &res);
    void onDownloadAddress(const httplib::Request &req, httplib::Response &res);
    void onList(const httplib::Request &req, httplib::Response &res);
    void onDownload(const httplib::Request &req, httplib::Response &res);

    const LabConfig &config_;
    FaultPlan *faults_;
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    mutable std::mutex mutex_;
    QMap<QString, QString> sessions_; // token -> user name
};
