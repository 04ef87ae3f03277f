#include "lab/deviceservice.h"

#include "lab/labimages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QUuid>

#include <cstdio>

namespace {

const int kPictureType = 29489;
const int kDocumentType = 160560;
const int kAllVideosFlat = -15;

QJsonObject rtnOnly(int rtn, const QString &msg = QString())
{
    QJsonObject o{{"rtn", rtn}};
    if (!msg.isEmpty())
        o.insert(QStringLiteral("msg"), msg);
    return o;
}

int intParam(const LabHttp::Params &p, const QString &key, int fallback)
{
    bool ok = false;
    const int v = p.value(key).toInt(&ok);
    return ok ? v : fallback;
}

// start/count paging as the device answers it: a bad start is 0, no count is 100.
void pageOf(const LabHttp::Params &p, int total, int *first, int *last)
{
    const int start = qMax(0, intParam(p, QStringLiteral("start"), 0));
    int count = intParam(p, QStringLiteral("count"), 100);
    if (count <= 0)
        count = 100;
    *first = qMin(start, total);
    *last = static_cast<int>(qMin<qint64>(total, static_cast<qint64>(*first) + count));
}

QString baseName(const QString &name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.left(dot) : name;
}

// Reads a body that will not be stored, so that the client sees the answer, not a reset.
void drain(const httplib::Request &req, const httplib::ContentReader &reader)
{
    auto skip = [](const char *, size_t) { return true; };
    if (req.is_multipart_form_data())
        reader([](const httplib::MultipartFormData &) { return true; }, skip);
    else
        reader(skip);
}

bool validFileName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

} // namespace

DeviceService::DeviceService(const LabDevice &device, const QString &host, FaultPlan *faults)
    : device_(device), host_(host), faults_(faults), fs_(device.partitions)
{
    LabHttp::prepare(xctl_, device.id + QStringLiteral(" xctl"));
    LabHttp::prepare(mps_, device.id + QStringLiteral(" mps"), 8);
    LabHttp::prepare(http_, device.id + QStringLiteral(" http"));
    // An off-line box answers nothing useful on any port.
    for (httplib::Server *server : {&xctl_, &mps_, &http_}) {
        server->set_pre_routing_handler([this](const httplib::Request &, httplib::Response &res) {
            if (isOnline())
                return httplib::Server::HandlerResponse::Unhandled;
            res.status = 503;
            res.set_content("device off line", "text/plain");
            return httplib::Server::HandlerResponse::Handled;
        });
    }

    xctl_.Get("/dlna.csp",
              [this](const httplib::Request &q, httplib::Response &r) { onQuery(q, r); });
    xctl_.Get("/protocol.csp",
              [this](const httplib::Request &q, httplib::Response &r) { onMkdir(q, r); });
    mps_.Post("/upload.csp", [this](const httplib::Request &q, httplib::Response &r,
                                    const httplib::ContentReader &c) { onUpload(q, r, c); });
    http_.Get("/poster/.*",
              [this](const httplib::Request &q, httplib::Response &r) { onPoster(q, r); });
    http_.Get(".*", [this](const httplib::Request &q, httplib::Response &r) { onFile(q, r); });
}

DeviceService::~DeviceService()
{
    stop();
}

bool DeviceService::start(QString *error)
{
    httplib::Server *servers[3] = {&xctl_, &mps_, &http_};
    int *ports[3] = {&device_.xctlPort, &device_.mpsPort, &device_.httpPort};
    const std::string host = host_.toStdString();
    for (int i = 0; i < 3; ++i) {
        int port = *ports[i];
        if (port == 0)
            port = servers[i]->bind_to_any_port(host);
        else if (!servers[i]->bind_to_port(host, port))
            port = -1;
        if (port <= 0) {
            *error = QStringLiteral("device %1: cannot listen on %2:%3")
                         .arg(device_.id, host_)
                         .arg(*ports[i]);
            return false;
        }
        *ports[i] = port;
    }
    for (int i = 0; i < 3; ++i)
        threads_[i] = LabHttp::serve(*servers[i]);
    return true;
}

