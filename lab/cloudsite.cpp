#include "lab/cloudsite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QUrl>
#include <QUuid>

namespace {

QByteArray resource(const QString &name)
{
    QFile f(QStringLiteral(":/lab/site/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString sizeText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

// A cloud path as the site spells it: "/" + parts, folders with a trailing "/".
QString cleanCloudPath(const QString &path)
{
    QStringList parts;
    for (const QString &seg : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (seg == QLatin1String(".."))
            return QString();
        if (seg != QLatin1String("."))
            parts << seg;
    }
    return QLatin1Char('/') + parts.join(QLatin1Char('/'));
}

} // namespace

CloudSite::CloudSite(const LabConfig &config, FaultPlan *faults) : config_(config), faults_(faults)
{
    LabHttp::prepare(server_, QStringLiteral("cloud"));
    auto bind = [this](void (CloudSite::*fn)(const httplib::Request &, httplib::Response &)) {
        return [this, fn](const httplib::Request &q, httplib::Response &r) { (this->*fn)(q, r); };
    };
    server_.Get("/", bind(&CloudSite::onHome));
    server_.Get("/static/.*", bind(&CloudSite::onStatic));
    server_.Post("/login", bind(&CloudSite::onLogin));
    server_.Get("/logout", bind(&CloudSite::onLogout));
    server_.Get("/my", bind(&CloudSite::onMy));
    server_.Get("/my/.*", bind(&CloudSite::onMy));
    server_.Post("/file/download", bind(&CloudSite::onDownloadAddress));
    server_.Post("/file/getList", bind(&CloudSite::onList));
    server_.Get("/dl/.*", bind(&CloudSite::onDownload));
}

CloudSite::~CloudSite()
{
    stop();
}

bool CloudSite::start(QString *error)
{
    const std::string host = config_.host.toStdString();
    port_ = config_.cloudPort;
    if (port_ == 0)
        port_ = server_.bind_to_any_port(host);
    else if (!server_.bind_to_port(host, port_))
        port_ = -1;
    if (port_ <= 0) {
        *error = QStringLiteral("cloud site: cannot listen on %1:%2")
                     .arg(config_.host)
                     .arg(config_.cloudPort);
        return false;
    }
    thread_ = LabHttp::serve(server_);
    return true;
}

void CloudSite::stop()
{
    server_.stop();
    if (thread_.joinable())
        thread_.join();
}

QString CloudSite::nidOf(const QString &path)
{
    return QString::fromLatin1(
        path.toUtf8().toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString CloudSite::pathOfNid(const QString &nid)
{
    // With its length, so that a NUL inside reaches hostPath() and is refused there.
    const QByteArray path = QByteArray::fromBase64(nid.toLatin1(), QByteArray::Base64UrlEncoding);
    return QString::fromUtf8(path.constData(), path.size());
}

QString CloudSite::htmlEscape(const QString &text)
{
    QString out = text.toHtmlEscaped();
    out.replace(QLatin1Char('\''), QStringLiteral("&#39;"));
    return out;
}

QString CloudSite::userOfToken(const QString &token) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return sessions_.value(token);
}

QString CloudSite::userOf(const httplib::Request &req) const
{
    return userOfToken(LabHttp::cookie(req, QStringLiteral("yp_session")));
}

QString CloudSite::hostPath(const QString &user, const QString &cloudPath) const
{
    const QString clean = cleanCloudPath(cloudPath);
    if (clean.isEmpty() || user.isEmpty() || user.contains(QLatin1Char('/')) ||
        clean.contains(QChar(0)))
        return QString();
    const QString path = QDir::cleanPath(config_.cloudFolder + QLatin1Char('/') + user + clean);
    // As on the devices, a link may not lead out of the user's folder: the deepest part of the
    // path that exists decides.
    const QString root =
        QFileInfo(config_.cloudFolder + QLatin1Char('/') + user).canonicalFilePath();
    QString probe = path;
    while (!QFileInfo::exists(probe)) {
        const int slash = probe.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0)
            return QString();
        probe = probe.left(slash);
    }
    const QString real = QFileInfo(probe).canonicalFilePath();
    if (root.isEmpty() || (real != root && !real.startsWith(root + QLatin1Char('/'))))
        return QString();
    return path;
}

QString CloudSite::baseUrl(const httplib::Request &req) const
{
    // Like a real site's download servers, the download host may be another name than the
    // site's (one a download program resolves without the browser's host mapping).
    if (!config_.cloudDownloadHost.isEmpty())
        return QStringLiteral("http://%1:%2").arg(config_.cloudDownloadHost).arg(port_);
    const std::string host = req.get_header_value("Host");
    return QStringLiteral("http://") + (host.empty()
                                            ? QStringLiteral("%1:%2").arg(config_.host).arg(port_)
                                            : QString::fromStdString(host));
}

void CloudSite::onHome(const httplib::Request &req, httplib::Response &res)
{
    faults_->at(QStringLiteral("cloud"), QStringLiteral("cloud"), QStringLiteral("home"))
        .sleepDelay();
    QByteArray page = resource(QStringLiteral("index.html"));
    const bool failed = req.has_param("error");
    page.replace("{{ERROR}}", failed ? QStringLiteral("账号或密码错误").toUtf8() : QByteArray());
    res.set_content(page.constData(), static_cast<size_t>(page.size()), "text/html; charset=utf-8");
}

void CloudSite::onStatic(const httplib::Request &req, httplib::Response &res)
{
    const QString name = QString::fromStdString(req.path).mid(8);
    const QByteArray body = name.contains(QLatin1Char('/')) ? QByteArray() : resource(name);
    if (body.isEmpty()) {
        res.status = 404;
        return;
    }
    res.set_content(body.constData(), static_cast<size_t>(body.size()), LabHttp::contentType(name));
}

void CloudSite::onLogin(const httplib::Request &req, httplib::Response &res)
{
    const LabHttp::Params p = LabHttp::params(req);
    const QString user = p.value(QStringLiteral("username"));
    for (const LabCloudAccount &a : config_.cloudAccounts) {
        if (a.name != user || a.password != p.value(QStringLiteral("password")))
            continue;
        const QString token = QUuid::createUuid().toString(QUuid::Id128);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            sessions_.insert(token, user);
        }
        QDir().mkpath(config_.cloudFolder + QLatin1Char('/') + user);
        res.set_header("Set-Cookie", ("yp_session=" + token + "; Path=/; HttpOnly").toStdString());
        res.set_redirect("/my/", 302);
        return;
    }
    res.set_redirect("/?error=1", 302);
}

void CloudSite::onLogout(const httplib::Request &req, httplib::Response &res)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sessions_.remove(LabHttp::cookie(req, QStringLiteral("yp_session")));
    }
    res.set_header("Set-Cookie", "yp_session=; Path=/; Max-Age=0");
    res.set_redirect("/", 302);
}

