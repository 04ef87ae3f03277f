#include "transfer/writeback.h"

#include <QMetaObject>
#include <QObject>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#endif

namespace {

// The disk is handed at least this much at a time.
const qint64 step = 8 * 1024 * 1024;

} // namespace

void Writeback::start(int descriptor, qint64 from, QObject *receiver,
                      std::function<void()> onProgress)
{
    stop();
    fd = descriptor;
    queuedTo = doneTo = from;
    context = receiver;
    listener = std::move(onProgress);
#ifdef Q_OS_LINUX
    stopping = false;
    worker = std::thread([this] { run(); });
#endif
}

void Writeback::stop()
{
    if (worker.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        wake.notify_one();
        worker.join();
    }
    queuedTo = doneTo.load();
}

void Writeback::restart(qint64 from)
{
    QObject *receiver = context;
    std::function<void()> onProgress = listener;
    start(fd, from, receiver, std::move(onProgress));
}

void Writeback::written(qint64 length)
{
    if (!worker.joinable() || length - queuedTo.load() < step)
        return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        queuedTo = length;
    }
    wake.notify_one();
}

void Writeback::run()
{
#ifdef Q_OS_LINUX
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stopping || queuedTo.load() > doneTo.load(); });
        if (stopping)
            return;
        const qint64 from = doneTo.load(), to = queuedTo.load();
        lock.unlock();
        // Starts writing the range and waits until it is written, without touching what the
        // writer appends meanwhile.
        ::sync_file_range(fd, from, to - from,
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                              SYNC_FILE_RANGE_WAIT_AFTER);
        lock.lock();
        doneTo = to;
        if (context && listener)
            QMetaObject::invokeMethod(context, listener, Qt::QueuedConnection);
    }
#endif
}
