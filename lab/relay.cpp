#include "lab/relay.h"

#include "lab/labhttp.h"

#include <QByteArray>
#include <QList>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

bool sendAll(int fd, const char *data, size_t len)
{
    while (len > 0) {
        const ssize_t n = ::send(fd, data, len, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

// Answers with a short text; gives the body's size for the log.
qint64 answer(int fd, int status, const char *reason)
{
    const QByteArray body = QByteArray("relay: ") + reason + "\n";
    const QByteArray head =
        "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
        "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size()) +
        "\r\nConnection: close\r\n\r\n";
    sendAll(fd, head.constData(), static_cast<size_t>(head.size()));
    sendAll(fd, body.constData(), static_cast<size_t>(body.size()));
    return body.size();
}

constexpr size_t kBufferSize = 1024 * 1024;

// A pipe for splice(2): socket to pipe to socket, without copying through user space.
class SplicePipe
{
public:
    SplicePipe()
    {
        if (::pipe2(fds_, O_CLOEXEC) != 0) {
            fds_[0] = fds_[1] = -1;
            return;
        }
        const int size = ::fcntl(fds_[1], F_SETPIPE_SZ, static_cast<int>(kBufferSize));
        capacity_ = size > 0 ? static_cast<size_t>(size) : 65536;
    }
    ~SplicePipe()
    {
        if (fds_[0] >= 0) {
            ::close(fds_[0]);
            ::close(fds_[1]);
        }
    }
    SplicePipe(const SplicePipe &) = delete;
    SplicePipe &operator=(const SplicePipe &) = delete;
    bool valid() const { return fds_[0] >= 0; }

    // Moves what is ready on from (polled readable) to to. Gives the bytes moved, 0 at the end
    // of from, -1 on an error, -2 when splicing is not possible for these descriptors.
    ssize_t move(int from, int to)
    {
        ssize_t n;
        do
            n = ::splice(from, nullptr, fds_[1], nullptr, capacity_,
                         SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
        while (n < 0 && errno == EINTR);
        if (n < 0)
            return errno == EINVAL ? -2 : errno == EAGAIN ? -3 : -1;
        for (size_t left = static_cast<size_t>(n); left > 0;) {
            const ssize_t m = ::splice(fds_[0], nullptr, to, nullptr, left, SPLICE_F_MOVE);
            if (m < 0 && errno == EINTR)
                continue;
            if (m <= 0)
                return -1;
            left -= static_cast<size_t>(m);
        }
        return n;
    }

private:
    int fds_[2] = {-1, -1};
    size_t capacity_ = 0;
};

int connectTo(const QString &host, int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, host.toLatin1().constData(), &addr.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

} // namespace

Relay::Relay(const QString &host, Lookup lookup, FaultPlan *faults)
    : host_(host), lookup_(std::move(lookup)), faults_(faults)
{
}

Relay::~Relay()
{
    stop();
}

bool Relay::start(int port, int maxConnections, QString *error)
{
    maxConnections_ = qMax(1, maxConnections);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, host_.toLatin1().constData(), &addr.sin_addr) != 1 ||
        ::bind(listenFd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 64) != 0) {
        *error = QStringLiteral("relay: cannot listen on %1:%2: %3")
                     .arg(host_)
                     .arg(port)
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::close(listenFd_);
        listenFd_ = -1;
        ::close(stopFd_);
        stopFd_ = -1;
        return false;
    }
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr *>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    running_ = true;
    acceptThread_ = std::thread([this] { acceptLoop(); });
    return true;
}

void Relay::stop()
{
    if (!running_.exchange(false))
        return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t woken = ::write(stopFd_, &one, sizeof one);
    if (acceptThread_.joinable())
        acceptThread_.join();
    ::close(listenFd_);
    std::unique_lock<std::mutex> lock(mutex_);
    for (int fd : open_)
        ::shutdown(fd, SHUT_RDWR);
    ended_.wait(lock, [this] { return active_ == 0; });
    lock.unlock();
    ::close(stopFd_);
}

void Relay::acceptLoop()
{
    while (running_) {
        pollfd p[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(p, 2, -1) <= 0 || (p[1].revents & POLLIN))
            continue;
        const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (active_ >= maxConnections_) {
                // No thread for it: said at once, and the log shows it.
                char drain[4096];
                [[maybe_unused]] const ssize_t n =
                    ::recv(client, drain, sizeof drain, MSG_DONTWAIT);
                answer(client, 503, "Service Unavailable");
                ::shutdown(client, SHUT_WR);
                ::close(client);
                if (LabHttp::logging())
                    std::fprintf(stderr, "relay - - - busy 503 0\n");
                continue;
            }
            ++active_;
            open_.insert(client);
        }
        std::thread([this, client] {
            serve(client);
            untrack(client);
            ::close(client);
            // The last touch of this object: stop() may return (and the relay go) right after.
            std::lock_guard<std::mutex> lock(mutex_);
            --active_;
            ended_.notify_all();
        }).detach();
    }
}

void Relay::track(int fd)
{
    std::lock_guard<std::mutex> lock(mutex_);
    open_.insert(fd);
    if (!running_)
        ::shutdown(fd, SHUT_RDWR); // stop() came first
}

void Relay::untrack(int fd)
{
    std::lock_guard<std::mutex> lock(mutex_);
    open_.erase(fd);
}

void Relay::serve(int client)
{
    // One buffer per connection thread, allocated once.
    static thread_local std::vector<char> buffer(kBufferSize);
    char *const buf = buffer.data();

    // Read the request head.
    QByteArray head;
    int headEnd = -1;
    while (headEnd < 0) {
        pollfd p[2] = {{client, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(p, 2, 30000) <= 0 || (p[1].revents & POLLIN))
            return;
        const ssize_t n = ::recv(client, buf, 64 * 1024, 0);
        if (n <= 0)
            return;
        head.append(buf, static_cast<int>(n));
        headEnd = head.indexOf("\r\n\r\n");
        if (headEnd < 0 && head.size() > 64 * 1024) {
            answer(client, 431, "Request Header Fields Too Large");
            return;
        }
    }
    const QByteArray rest = head.mid(headEnd + 4);
    QList<QByteArray> lines = head.left(headEnd).split('\n');
    for (QByteArray &l : lines)
        if (l.endsWith('\r'))
            l.chop(1);
    const QList<QByteArray> requestLine = lines.value(0).split(' ');
    if (requestLine.size() != 3) {
        answer(client, 400, "Bad Request");
        return;
    }
    const QByteArray target = requestLine[1];
    const int q = target.indexOf('?');
    const LabHttp::Params params =
        q < 0 ? LabHttp::Params() : LabHttp::parseQuery(target.mid(q + 1).toStdString(), false);
    const QString deviceid = params.value(QStringLiteral("x-qm-devid"));
    const int servicePort = params.value(QStringLiteral("x-qm-port")).toInt();
    QString service;
    auto log = [&](int status, qint64 bytes) {
        if (!LabHttp::logging())
            return;
        std::fprintf(stderr, "relay %s %s %s %s %d %lld\n",
                     deviceid.isEmpty() ? "-" : deviceid.toUtf8().constData(),
                     service.isEmpty() ? "-" : service.toUtf8().constData(),
                     requestLine[0].constData(), target.constData(), status,
                     static_cast<long long>(bytes));
    };
    const Faults f = faults_->at(QStringLiteral("relay"), QStringLiteral("relay"));
    f.sleepDelay();
    const int local = lookup_(deviceid, servicePort, &service);
    if (local < 0) {
        log(503, answer(client, 503, "Service Unavailable"));
        return;
    }
    if (local == 0) {
        log(502, answer(client, 502, "Bad Gateway"));
        return;
    }
    const int upstream = connectTo(host_, local);
    if (upstream < 0) {
        log(502, answer(client, 502, "Bad Gateway"));
        return;
    }
    track(upstream);
    // One request per connection: the next request may name another device.
    QByteArray out = lines[0] + "\r\n";
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray name = lines[i].left(lines[i].indexOf(':')).trimmed().toLower();
        if (name == "connection" || name == "keep-alive" || name == "proxy-connection")
            continue;
        out += lines[i] + "\r\n";
    }
    out += "Connection: close\r\n\r\n";
    out += rest;
    if (!sendAll(upstream, out.constData(), static_cast<size_t>(out.size()))) {
        untrack(upstream);
        ::close(upstream);
        log(502, answer(client, 502, "Bad Gateway"));
        return;
    }

    // The answer's head is read here (for the status); its body, and the request body, go
    // through the kernel unless a fault switch paces or cuts the bytes.
    const bool paced = f.rateLimit > 0 || f.dropAfterBytes >= 0;
    SplicePipe up, down;
    bool splicing = !paced && up.valid() && down.valid();
    QByteArray answerHead;
    int status = 0;
    qint64 bodyBytes = 0;
    qint64 forwarded = 0;
    const auto start = std::chrono::steady_clock::now();
    bool clientOpen = true;
    for (;;) {
        pollfd p[3] = {
            {upstream, POLLIN, 0}, {clientOpen ? client : -1, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(p, 3, 60000) <= 0 || (p[2].revents & POLLIN))
            break;
        if (p[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            ssize_t n = splicing ? up.move(client, upstream) : -2;
            if (n == -2) {
                n = ::recv(client, buf, kBufferSize, 0);
                if (n > 0 && !sendAll(upstream, buf, static_cast<size_t>(n)))
                    break;
            }
            if (n == -1)
                break;
            if (n == 0) {
                // Done sending; the answer may still be on its way.
                clientOpen = false;
                ::shutdown(upstream, SHUT_WR);
            }
        }
        if (p[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (status != 0 && splicing) {
                // Drain what is there before polling again.
                ssize_t n;
                while ((n = down.move(upstream, client)) > 0)
                    bodyBytes += n;
                if (n == -3)
                    continue;
                if (n != -2)
                    break;
                splicing = false;
            }
            size_t want = kBufferSize;
            if (f.rateLimit > 0)
                want = static_cast<size_t>(qBound<qint64>(512, f.rateLimit / 10, kBufferSize));
            if (f.dropAfterBytes >= 0)
                want = static_cast<size_t>(
                    qMin<qint64>(static_cast<qint64>(want), f.dropAfterBytes - forwarded));
            if (want == 0)
                break;
            const ssize_t n = ::recv(upstream, buf, want, 0);
            if (n <= 0)
                break;
            if (!sendAll(client, buf, static_cast<size_t>(n)))
                break;
            forwarded += n;
            if (status == 0 && answerHead.size() < 64 * 1024) {
                answerHead.append(buf, static_cast<int>(n));
                const int end = answerHead.indexOf("\r\n\r\n");
                if (end >= 0) {
                    const QList<QByteArray> first = answerHead.left(end).split(' ');
                    status = qMax(1, first.value(1).toInt());
                    bodyBytes += answerHead.size() - (end + 4);
                    answerHead.clear();
                }
            } else {
                bodyBytes += n;
            }
            if (f.rateLimit > 0)
                std::this_thread::sleep_until(
                    start + std::chrono::microseconds(forwarded * 1000000 / f.rateLimit));
        }
    }
    untrack(upstream);
    ::close(upstream);
    if (forwarded == 0 && f.dropAfterBytes != 0) {
        // The service closed without a word.
        status = 502;
        bodyBytes = answer(client, status, "Bad Gateway");
    }
    ::shutdown(client, SHUT_RDWR);
    log(status, bodyBytes);
}