void CloudSite::onMy(const httplib::Request &req, httplib::Response &res)
{
    faults_->at(QStringLiteral("cloud"), QStringLiteral("cloud"), QStringLiteral("my"))
        .sleepDelay();
    const QString user = userOf(req);
    if (user.isEmpty()) {
        res.set_redirect("/", 302);
        return;
    }
    const LabHttp::Params p = LabHttp::params(req);
    QString path = cleanCloudPath(p.value(QStringLiteral("path"), QStringLiteral("/")));
    QString folder = hostPath(user, path);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        path = QStringLiteral("/");
        folder = hostPath(user, path);
    }
    QString items;
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::DirsFirst | QDir::Name);
    for (const QFileInfo &info : entries) {
        const bool dir = info.isDir();
        QString itemPath =
            (path == QLatin1String("/") ? QString() : path) + QLatin1Char('/') + info.fileName();
        const QString link = dir ? QStringLiteral("/my/?path=") +
                                       QString::fromLatin1(QUrl::toPercentEncoding(itemPath))
                                 : QStringLiteral("javascript:void(0)");
        if (dir)
            itemPath += QLatin1Char('/');
        items += QStringLiteral("<li class=\"item %1\" data-type=\"%2\" data-title=\"%3\" "
                                "data-path=\"%4\" data-nid=\"%5\"><span class=\"icon\"></span>"
                                "<a class=\"name\" href=\"%6\">%3</a><span class=\"size\">%7</span>"
                                "<span class=\"time\">%8</span></li>\n")
                     .arg(dir ? QStringLiteral("dir") : QStringLiteral("file"),
                          dir ? QStringLiteral("dir") : QStringLiteral("file"),
                          htmlEscape(info.fileName()), htmlEscape(itemPath), nidOf(itemPath),
                          htmlEscape(link), dir ? QStringLiteral("-") : sizeText(info.size()),
                          info.lastModified().toString(QStringLiteral("yyyy-MM-dd hh:mm")));
    }
    // Breadcrumb: every folder from the root down.
    QString crumbs = QStringLiteral("<a href=\"/my/\">全部文件</a>");
    QString walked;
    for (const QString &seg : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        walked += QLatin1Char('/') + seg;
        crumbs += QStringLiteral(" &gt; <a href=\"/my/?path=%1\">%2</a>")
                      .arg(QString::fromLatin1(QUrl::toPercentEncoding(walked)), htmlEscape(seg));
    }
    QByteArray page = resource(QStringLiteral("my.html"));
    page.replace("{{USER}}", htmlEscape(user).toUtf8());
    page.replace("{{PATH}}", htmlEscape(path).toUtf8());
    page.replace("{{CRUMBS}}", crumbs.toUtf8());
    page.replace("{{LIST}}", items.toUtf8());
    page.replace("{{EMPTY}}", entries.isEmpty() ? QByteArray("empty") : QByteArray());
    res.set_content(page.constData(), static_cast<size_t>(page.size()), "text/html; charset=utf-8");
}

