#include "lab/labhttp.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

namespace {

std::atomic<bool> quietLog{false};

// Paces one body to the bandwidth fault and cuts it after drop_after bytes.
struct BodyPacer
{
    Faults faults;
    qint64 sent = 0;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();

    size_t chunk() const
    {
        size_t c = 1024 * 1024;
        if (faults.rateLimit > 0)
            c = static_cast<size_t>(qBound<qint64>(512, faults.rateLimit / 10, 1024 * 1024));
        return c;
    }
    // How many of n bytes may go now; 0 means the connection is to be cut.
    size_t allow(size_t n) const
    {
        if (faults.dropAfterBytes >= 0)
            return static_cast<size_t>(
                qMin<qint64>(static_cast<qint64>(n), faults.dropAfterBytes - sent));
        return n;
    }
    bool dropNow() const { return faults.dropAfterBytes >= 0 && sent >= faults.dropAfterBytes; }
    void account(size_t n)
    {
        sent += static_cast<qint64>(n);
        if (faults.rateLimit <= 0)
            return;
        const auto due = start + std::chrono::microseconds(sent * 1000000 / faults.rateLimit);
        std::this_thread::sleep_until(due);
    }
};

} // namespace

QString LabHttp::percentDecode(const QByteArray &text, bool plusIsSpace)
{
    QByteArray in = text;
    if (plusIsSpace)
        in.replace('+', ' ');
    // With its length: QString::fromUtf8(QByteArray) stops at a NUL, so "a.txt%00.jpg" would
    // pass every check as "a.txt%00.jpg" and then be used as "a.txt". Each path check refuses NUL.
    const QByteArray decoded = QByteArray::fromPercentEncoding(in);
    return QString::fromUtf8(decoded.constData(), decoded.size());
}

QString LabHttp::encodePath(const QString &path)
{
    return QString::fromLatin1(path.toUtf8().toPercentEncoding("/"));
}

LabHttp::Params LabHttp::parseQuery(const std::string &text, bool plusIsSpace)
{
    Params out;
    const QByteArray q = QByteArray::fromStdString(text);
    for (const QByteArray &pair : q.split('&')) {
        if (pair.isEmpty())
            continue;
        const int eq = pair.indexOf('=');
        const QString key = percentDecode(eq < 0 ? pair : pair.left(eq), plusIsSpace);
        const QString value = eq < 0 ? QString() : percentDecode(pair.mid(eq + 1), plusIsSpace);
        if (!out.contains(key))
            out.insert(key, value);
    }
    return out;
}

LabHttp::Params LabHttp::params(const httplib::Request &req)
{
    Params out;
    const size_t q = req.target.find('?');
    if (q != std::string::npos)
        out = parseQuery(req.target.substr(q + 1), false);
    const std::string type = req.get_header_value("Content-Type");
    if (!req.body.empty() && type.find("application/x-www-form-urlencoded") == 0) {
        const Params form = parseQuery(req.body, true);
        for (auto it = form.begin(); it != form.end(); ++it)
            out.insert(it.key(), it.value());
    }
    return out;
}

QString LabHttp::cookie(const httplib::Request &req, const QString &name)
{
    for (size_t i = 0; i < req.get_header_value_count("Cookie"); ++i) {
        const QString all = QString::fromStdString(req.get_header_value("Cookie", i));
        for (const QString &part : all.split(QLatin1Char(';'))) {
            const int eq = part.indexOf(QLatin1Char('='));
            if (eq > 0 && part.left(eq).trimmed() == name)
                return part.mid(eq + 1).trimmed();
        }
    }
    return QString();
}

void LabHttp::sendJson(httplib::Response &res, const QJsonObject &o, const Faults &f, int status)
{
    sendBytes(res, malformed(QJsonDocument(o).toJson(QJsonDocument::Compact), f),
              "application/json; charset=utf-8", f, status);
}

