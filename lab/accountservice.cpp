#include "lab/accountservice.h"

#include "lab/labimages.h"

#include <QFile>
#include <QJsonObject>
#include <QUuid>

#include <chrono>
#include <thread>

namespace {

const char *const kMessages[] = {
    "ok",      "network error", "no such user",   "wrong password", "signed in elsewhere",
    "timeout", "maintenance",   "account locked", "internal error"};

QJsonObject codeReply(int code)
{
    const QString msg =
        code >= 0 && code <= 8 ? QString::fromLatin1(kMessages[code]) : QStringLiteral("unknown");
    return QJsonObject{{"code", code}, {"msg", msg}};
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
    server.Get("/account/login", bind(&AccountService::onLogin));
    server.Get("/account/events", bind(&AccountService::onEvents));
    server.Get("/account/session", bind(&AccountService::onSession));
    server.Post("/account/logout", bind(&AccountService::onLogout));
    server.Get("/account/logout", bind(&AccountService::onLogout));
    server.Get("/account/avatar/.*", bind(&AccountService::onAvatar));
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
    const std::string host = req.get_header_value("Host");
    if (!host.empty())
        return QStringLiteral("http://") + QString::fromStdString(host);
    return QStringLiteral("http://%1:%2").arg(config_.host).arg(req.local_port);
}

QJsonObject AccountService::identity(const Session &s) const
{
    const LabAccount *a = config_.account(s.username);
    return QJsonObject{{"userid", QString::number(s.userid)},
                       {"sessionid", s.sessionid},
                       {"username", s.username},
                       {"nickname", a ? a->nickname : s.username},
                       {"jumpkey", QStringLiteral("jk-") + s.sessionid.left(8)}};
}

void AccountService::onLogin(const httplib::Request &req, httplib::Response &res)
{
    const LabHttp::Params p = LabHttp::params(req);
    const Faults f = faults_->at(QStringLiteral("service"), QStringLiteral("login"));
    f.sleepDelay();
    const QString username = p.value(QStringLiteral("username"));
    const LabAccount *a = config_.account(username);
    if (a && a->delayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(a->delayMs));

    int code = 0;
    if (f.hasLoginResult)
        code = f.loginResult;
    else if (config_.maintenance)
        code = 6;
    else if (!a)
        code = 2;
    else if (a->result != 0)
        code = a->result;
    else if (a->locked)
        code = 7;
    else if (p.value(QStringLiteral("password")) != a->password)
        code = 3;

    QJsonObject reply = codeReply(code);
    if (code == 0 && a) {
        Session s;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            bool conflict = false;
            for (const Session &other : sessions_)
                conflict |= other.username == a->username && other.state == QLatin1String("active");
            if (conflict && a->refuseConflict) {
                LabHttp::sendJson(res, codeReply(4), f);
                return;
            }
            // The newest sign-in wins: every older session of the account is taken over.
            for (Session &other : sessions_)
                if (other.username == a->username && other.state == QLatin1String("active"))
                    other.state = QStringLiteral("kicked");
            s.sessionid = QUuid::createUuid().toString(QUuid::Id128);
            s.username = a->username;
            s.userid = a->userid;
            s.state = QStringLiteral("active");
            sessions_.insert(s.sessionid, s);
            changed_.notify_all();
        }
        const QJsonObject id = identity(s);
        for (auto it = id.begin(); it != id.end(); ++it)
            reply.insert(it.key(), it.value());
        reply.insert(QStringLiteral("imageurl"),
                     baseUrl(req) + QStringLiteral("/account/avatar/%1.png").arg(a->userid));
    }
    LabHttp::sendJson(res, reply, f);
}

void AccountService::onEvents(const httplib::Request &req, httplib::Response &res)
{
    const LabHttp::Params p = LabHttp::params(req);
    const Faults f = faults_->at(QStringLiteral("service"), QStringLiteral("events"));
    const QString id = p.value(QStringLiteral("sessionid"));
    bool ok = false;
    int timeout = p.value(QStringLiteral("timeout")).toInt(&ok);
    if (!ok)
        timeout = 20;
    timeout = qBound(0, timeout, 60);
    QString event;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        auto stateNow = [&] {
            const auto it = sessions_.constFind(id);
            if (it == sessions_.constEnd() || it->state == QLatin1String("none"))
                return QStringLiteral("expired");
            if (it->state == QLatin1String("kicked"))
                return QStringLiteral("kickout");
            return QString();
        };
        changed_.wait_for(lock, std::chrono::seconds(timeout),
                          [&] { return shuttingDown_ || !stateNow().isEmpty(); });
        event = stateNow();
    }
    if (event.isEmpty())
        event = QStringLiteral("none");
    QJsonObject reply = codeReply(0);
    reply.insert(QStringLiteral("event"), event);
    LabHttp::sendJson(res, reply, f);
}

void AccountService::onSession(const httplib::Request &req, httplib::Response &res)
{
    const LabHttp::Params p = LabHttp::params(req);
    const Faults f = faults_->at(QStringLiteral("service"), QStringLiteral("session"));
    QJsonObject reply = codeReply(0);
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = sessions_.constFind(p.value(QStringLiteral("sessionid")));
    if (it == sessions_.constEnd()) {
        reply.insert(QStringLiteral("state"), QStringLiteral("none"));
    } else {
        reply.insert(QStringLiteral("state"), it->state);
        const QJsonObject id = identity(*it);
        for (auto i = id.begin(); i != id.end(); ++i)
            reply.insert(i.key(), i.value());
    }
    LabHttp::sendJson(res, reply, f);
}

void AccountService::onLogout(const httplib::Request &req, httplib::Response &res)
{
    const LabHttp::Params p = LabHttp::params(req);
    const Faults f = faults_->at(QStringLiteral("service"), QStringLiteral("logout"));
    f.sleepDelay();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = sessions_.find(p.value(QStringLiteral("sessionid")));
        if (it != sessions_.end())
            it->state = QStringLiteral("none");
        changed_.notify_all();
    }
    LabHttp::sendJson(res, codeReply(0), f);
}

void AccountService::onAvatar(const httplib::Request &req, httplib::Response &res)
{
    const quint64 id = QString::fromStdString(req.path)
                           .section(QLatin1Char('/'), -1)
                           .section(QLatin1Char('.'), 0, 0)
                           .toULongLong();
    for (const LabAccount &a : config_.accounts) {
        if (a.userid != id)
            continue;
        const QByteArray png =
            LabImages::png(LabImages::picture(a.nickname.left(2), QColor(15, 152, 254), 96, 96));
        res.set_content(png.constData(), static_cast<size_t>(png.size()), "image/png");
        return;
    }
    res.status = 404;
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
