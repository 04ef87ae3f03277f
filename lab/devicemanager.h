#pragma once

#include "lab/accountservice.h"
#include "lab/deviceservice.h"
#include "lab/faultplan.h"

#include <httplib.h>

#include <functional>
#include <memory>
#include <vector>

// The device-management server: the devices bound to the signed-in account.
class DeviceManager
{
public:
    DeviceManager(const AccountService *accounts,
                  const std::vector<std::unique_ptr<DeviceService>> *devices, FaultPlan *faults,
                  std::function<QString()> relayHost, std::function<int()> relayPort);
    void install(httplib::Server &server);

private:
    void onQuery(const httplib::Request &req, httplib::Response &res);

    const AccountService *accounts_;
    const std::vector<std::unique_ptr<DeviceService>> *devices_;
    FaultPlan *faults_;
    std::function<QString()> relayHost_;
    std::function<int()> relayPort_;
};