void DeviceService::stop()
{
    xctl_.stop();
    mps_.stop();
    http_.stop();
    for (std::thread &t : threads_)
        if (t.joinable())
            t.join();
}

bool DeviceService::isOnline() const
{
    return device_.online && !faults_->at(device_.id, QStringLiteral("device")).offline;
}

bool DeviceService::ownsPort(int port) const
{
    return port == device_.xctlPort || port == device_.mpsPort || port == device_.httpPort;
}

std::shared_ptr<const MediaIndex> DeviceService::index()
{
    std::lock_guard<std::mutex> lock(indexMutex_);
    const auto now = std::chrono::steady_clock::now();
    if (!index_ || now - indexTime_ > std::chrono::seconds(2)) {
        auto fresh = std::make_shared<MediaIndex>();
        fresh->scan(fs_);
        index_ = fresh;
        indexTime_ = now;
    }
    return index_;
}

void DeviceService::invalidate()
{
    std::lock_guard<std::mutex> lock(indexMutex_);
    index_.reset();
}

void DeviceService::onQuery(const httplib::Request &req, httplib::Response &res)
{
    const LabHttp::Params p = LabHttp::params(req);
    const QString opt = p.value(QStringLiteral("opt"));
    const Faults f = faults_->at(device_.id, QStringLiteral("xctl"), opt);
    f.sleepDelay();
    if (opt == QLatin1String("getfiledata")) {
        fileData(req, res, p, f);
        return;
    }
    QJsonObject reply;
    if (opt == QLatin1String("querydir"))
        reply = queryDir(p);
    else if (opt == QLatin1String("get"))
        reply = fileList(req, p);
    else if (opt == QLatin1String("getrealvideo"))
        reply = realVideo(req, p);
    else if (opt == QLatin1String("delfileex"))
        reply = deleteFiles(p);
    else if (opt == QLatin1String("getusbinfo"))
        reply = usbInfo();
    else
        reply = rtnOnly(1, QStringLiteral("unknown opt"));
    if (f.hasRtn)
        reply.insert(QStringLiteral("rtn"), f.rtn);
    LabHttp::sendJson(res, reply, f);
}

QJsonObject DeviceService::queryDir(const LabHttp::Params &p)
{
    DeviceFs::Location loc;
    const QString requested = p.value(QStringLiteral("path"));
    if (!fs_.resolve(requested, &loc))
        return rtnOnly(2, QStringLiteral("no such folder"));
    struct Entry
    {
        QString name;
        bool dir;
        qint64 time;
        qint64 size;
    };
    QVector<Entry> entries;
    if (loc.top) {
        for (const LabPartition &part : fs_.partitions()) {
            const QFileInfo info(part.folder);
            entries.append({part.mount, true, info.lastModified().toSecsSinceEpoch(), 0});
        }
    } else {
        const QFileInfo dirInfo(loc.hostPath);
        if (!dirInfo.isDir())
            return rtnOnly(2, QStringLiteral("no such folder"));
        const QFileInfoList list =
            QDir(loc.hostPath)
                .entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                               QDir::DirsFirst | QDir::Name);
        for (const QFileInfo &info : list) {
            // Uploads in progress are not shown.
            if (info.fileName().startsWith(QLatin1Char('.')) &&
                info.fileName().endsWith(QLatin1String(".labpart")))
                continue;
            entries.append({info.fileName(), info.isDir(), info.lastModified().toSecsSinceEpoch(),
                            info.isDir() ? 0 : info.size()});
        }
    }
    int first = 0, last = 0;
    pageOf(p, entries.size(), &first, &last);
    QJsonArray filelist;
    for (int i = first; i < last; ++i) {
        const Entry &e = entries[i];
        filelist.append(QJsonObject{{"attribute", e.dir ? "0x01" : "0x20"},
                                    {"name", e.name},
                                    {"time", static_cast<double>(e.time)},
                                    {"size", static_cast<double>(e.size)}});
    }
    return QJsonObject{
        {"rtn", 0}, {"total", entries.size()}, {"path", loc.devicePath}, {"filelist", filelist}};
}