QByteArray LabHttp::malformed(const QByteArray &json, const Faults &f)
{
    if (f.malformedJson == QLatin1String("truncated"))
        return json.left(json.size() / 2);
    if (f.malformedJson == QLatin1String("nonobject"))
        return QByteArrayLiteral("[\"rtn\",0]");
    if (f.malformedJson == QLatin1String("garbage"))
        return QByteArrayLiteral("<html>502 Bad Gateway</html>");
    return json;
}

void LabHttp::sendBytes(httplib::Response &res, const QByteArray &data,
                        const std::string &contentType, const Faults &f, int status)
{
    res.status = status;
    if (f.dropAfterBytes < 0 && f.rateLimit <= 0) {
        res.set_content(data.constData(), static_cast<size_t>(data.size()), contentType);
        return;
    }
    res.set_header("X-Lab-Length", std::to_string(data.size()));
    auto pacer = std::make_shared<BodyPacer>();
    pacer->faults = f;
    const QByteArray copy = data;
    res.set_content_provider(static_cast<size_t>(copy.size()), contentType,
                             [pacer, copy](size_t offset, size_t length, httplib::DataSink &sink) {
                                 size_t n = pacer->allow(qMin(length, pacer->chunk()));
                                 if (n == 0)
                                     return false;
                                 if (!sink.write(copy.constData() + offset, n))
                                     return false;
                                 pacer->account(n);
                                 return true;
                             });
}

std::string LabHttp::contentType(const QString &name)
{
    const QString ext = QFileInfo(name).suffix().toLower();
    static const QMap<QString, std::string> types = {
        {"png", "image/png"},
        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"gif", "image/gif"},
        {"bmp", "image/bmp"},
        {"tif", "image/tiff"},
        {"tiff", "image/tiff"},
        {"avi", "video/x-msvideo"},
        {"mp4", "video/mp4"},
        {"mkv", "video/x-matroska"},
        {"txt", "text/plain; charset=utf-8"},
        {"md", "text/markdown; charset=utf-8"},
        {"html", "text/html; charset=utf-8"},
        {"pdf", "application/pdf"},
        {"js", "application/javascript; charset=utf-8"},
        {"css", "text/css; charset=utf-8"},
        {"json", "application/json; charset=utf-8"},
        {"svg", "image/svg+xml"},
        {"mp3", "audio/mpeg"},
        {"wav", "audio/wav"},
        {"zip", "application/zip"}};
    return types.value(ext, "application/octet-stream");
}

