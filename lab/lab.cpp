#include "lab/lab.h"

#include "device/untrustedjson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>

Lab::Lab(const LabConfig &config)
    : config_(config), accounts_(config_, &faults_),
      manager_(
          &accounts_, &devices_, &faults_, [this] { return config_.host; },
          [this] { return relay_.port(); }),
      relay_(
          config_.host,
          [this](const QString &id, int port, QString *service) {
              return relayLookup(id, port, service);
          },
          &faults_),
      cloud_(config_, &faults_)
{
    for (const LabDevice &d : config_.devices)
        devices_.push_back(std::make_unique<DeviceService>(d, config_.host, &faults_));
    LabHttp::prepare(service_, QStringLiteral("account"), 48);
    accounts_.install(service_);
    manager_.install(service_);
    service_.Get("/lab/faults", [this](const httplib::Request &, httplib::Response &res) {
        const QByteArray body = QJsonDocument(faults_.runtime()).toJson(QJsonDocument::Compact);
        res.set_content(body.toStdString(), "application/json");
    });
    service_.Post("/lab/faults", [this](const httplib::Request &req, httplib::Response &res) {
        const std::optional<QJsonObject> set =
            UntrustedJson::parseObject(QByteArray::fromStdString(req.body));
        QString error;
        if (!set || !faults_.setRuntime(*set, &error)) {
            res.status = 400;
            res.set_content(
                (error.isEmpty() ? QStringLiteral("expected a JSON object") : error).toStdString(),
                "text/plain");
            return;
        }
        res.set_content("{\"ok\":true}", "application/json");
    });
}

Lab::~Lab()
{
    stop();
}

bool Lab::start(QString *error)
{
    if (!faults_.configure(QStringLiteral("*"), config_.faults, error) ||
        !faults_.configure(QStringLiteral("account"), config_.accountFaults, error) ||
        !faults_.configure(QStringLiteral("relay"), config_.relayFaults, error) ||
        !faults_.configure(QStringLiteral("cloud"), config_.cloudFaults, error))
        return false;
    for (const LabDevice &d : config_.devices)
        if (!faults_.configure(d.id, d.faults, error))
            return false;

    const std::string host = config_.host.toStdString();
    accountPort_ = config_.accountPort;
    if (accountPort_ == 0)
        accountPort_ = service_.bind_to_any_port(host);
    else if (!service_.bind_to_port(host, accountPort_))
        accountPort_ = -1;
    if (accountPort_ <= 0) {
        *error = QStringLiteral("account service: cannot listen on %1:%2")
                     .arg(config_.host)
                     .arg(config_.accountPort);
        return false;
    }
    serviceThread_ = LabHttp::serve(service_);
    for (auto &d : devices_)
        if (!d->start(error))
            return false;
    if (!relay_.start(config_.relayPort, config_.relayMaxConnections, error) ||
        !cloud_.start(error))
        return false;

    // Devices that share a discovery address share one socket, which answers for each.
    QMap<QString, DiscoveryResponder *> byAddress;
    auto online = [this](const QString &id) {
        for (const auto &d : devices_)
            if (d->device().id == id)
                return d->isOnline();
        return false;
    };
    discoveryPorts_.assign(devices_.size(), 0);
    for (size_t i = 0; i < devices_.size(); ++i) {
        const LabDevice &dev = devices_[i]->device();
        if (dev.discoveryAddress.isEmpty())
            continue;
        const QString key =
            QStringLiteral("%1:%2").arg(dev.discoveryAddress).arg(dev.discoveryPort);
        DiscoveryResponder *responder = byAddress.value(key);
        if (!responder) {
            discovery_.push_back(std::make_unique<DiscoveryResponder>(&faults_, online));
            responder = discovery_.back().get();
            if (!responder->start(dev.discoveryAddress, dev.discoveryPort, error))
                return false;
            byAddress.insert(key, responder);
        }
        responder->addDevice(dev.id, QJsonObject{{"id", dev.id},
                                                 {"ip", config_.host},
                                                 {"xctl_port", dev.xctlPort},
                                                 {"mps_port", dev.mpsPort},
                                                 {"http_port", dev.httpPort}});
        discoveryPorts_[i] = responder->port();
    }
    return true;
}

void Lab::stop()
{
    accounts_.shutdown();
    service_.stop();
    if (serviceThread_.joinable())
        serviceThread_.join();
    relay_.stop();
    cloud_.stop();
    for (auto &d : devices_)
        d->stop();
}

int Lab::relayLookup(const QString &deviceid, int port, QString *service) const
{
    for (const auto &d : devices_) {
        const LabDevice &dev = d->device();
        if (dev.id != deviceid)
            continue;
        if (port > 0 && d->ownsPort(port))
            *service = port == dev.xctlPort  ? QStringLiteral("xctl")
                       : port == dev.mpsPort ? QStringLiteral("mps")
                                             : QStringLiteral("http");
        if (!d->isOnline())
            return -1;
        return port > 0 && d->ownsPort(port) ? port : 0;
    }
    return 0;
}

QJsonObject Lab::readyInfo() const
{
    QJsonArray devices;
    for (size_t i = 0; i < devices_.size(); ++i) {
        const LabDevice &dev = devices_[i]->device();
        devices.append(
            QJsonObject{{"id", dev.id},
                        {"xctl_port", dev.xctlPort},
                        {"mps_port", dev.mpsPort},
                        {"http_port", dev.httpPort},
                        {"discovery_port", i < discoveryPorts_.size() ? discoveryPorts_[i] : 0},
                        {"root", dev.root}});
    }
    return QJsonObject{{"host", config_.host},
                       {"account_port", accountPort_},
                       {"relay_port", relay_.port()},
                       {"cloud_port", cloud_.port()},
                       {"devices", devices}};
}
