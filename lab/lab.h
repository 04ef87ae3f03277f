#pragma once

#include "lab/accountservice.h"
#include "lab/cloudsite.h"
#include "lab/devicemanager.h"
#include "lab/deviceservice.h"
#include "lab/discoveryresponder.h"
#include "lab/faultplan.h"
#include "lab/labconfig.h"
#include "lab/relay.h"

#include <QJsonObject>

#include <httplib.h>

#include <memory>
#include <thread>
#include <vector>

// Every stand-in of one configuration, started together.
class Lab
{
public:
    explicit Lab(const LabConfig &config);
    ~Lab();
    Lab(const Lab &) = delete;
    Lab &operator=(const Lab &) = delete;

    FaultPlan &faults() { return faults_; }
    bool start(QString *error);
    void stop();
    // The ports taken, as the ready line reports them.
    QJsonObject readyInfo() const;

private:
    int relayLookup(const QString &deviceid, int port, QString *service) const;

    LabConfig config_;
    FaultPlan faults_;
    AccountService accounts_;
    std::vector<std::unique_ptr<DeviceService>> devices_;
    DeviceManager manager_;
    Relay relay_;
    CloudSite cloud_;
    std::vector<std::unique_ptr<DiscoveryResponder>> discovery_;
    std::vector<int> discoveryPorts_; // per device, 0 when not on the LAN
    httplib::Server service_;
    std::thread serviceThread_;
    int accountPort_ = 0;
};
