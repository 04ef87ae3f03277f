#include "lab/accountservice.h"

#include "lab/labimages.h"

#include <QFile>
#include <QJsonObject>
#include <QUuid>

#include <chrono>

namespace {

QString messageOf(int code)
{
    static const char *const texts[] = {
        "ok",      "network error", "no such user",   "wrong password", "signed in elsewhere",
        "timeout", "maintenance",   "account locked", "server error"};
    return code >= 0 && code <= 8 ? QString::fromLatin1(texts[code]) : QStringLiteral("unknown");
}

QString newHexId()
{
    return QUuid::createUuid().toString(QUuid::Id128);
}

} // namespace

AccountService::AccountService(const LabConfig &config, FaultPlan *faults)
    : config_(config), faults_(faults)
{
}

void AccountService::install(httplib::Server &server)
{
    auto bind = [this](void (AccountService::*fn)(const httplib::Request &, httplib::Response &)) {
        return [this, fn](const httplib::Request &q, httplib::Response &r) { (this->*fn)(q, r); };
    };
    server.Post("/account/login", bind(&AccountService::onLogin));
    server.Post("/account/logout", bind(&AccountService::onLogout));
    server.Get("/account/wait", bind(&AccountService::onWait));
    server.Get("/avatar/.*", bind(&AccountService::onAvatar));
    server.Get("/password_find.html", [](const httplib::Request &, httplib::Response &res) {
        QFile page(QStringLiteral(":/lab/site/password_find.html"));
        page.open(QIODevice::ReadOnly);
        const QByteArray body = page.readAll();
        res.set_content(body.constData(), static_cast<size_t>(body.size()),
                        "text/html; charset=utf-8");
    });
}

void AccountService::shutdown()
{
    std::lock_guard<std::mutex> lock(mutex_);
    shuttingDown_ = true;
    changed_.notify_all();
}

QString AccountService::baseUrl(const httplib::Request &req) const
{
    return QStringLiteral("http://%1:%2").arg(config_.host).arg(req.local_port);
}

void AccountService::onLogin(const httplib::Request &req, httplib::Response &res)
{
    const LabHttp::Params p = LabHttp::params(req);
    const Faults f = faults_->at(QStringLiteral("account"), QStringLiteral("login"));
    f.sleepDelay();
    const LabAccount *a = config_.account(p.value(QStringLiteral("name")));
    int code = 0;
    if (f.hasForceCode)
        code = f.forceCode;
    else if (config_.maintenance)
        code = 6;
    else if (!a)
        code = 2;
    else if (a->locked)
        code = 7;
    else if (p.value(QStringLiteral("password")) != a->password)
        code = 3;

    QJsonObject reply{{"code", code}};
    if (code == 0 && a) {
        Session s;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            bool conflict = false;
            for (const Session &other : sessions_)
                conflict |= other.name == a->name && other.state == QLatin1String("active");
            if (conflict && a->refuseConflict) {
                LabHttp::sendJson(res, QJsonObject{{"code", 4}, {"message", messageOf(4)}}, f);
                return;
            }
            // The newest sign-in wins: the account's older sessions are taken over.
            for (Session &other : sessions_)
                if (other.name == a->name && other.state == QLatin1String("active"))
                    other.state = QStringLiteral("kicked");
            s.sessionid = newHexId();
            s.name = a->name;
            s.userid = a->userid;
            s.state = QStringLiteral("active");
            sessions_.insert(s.sessionid, s);
            changed_.notify_all();
        }
        reply.insert(QStringLiteral("sessionid"), s.sessionid);
        reply.insert(QStringLiteral("userid"), QString::number(a->userid));
        reply.insert(QStringLiteral("username"), a->name);
        reply.insert(QStringLiteral("nickname"), a->nickname);
        reply.insert(QStringLiteral("jumpkey"), newHexId());
        reply.insert(QStringLiteral("imageurl"),
                     baseUrl(req) + QStringLiteral("/avatar/") +
                         QString::fromLatin1(a->name.toUtf8().toPercentEncoding()) +
                         QStringLiteral(".png"));
    } else {
        reply.insert(QStringLiteral("message"), messageOf(code));
    }
    LabHttp::sendJson(res, reply, f);
}

void AccountService::onWait(const httplib::Request &req, httplib::Response &res)
{
    const LabHttp::Params p = LabHttp::params(req);
    const Faults f = faults_->at(QStringLiteral("account"), QStringLiteral("wait"));
    const QString id = p.value(QStringLiteral("sessionid"));
    bool ok = false;
    int timeout = p.value(QStringLiteral("timeout_ms")).toInt(&ok);
    timeout = qBound(0, ok ? timeout : 30000, 30000);
    QString event;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        auto eventNow = [&] {
            const auto it = sessions_.constFind(id);
            if (it == sessions_.constEnd() || it->state == QLatin1String("ended"))
                return QStringLiteral("invalid");
            if (it->state == QLatin1String("kicked"))
                return QStringLiteral("kickout");
            return QString();
        };
        changed_.wait_for(lock, std::chrono::milliseconds(timeout),
                          [&] { return shuttingDown_ || !eventNow().isEmpty(); });
        event = eventNow();
    }
    LabHttp::sendJson(res, QJsonObject{{"event", event.isEmpty() ? QStringLiteral("none") : event}},
                      f);
}

void AccountService::onLogout(const httplib::Request &req, httplib::Response &res)
{
    const LabHttp::Params p = LabHttp::params(req);
    const Faults f = faults_->at(QStringLiteral("account"), QStringLiteral("logout"));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = sessions_.find(p.value(QStringLiteral("sessionid")));
        if (it != sessions_.end())
            it->state = QStringLiteral("ended");
        changed_.notify_all();
    }
    LabHttp::sendJson(res, QJsonObject{{"code", 0}}, f);
}

void AccountService::onAvatar(const httplib::Request &req, httplib::Response &res)
{
    QString name = QString::fromStdString(req.path).mid(8); // after "/avatar/"
    if (name.endsWith(QLatin1String(".png")))
        name.chop(4);
    const LabAccount *a = config_.account(name);
    if (!a) {
        res.status = 404;
        res.set_content("no such user", "text/plain");
        return;
    }
    const QByteArray png =
        LabImages::png(LabImages::picture(a->nickname.left(2), QColor(15, 152, 254), 96, 96));
    res.set_content(png.constData(), static_cast<size_t>(png.size()), "image/png");
}

bool AccountService::activeSession(const QString &sessionid, quint64 userid, Session *out) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = sessions_.constFind(sessionid);
    if (it == sessions_.constEnd() || it->state != QLatin1String("active") || it->userid != userid)
        return false;
    *out = *it;
    return true;
}