void CloudSite::onDownloadAddress(const httplib::Request &req, httplib::Response &res)
{
    const Faults f =
        faults_->at(QStringLiteral("cloud"), QStringLiteral("cloud"), QStringLiteral("f_down"));
    f.sleepDelay();
    const QString user = userOf(req);
    const LabHttp::Params p = LabHttp::params(req);
    QJsonObject reply;
    const QString path = pathOfNid(p.value(QStringLiteral("nid")));
    const QString file = hostPath(user, path);
    if (user.isEmpty()) {
        reply = QJsonObject{{"errno", 1001}, {"errmsg", QStringLiteral("请先登录")}};
    } else if (file.isEmpty() || !QFileInfo(file).isFile()) {
        reply = QJsonObject{{"errno", 2001}, {"errmsg", QStringLiteral("文件不存在")}};
    } else {
        const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
        const QString url = baseUrl(req) + QStringLiteral("/dl/") + nidOf(path) + QLatin1Char('/') +
                            QString::fromLatin1(QUrl::toPercentEncoding(name)) +
                            QStringLiteral("?t=") +
                            LabHttp::cookie(req, QStringLiteral("yp_session"));
        reply = QJsonObject{
            {"errno", 0},
            {"errmsg", QString()},
            {"data", QJsonObject{{"download_url", url}, {"size", QFileInfo(file).size()}}}};
    }
    LabHttp::sendJson(res, reply, f);
}

void CloudSite::onList(const httplib::Request &req, httplib::Response &res)
{
    const Faults f =
        faults_->at(QStringLiteral("cloud"), QStringLiteral("cloud"), QStringLiteral("getList"));
    f.sleepDelay();
    const QString user = userOf(req);
    const LabHttp::Params p = LabHttp::params(req);
    QString path = cleanCloudPath(p.value(QStringLiteral("path"), QStringLiteral("/")));
    const QString folder = hostPath(user, path);
    QJsonObject reply;
    if (user.isEmpty()) {
        reply = QJsonObject{{"errno", 1001}, {"errmsg", QStringLiteral("请先登录")}};
    } else if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        reply = QJsonObject{{"errno", 2002}, {"errmsg", QStringLiteral("目录不存在")}};
    } else {
        QJsonArray data;
        const QFileInfoList entries =
            QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                                       QDir::DirsFirst | QDir::Name);
        for (const QFileInfo &info : entries) {
            QString itemPath = (path == QLatin1String("/") ? QString() : path) + QLatin1Char('/') +
                               info.fileName();
            if (info.isDir())
                itemPath += QLatin1Char('/');
            data.append(QJsonObject{{"oriName", info.fileName()},
                                    {"isDir", info.isDir() ? 1 : 0},
                                    {"path", itemPath},
                                    {"nid", nidOf(itemPath)},
                                    {"size", static_cast<double>(info.isDir() ? 0 : info.size())}});
        }
        reply = QJsonObject{{"errno", 0}, {"errmsg", QString()}, {"data", data}};
    }
    // The site hands this out as text; the page turns it into an object with evalExp().
    const QByteArray body =
        LabHttp::malformed(QJsonDocument(reply).toJson(QJsonDocument::Compact), f);
    LabHttp::sendBytes(res, body, "text/plain; charset=utf-8", f);
}

void CloudSite::onDownload(const httplib::Request &req, httplib::Response &res)
{
    const Faults f =
        faults_->at(QStringLiteral("cloud"), QStringLiteral("cloud"), QStringLiteral("dl"));
    f.sleepDelay();
    // /dl/<nid>/<name>: the token in the address is enough, as for a real signed link.
    const QStringList parts = QString::fromStdString(req.path).split(QLatin1Char('/'));
    const LabHttp::Params p = LabHttp::params(req);
    QString user = userOfToken(p.value(QStringLiteral("t")));
    if (user.isEmpty())
        user = userOf(req);
    const QString file = parts.size() >= 3 ? hostPath(user, pathOfNid(parts[2])) : QString();
    if (user.isEmpty() || file.isEmpty()) {
        res.status = 403;
        res.set_content("forbidden", "text/plain");
        return;
    }
    LabHttp::sendFile(req, res, file, f);
}
