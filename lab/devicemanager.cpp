#include "lab/devicemanager.h"

#include <QJsonArray>

DeviceManager::DeviceManager(const AccountService *accounts,
                             const std::vector<std::unique_ptr<DeviceService>> *devices,
                             FaultPlan *faults, std::function<QString()> relayHost,
                             std::function<int()> relayPort)
    : accounts_(accounts), devices_(devices), faults_(faults), relayHost_(std::move(relayHost)),
      relayPort_(std::move(relayPort))
{
}

void DeviceManager::install(httplib::Server &server)
{
    server.Get("/tovrik/user/querydevice",
               [this](const httplib::Request &q, httplib::Response &r) { onQuery(q, r); });
}

void DeviceManager::onQuery(const httplib::Request &req, httplib::Response &res)
{
    const Faults f = faults_->at(QStringLiteral("account"), QStringLiteral("querydevice"));
    f.sleepDelay();
    const LabHttp::Params p = LabHttp::params(req);
    const quint64 userid = p.value(QStringLiteral("userid")).toULongLong();
    AccountService::Session session;
    QJsonObject reply;
    // The cookie must carry a live session of the user the query names.
    if (LabHttp::cookie(req, QStringLiteral("userid")).toULongLong() != userid ||
        !accounts_->activeSession(LabHttp::cookie(req, QStringLiteral("sessionid")), userid,
                                  &session)) {
        reply = QJsonObject{{"ret", 1}, {"msg", "invalid session"}};
    } else {
        QJsonArray list;
        for (const auto &service : *devices_) {
            const LabDevice &d = service->device();
            if (d.owner.isEmpty() || d.owner != session.name)
                continue;
            list.append(QJsonObject{
                {"deviceid", d.id},
                {"aliasname", QString::fromLatin1(d.aliasname.toUtf8().toPercentEncoding())},
                {"serverip", relayHost_()},
                {"serverport", relayPort_()},
                {"intraip", relayHost_()},
                {"onlinestatus", service->isOnline() ? 1 : 0},
                {"new_port_set", QJsonObject{{"xctl_port", d.xctlPort},
                                             {"mps_port", d.mpsPort},
                                             {"http_port", d.httpPort}}}});
        }
        reply = QJsonObject{{"ret", 0}, {"devices", list}};
    }
    if (f.hasRet)
        reply.insert(QStringLiteral("ret"), f.ret);
    LabHttp::sendJson(res, reply, f);
}
