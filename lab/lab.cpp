#include "lab/lab.h"

#include <QJsonArray>
#include <QJsonDocument>

Lab::Lab(const LabConfig &config)
    : config_(config), accounts_(config_, &faults_),
      manager_(
          &accounts_, &devices_, &faults_, [this] { return config_.host; },
          [this] { return relay_.port(); }),
      relay_(
          config_.host, [this](const QString &id, int port) { return relayLookup(id, port); },
          &faults_),
      cloud_(config_, &faults_)
{
    for (const LabDevice &d : config_.devices)
        devices_.push_back(std::make_unique<DeviceService>(d, config_.host, &faults_));
    LabHttp::prepare(service_, QStringLiteral("service"), 48);
    accounts_.install(service_);
    manager_.install(service_);
    service_.Get("/lab/faults", [this](const httplib::Request &, httplib::Response &res) {
        const QByteArray body = QJsonDocument(faults_.json()).toJson(QJsonDocument::Compact);
        res.set_content(body.toStdString(), "application/json");
    });
    service_.Post("/lab/faults", [this](const httplib::Request &req, httplib::Response &res) {
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(req.body));
        QString error;
        if (!doc.isObject() || !faults_.setJson(doc.object(), &error)) {
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
    if (!config_.faults.isEmpty() && !faults_.setJson(config_.faults, error))
        return false;
    const std::string host = config_.host.toStdString();
    servicePort_ = config_.servicePort;
    if (servicePort_ == 0)
        servicePort_ = service_.bind_to_any_port(host);
    else if (!service_.bind_to_port(host, servicePort_))
        servicePort_ = -1;
    if (servicePort_ <= 0) {
        *error = QStringLiteral("service: cannot listen on %1:%2")
                     .arg(config_.host)
                     .arg(config_.servicePort);
        return false;
    }
    serviceThread_ = std::thread([this] { service_.listen_after_bind(); });
    for (auto &d : devices_)
        if (!d->start(error))
            return false;
    if (!relay_.start(config_.relayPort, error) || !cloud_.start(error))
        return false;
    discovery_ = std::make_unique<DiscoveryResponder>(config_.host, &faults_);
    QJsonArray answers;
    for (const auto &d : devices_) {
        const LabDevice &dev = d->device();
        if (dev.online && dev.lan)
            answers.append(QJsonObject{{"id", dev.deviceid},
                                       {"ip", config_.host},
                                       {"xctl_port", dev.xctlPort},
                                       {"mps_port", dev.mpsPort},
                                       {"http_port", dev.httpPort}});
    }
    discovery_->setAnswers(answers);
    return discovery_->start(config_.discoveryPort, error);
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

int Lab::relayLookup(const QString &deviceid, int port) const
{
    for (const auto &d : devices_) {
        const LabDevice &dev = d->device();
        if (dev.deviceid != deviceid)
            continue;
        if (!dev.online)
            return -1;
        return port > 0 && d->ownsPort(port) ? port : 0;
    }
    return 0;
}

QJsonObject Lab::readyInfo() const
{
    QJsonArray devices;
    for (const auto &d : devices_) {
        const LabDevice &dev = d->device();
        devices.append(QJsonObject{{"deviceid", dev.deviceid},
                                   {"xctl", dev.xctlPort},
                                   {"mps", dev.mpsPort},
                                   {"http", dev.httpPort}});
    }
    return QJsonObject{{"host", config_.host},   {"service", servicePort_},
                       {"relay", relay_.port()}, {"discovery", discovery_ ? discovery_->port() : 0},
                       {"cloud", cloud_.port()}, {"devices", devices}};
}
