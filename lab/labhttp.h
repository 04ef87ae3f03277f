#pragma once

#include "lab/faultplan.h"

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include <httplib.h>

#include <thread>

// Shared pieces of the lab's HTTP handlers: parameters, JSON and streamed bodies with faults.
class LabHttp
{
public:
    using Params = QMap<QString, QString>;

    // Query parameters, percent-decoded once; "+" stays "+" (the client never sends it for a
    // blank). Form bodies (application/x-www-form-urlencoded) are added with "+" as a blank.
    static Params params(const httplib::Request &req);
    static Params parseQuery(const std::string &text, bool plusIsSpace);
    // Keeps a decoded NUL (never cuts the text there): path checks must see and refuse it.
    static QString percentDecode(const QByteArray &text, bool plusIsSpace);
    // Percent-encodes UTF-8, leaving unreserved characters and "/" as they are.
    static QString encodePath(const QString &path);
    static QString cookie(const httplib::Request &req, const QString &name);

    static void sendJson(httplib::Response &res, const QJsonObject &o, const Faults &f,
                         int status = 200);
    static void sendBytes(httplib::Response &res, const QByteArray &data,
                          const std::string &contentType, const Faults &f, int status = 200);
    // Streams a file with Range support; 404 when it is missing or a folder.
    static void sendFile(const httplib::Request &req, httplib::Response &res,
                         const QString &hostPath, const Faults &f);
    static std::string contentType(const QString &name);
    // The JSON text as the malformed_json switch spoils it.
    static QByteArray malformed(const QByteArray &json, const Faults &f);

    // Request log lines on standard error ("xctl GET /dlna.csp?... 200"), unless quiet.
    static void setQuiet(bool quiet);
    static bool logging();
    static void prepare(httplib::Server &server, const QString &place, int threads = 16);
    // Runs a bound server's accept loop on a new thread and returns once the loop runs (or has
    // already ended). httplib's stop() does nothing before the loop has started, and the loop
    // would then never end: a start that fails right after binding hung in the join.
    static std::thread serve(httplib::Server &server);
};