QJsonObject DeviceService::fileList(const httplib::Request &, const LabHttp::Params &p)
{
    const int type = intParam(p, QStringLiteral("type"), 0);
    const auto idx = index();
    QVector<MediaIndex::File> none;
    const QVector<MediaIndex::File> &files = type == kPictureType    ? idx->pictures()
                                             : type == kDocumentType ? idx->documents()
                                                                     : none;
    int first = 0, last = 0;
    pageOf(p, files.size(), &first, &last);
    QJsonArray list;
    for (int i = first; i < last; ++i)
        list.append(QJsonObject{{"path", files[i].devicePath},
                                {"name", files[i].name},
                                {"time", static_cast<double>(files[i].time)},
                                {"size", static_cast<double>(files[i].size)}});
    return QJsonObject{{"rtn", 0}, {"total", files.size()}, {"albumlist", list}};
}

QJsonObject DeviceService::realVideo(const httplib::Request &req, const LabHttp::Params &p)
{
    const int seriesId = intParam(p, QStringLiteral("seriesid"), -1);
    const auto idx = index();
    QJsonArray all;
    auto videoEntry = [&](const MediaIndex::File &v) {
        return QJsonObject{{"type", 1},
                           {"videoname", LabHttp::encodePath(baseName(v.name))},
                           {"filepath", LabHttp::encodePath(v.devicePath)},
                           {"fileid", v.fileid},
                           {"cid", QString()},
                           {"time", static_cast<double>(v.time)},
                           {"filesize", static_cast<double>(v.size)},
                           {"imgpath", posterUrl(req, QStringLiteral("v-") + v.fileid, 0)}};
    };
    if (seriesId == kAllVideosFlat) {
        for (const MediaIndex::File &v : idx->videos())
            all.append(videoEntry(v));
    } else if (seriesId >= 0) {
        const MediaIndex::Series *s = idx->seriesById(seriesId);
        if (!s)
            return rtnOnly(2, QStringLiteral("no such series"));
        for (int v : s->videos)
            all.append(videoEntry(idx->videos()[v]));
    } else {
        // Series sit among the single videos at the time of their newest video.
        QVector<QPair<qint64, QJsonObject>> rows;
        for (const MediaIndex::File &v : idx->videos())
            if (v.series < 0)
                rows.append({v.time, videoEntry(v)});
        for (const MediaIndex::Series &s : idx->series())
            rows.append(
                {s.time,
                 QJsonObject{{"type", 2},
                             {"seriesname", LabHttp::encodePath(s.name)},
                             {"filecount", s.videos.size()},
                             {"seriesid", s.id},
                             {"time", static_cast<double>(s.time)},
                             {"imagepath", posterUrl(req, QStringLiteral("s-%1").arg(s.id), 0)}}});
        std::stable_sort(rows.begin(), rows.end(),
                         [](const auto &a, const auto &b) { return a.first > b.first; });
        for (const auto &r : rows)
            all.append(r.second);
    }
    int first = 0, last = 0;
    pageOf(p, all.size(), &first, &last);
    QJsonArray page;
    for (int i = first; i < last; ++i)
        page.append(all[i]);
    return QJsonObject{
        {"rtn", 0}, {"videototle", QString::number(all.size())}, {"videolist", page}};
}