void LabHttp::sendFile(const httplib::Request &req, httplib::Response &res, const QString &hostPath,
                       const Faults &f)
{
    const QFileInfo info(hostPath);
    if (!info.isFile() || !info.isReadable()) {
        res.status = 404;
        res.set_content("not found", "text/plain");
        return;
    }
    const qint64 size = info.size();
    // httplib answers an unsatisfiable range with a bogus 206: refuse it here.
    for (const httplib::Range &r : f.ignoreRange ? httplib::Ranges() : req.ranges) {
        const bool bad = (r.first >= 0 && r.first >= size) || (r.first < 0 && r.second <= 0) ||
                         (r.first >= 0 && r.second >= 0 && r.second < r.first);
        if (bad || size == 0) {
            res.status = 416;
            res.set_header("Content-Range", "bytes */" + std::to_string(size));
            return;
        }
    }
    if (!f.ignoreRange)
        res.set_header("Accept-Ranges", "bytes");
    if (size == 0) {
        res.set_content("", contentType(hostPath));
        return;
    }
    if (req.method == "HEAD") {
        res.set_header("Content-Length", std::to_string(size));
        res.set_header("Content-Type", contentType(hostPath));
        return;
    }
    std::FILE *fp = std::fopen(QFile::encodeName(hostPath).constData(), "rb");
    if (!fp) {
        res.status = 403;
        res.set_content("cannot open", "text/plain");
        return;
    }
    auto file = std::shared_ptr<std::FILE>(fp, [](std::FILE *p) { std::fclose(p); });
    if (req.ranges.size() > 1) {
        // httplib would answer every range as asked (a hundred times the same MiB for one
        // header line) and with a wrong total in each Content-Range. A server may ignore
        // Range: the whole file, once, with 200. The request is httplib's own (non-const)
        // object; the handler only sees it as const.
        const_cast<httplib::Request &>(req).ranges.clear();
        res.status = 200;
    }
    auto pacer = std::make_shared<BodyPacer>();
    pacer->faults = f;
    auto buffer = std::make_shared<std::vector<char>>(pacer->chunk());
    if (f.ignoreRange && !req.ranges.empty()) {
        const_cast<httplib::Request &>(req).ranges.clear(); // not a multipart answer either
        // A server that does not do ranges: the whole file, 200, in one stream.
        res.status = 200;
        res.set_header("X-Lab-Length", std::to_string(size));
        res.set_content_provider(
            contentType(hostPath), [file, pacer, buffer](size_t offset, httplib::DataSink &sink) {
                const size_t want = pacer->allow(buffer->size());
                if (want == 0)
                    return false;
                if (std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) != 0)
                    return false;
                const size_t got = std::fread(buffer->data(), 1, want, file.get());
                if (got == 0) {
                    sink.done();
                    return true;
                }
                if (!sink.write(buffer->data(), got))
                    return false;
                pacer->account(got);
                return true;
            });
        return;
    }
    qint64 sending = size;
    if (req.ranges.size() == 1) {
        const httplib::Range r = req.ranges.front();
        const qint64 first = r.first < 0 ? qMax<qint64>(0, size - r.second) : r.first;
        const qint64 last =
            r.first < 0 || r.second < 0 ? size - 1 : qMin<qint64>(r.second, size - 1);
        sending = last - first + 1;
    }
    res.set_header("X-Lab-Length", std::to_string(sending));
    res.set_content_provider(
        static_cast<size_t>(size), contentType(hostPath),
        [file, pacer, buffer](size_t offset, size_t length, httplib::DataSink &sink) {
            const size_t want = pacer->allow(qMin(length, buffer->size()));
            if (want == 0)
                return false;
            if (std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) != 0)
                return false;
            const size_t got = std::fread(buffer->data(), 1, want, file.get());
            if (got == 0)
                return false;
            if (!sink.write(buffer->data(), got))
                return false;
            pacer->account(got);
            return true;
        });
}

void LabHttp::setQuiet(bool quiet)
{
    quietLog = quiet;
}

bool LabHttp::logging()
{
    return !quietLog;
}

void LabHttp::prepare(httplib::Server &server, const QString &place, int threads)
{
    const std::string name = place.toStdString();
    server.new_task_queue = [threads] {
        return new httplib::ThreadPool(static_cast<size_t>(threads));
    };
    server.set_read_timeout(30, 0);
    server.set_keep_alive_timeout(2);
    server.set_write_timeout(30, 0);
    server.set_logger([name](const httplib::Request &req, const httplib::Response &res) {
        if (!quietLog)
            std::fprintf(stderr, "%s %s %s %d %zu\n", name.c_str(), req.method.c_str(),
                         req.target.c_str(), res.status,
                         res.body.empty()
                             ? static_cast<size_t>(std::strtoull(
                                   res.get_header_value("X-Lab-Length").c_str(), nullptr, 10))
                             : res.body.size());
    });
    server.set_exception_handler(
        [](const httplib::Request &, httplib::Response &res, std::exception_ptr) {
            res.status = 500;
            res.set_content("internal error", "text/plain");
        });
}

std::thread LabHttp::serve(httplib::Server &server)
{
    auto ended = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([&server, ended] {
        server.listen_after_bind();
        *ended = true;
    });
    while (!server.is_running() && !*ended)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return thread;
}
