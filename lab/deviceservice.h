#pragma once

#include "lab/devicefs.h"
#include "lab/faultplan.h"
#include "lab/labconfig.h"
#include "lab/labhttp.h"
#include "lab/mediaindex.h"

#include <QByteArray>
#include <QCache>
#include <QJsonObject>

#include <httplib.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

// One device: the query API on xctl_port, uploads on mps_port, files and streams on
// http_port, all over the partition folders on disk.
class DeviceService
{
public:
    DeviceService(const LabDevice &device, const QString &host, FaultPlan *faults);
    ~DeviceService();
    DeviceService(const DeviceService &) = delete;
    DeviceService &operator=(const DeviceService &) = delete;

    // Binds the three ports (0: any free port) and starts serving.
    bool start(QString *error);
    void stop();

    // The device record with the ports actually taken.
    const LabDevice &device() const { return device_; }
    bool ownsPort(int port) const;
    // Configured on line and not switched off line by a fault.
    bool isOnline() const;

private:
    void onQuery(const httplib::Request &req, httplib::Response &res);
    void onMkdir(const httplib::Request &req, httplib::Response &res);
    void onUpload(const httplib::Request &req, httplib::Response &res,
                  const httplib::ContentReader &reader);
    void onFile(const httplib::Request &req, httplib::Response &res);
    void onPoster(const httplib::Request &req, httplib::Response &res);

    QJsonObject queryDir(const LabHttp::Params &p);
    QJsonObject fileList(const httplib::Request &req, const LabHttp::Params &p);
    QJsonObject realVideo(const httplib::Request &req, const LabHttp::Params &p);
    QJsonObject deleteFiles(const LabHttp::Params &p);
    QJsonObject usbInfo();
    void fileData(const httplib::Request &req, httplib::Response &res, const LabHttp::Params &p,
                  const Faults &f);

    std::shared_ptr<const MediaIndex> index();
    void invalidate();
    // An absolute URL of a poster, reachable the way this request came in; hop counts the
    // redirections that led there (0: the URL of the listing).
    QString posterUrl(const httplib::Request &req, const QString &key, int hop) const;
    QByteArray posterPng(const QString &key);

    LabDevice device_;
    QString host_;
    FaultPlan *faults_;
    DeviceFs fs_;
    httplib::Server xctl_;
    httplib::Server mps_;
    httplib::Server http_;
    std::thread threads_[3];

    std::mutex indexMutex_;
    std::shared_ptr<const MediaIndex> index_;
    std::chrono::steady_clock::time_point indexTime_;

    std::mutex thumbMutex_;
    QCache<QString, QByteArray> thumbs_{16 * 1024 * 1024};
};