QJsonObject DeviceService::deleteFiles(const LabHttp::Params &p)
{
    QJsonArray results;
    for (const QString &path :
         p.value(QStringLiteral("filelist")).split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        DeviceFs::Location loc;
        QString result;
        if (!fs_.resolve(path, &loc) || loc.top || loc.partitionRoot ||
            fs_.partitions()[loc.partition].readonly) {
            result = QStringLiteral("3");
            // A path that names nothing on the disks is reported missing, not forbidden.
            if (!path.startsWith(DeviceFs::topFolder() + QLatin1Char('/')))
                result = QStringLiteral("2");
        } else {
            const QFileInfo info(loc.hostPath);
            if (!info.exists() && !info.isSymLink())
                result = QStringLiteral("2");
            else if (info.isDir() && !info.isSymLink())
                result = QDir(loc.hostPath).removeRecursively() ? QStringLiteral("0")
                                                                : QStringLiteral("1");
            else
                result = QFile::remove(loc.hostPath) ? QStringLiteral("0") : QStringLiteral("1");
        }
        results.append(QJsonObject{{"path", path}, {"result", result}});
    }
    invalidate();
    return QJsonObject{{"rtn", 0}, {"resultlist", results}};
}

QJsonObject DeviceService::usbInfo()
{
    QJsonArray disks;
    QString currentDisk;
    QJsonArray partitions;
    auto flush = [&] {
        if (!partitions.isEmpty())
            disks.append(QJsonObject{{"name", currentDisk}, {"Partitionlist", partitions}});
        partitions = QJsonArray();
    };
    for (int i = 0; i < fs_.partitions().size(); ++i) {
        const LabPartition &part = fs_.partitions()[i];
        if (part.disk != currentDisk || i == 0) {
            flush();
            currentDisk = part.disk;
        }
        partitions.append(QJsonObject{{"name", part.name},
                                      {"letter", part.letter},
                                      {"path", DeviceFs::topFolder() + '/' + part.mount},
                                      {"size", static_cast<double>(part.size)},
                                      {"used", static_cast<double>(fs_.usedBytes(i))}});
    }
    flush();
    return QJsonObject{{"rtn", 0}, {"disklist", disks}};
}

void DeviceService::fileData(const httplib::Request &req, httplib::Response &res,
                             const LabHttp::Params &p, const Faults &f)
{
    DeviceFs::Location loc;
    if (!fs_.resolve(p.value(QStringLiteral("path")), &loc) || loc.hostPath.isEmpty() ||
        !QFileInfo(loc.hostPath).isFile()) {
        res.status = 404;
        res.set_content("no such file", "text/plain");
        return;
    }
    const int order = intParam(p, QStringLiteral("order"), 0);
    if (order == 3) {
        LabHttp::sendFile(req, res, loc.hostPath, f);
        return;
    }
    if (order != 1) {
        res.status = 400;
        res.set_content("unknown order", "text/plain");
        return;
    }
    const QFileInfo info(loc.hostPath);
    const QString key = QStringLiteral("%1|%2|%3")
                            .arg(loc.hostPath)
                            .arg(info.lastModified().toMSecsSinceEpoch())
                            .arg(info.size());
    QByteArray png;
    {
        std::lock_guard<std::mutex> lock(thumbMutex_);
        if (const QByteArray *cached = thumbs_.object(key))
            png = *cached;
    }
    if (png.isEmpty()) {
        if (MediaIndex::isVideo(info.fileName()))
            png = LabImages::png(LabImages::poster(baseName(info.fileName()), false, 120, 160));
        else
            png = LabImages::thumbnail(loc.hostPath);
        if (png.isEmpty()) {
            res.status = 415;
            res.set_content("not a picture", "text/plain");
            return;
        }
        std::lock_guard<std::mutex> lock(thumbMutex_);
        thumbs_.insert(key, new QByteArray(png), png.size());
    }
    LabHttp::sendBytes(res, png, "image/png", f);
}

void DeviceService::onMkdir(const httplib::Request &req, httplib::Response &res)
{
    const LabHttp::Params p = LabHttp::params(req);
    const QString opt = p.value(QStringLiteral("opt"));
    const Faults f = faults_->at(device_.id, QStringLiteral("xctl"), opt);
    f.sleepDelay();
    QJsonObject reply;
    DeviceFs::Location loc;
    if (opt != QLatin1String("recursive_mkdir")) {
        reply = rtnOnly(1, QStringLiteral("unknown opt"));
    } else if (!fs_.resolve(p.value(QStringLiteral("dirpath")), &loc) || loc.top) {
        reply = rtnOnly(2, QStringLiteral("bad path"));
    } else if (fs_.partitions()[loc.partition].readonly) {
        reply = rtnOnly(3, QStringLiteral("read-only"));
    } else if (QFileInfo(loc.hostPath).isFile() || !QDir().mkpath(loc.hostPath)) {
        reply = rtnOnly(1, QStringLiteral("cannot create"));
    } else {
        reply = QJsonObject{{"rtn", 0}, {"path", loc.devicePath}};
        invalidate();
    }
    if (f.hasRtn)
        reply.insert(QStringLiteral("rtn"), f.rtn);
    LabHttp::sendJson(res, reply, f);
}

void DeviceService::onUpload(const httplib::Request &req, httplib::Response &res,
                             const httplib::ContentReader &reader)
{
    const LabHttp::Params p = LabHttp::params(req);
    const Faults f = faults_->at(device_.id, QStringLiteral("mps"), QStringLiteral("upload"));
    f.sleepDelay();
    const QString name = p.value(QStringLiteral("file"));
    DeviceFs::Location loc;
    QJsonObject refusal;
    if (!validFileName(name))
        refusal = rtnOnly(2, QStringLiteral("bad file name"));
    else if (!fs_.resolve(p.value(QStringLiteral("uploadpath")), &loc) || loc.top)
        refusal = rtnOnly(2, QStringLiteral("bad upload path"));
    else if (fs_.partitions()[loc.partition].readonly)
        refusal = rtnOnly(3, QStringLiteral("read-only"));
    else if (!QDir().mkpath(loc.hostPath))
        refusal = rtnOnly(1, QStringLiteral("cannot create folder"));
    if (!refusal.isEmpty()) {
        drain(req, reader);
        LabHttp::sendJson(res, refusal, f);
        return;
    }
    const QString temp = loc.hostPath + QStringLiteral("/.") + name + QLatin1Char('.') +
                         QUuid::createUuid().toString(QUuid::Id128).left(8) +
                         QStringLiteral(".labpart");
    std::FILE *out = std::fopen(QFile::encodeName(temp).constData(), "wb");
    if (!out) {
        drain(req, reader);
        LabHttp::sendJson(res, rtnOnly(1, QStringLiteral("cannot write")), f);
        return;
    }
    qint64 received = 0;
    bool writeFailed = false;
    const auto start = std::chrono::steady_clock::now();
    auto sink = [&](const char *data, size_t len) {
        if (f.dropAfterBytes >= 0 && received + static_cast<qint64>(len) > f.dropAfterBytes)
            return false;
        if (std::fwrite(data, 1, len, out) != len) {
            writeFailed = true;
            return false;
        }
        received += static_cast<qint64>(len);
        if (f.rateLimit > 0)
            std::this_thread::sleep_until(
                start + std::chrono::microseconds(received * 1000000 / f.rateLimit));
        return true;
    };
    bool ok;
    if (req.is_multipart_form_data()) {
        int part = -1;
        ok = reader(
            [&](const httplib::MultipartFormData &) {
                ++part;
                return true;
            },
            [&](const char *data, size_t len) { return part == 0 ? sink(data, len) : true; });
    } else {
        ok = reader(sink);
    }
    const bool closed = std::fclose(out) == 0;
    if (!ok || writeFailed || !closed) {
        QFile::remove(temp);
        LabHttp::sendJson(res, rtnOnly(1, QStringLiteral("upload incomplete")), f);
        return;
    }
    QString target = loc.hostPath + QLatin1Char('/') + name;
    if (p.value(QStringLiteral("opt")) != QLatin1String("overwrite")) {
        const QString stem = baseName(name);
        const QString ext = name.mid(stem.size());
        for (int n = 1; QFileInfo::exists(target); ++n)
            target = loc.hostPath + QLatin1Char('/') + stem + QStringLiteral(" (%1)").arg(n) + ext;
    } else if (QFileInfo(target).isDir()) {
        QFile::remove(temp);
        LabHttp::sendJson(res, rtnOnly(1, QStringLiteral("a folder has that name")), f);
        return;
    }
    if (std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(target).constData()) !=
        0) {
        QFile::remove(temp);
        LabHttp::sendJson(res, rtnOnly(1, QStringLiteral("cannot store")), f);
        return;
    }
    invalidate();
    LabHttp::sendJson(res,
                      QJsonObject{{"rtn", 0},
                                  {"path", fs_.devicePathOf(loc.partition, target)},
                                  {"size", static_cast<double>(received)}},
                      f);
}

void DeviceService::onFile(const httplib::Request &req, httplib::Response &res)
{
    const Faults f = faults_->at(device_.id, QStringLiteral("http"));
    f.sleepDelay();
    const size_t q = req.target.find('?');
    const QString path =
        LabHttp::percentDecode(QByteArray::fromStdString(req.target.substr(0, q)), false);
    DeviceFs::Location loc;
    if (!fs_.resolve(path, &loc) || loc.hostPath.isEmpty()) {
        res.status = 404;
        res.set_content("not found", "text/plain");
        return;
    }
    LabHttp::sendFile(req, res, loc.hostPath, f);
}

QString DeviceService::posterUrl(const httplib::Request &req, const QString &key, int hop) const
{
    const QString hostHeader = QString::fromStdString(req.get_header_value("Host"));
    const int colon = hostHeader.lastIndexOf(QLatin1Char(':'));
    const QString hostName = colon > 0 ? hostHeader.left(colon) : hostHeader;
    const int port = colon > 0 ? hostHeader.mid(colon + 1).toInt() : 80;
    QString url;
    if (ownsPort(port) || hostHeader.isEmpty()) {
        const QString name = hostName.isEmpty() ? host_ : hostName;
        url = QStringLiteral("http://%1:%2/poster/%3.png").arg(name).arg(device_.httpPort).arg(key);
        if (hop > 0)
            url += QStringLiteral("?hop=%1").arg(hop);
    } else {
        // Came in through the relay: the poster goes back the same way.
        url = QStringLiteral("http://%1/poster/%2.png?x-qm-devid=%3&x-qm-pri=1&x-qm-port=%4")
                  .arg(hostHeader, key, device_.id)
                  .arg(device_.httpPort);
        if (hop > 0)
            url += QStringLiteral("&hop=%1").arg(hop);
    }
    return url;
}

QByteArray DeviceService::posterPng(const QString &key)
{
    const auto idx = index();
    if (key.startsWith(QLatin1String("v-"))) {
        if (const MediaIndex::File *v = idx->videoById(key.mid(2)))
            return LabImages::png(LabImages::poster(baseName(v->name), false));
    } else if (key.startsWith(QLatin1String("s-"))) {
        if (const MediaIndex::Series *s = idx->seriesById(key.mid(2).toInt()))
            return LabImages::png(LabImages::poster(s->name, true));
    }
    return QByteArray();
}

void DeviceService::onPoster(const httplib::Request &req, httplib::Response &res)
{
    const Faults f = faults_->at(device_.id, QStringLiteral("http"), QStringLiteral("poster"));
    f.sleepDelay();
    const LabHttp::Params p = LabHttp::params(req);
    QString key = QString::fromStdString(req.path).mid(8); // after "/poster/"
    if (key.endsWith(QLatin1String(".png")))
        key.chop(4);
    const int hop = intParam(p, QStringLiteral("hop"), 0);
    if (device_.posterRedirects < 0 || hop < device_.posterRedirects) {
        res.set_redirect(
            posterUrl(req, key, device_.posterRedirects < 0 ? hop : hop + 1).toStdString(), 302);
        return;
    }
    const QByteArray png = posterPng(key);
    if (png.isEmpty()) {
        res.status = 404;
        res.set_content("no such poster", "text/plain");
        return;
    }
    LabHttp::sendBytes(res, png, "image/png", f);
}
