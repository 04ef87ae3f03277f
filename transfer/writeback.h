#ifndef KELVORA_WRITEBACK_H
#define KELVORA_WRITEBACK_H

#include <QtGlobal>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class QObject;

// Pushes what a writer appends to a file onto the disk behind it, on a thread of its own, and
// tells how far the disk has got. A download writes as fast as the network delivers; the disk
// may be slower. Waiting here instead of in the writer keeps the GUI thread free, and the
// writer holding back while backlog() is large keeps every later sync short.
//
// Linux only (sync_file_range); elsewhere nothing is pushed and backlog() is always 0.
class Writeback
{
public:
    Writeback() = default;
    Writeback(const Writeback &) = delete;
    Writeback &operator=(const Writeback &) = delete;
    ~Writeback() { stop(); }

    // Starts following the open file descriptor fd, whose first `from` bytes count as on disk.
    // listener runs on context's thread each time more reached the disk.
    void start(int fd, qint64 from, QObject *context, std::function<void()> listener);
    void stop();
    // Follows the same file again after the writer cut it to `from` bytes.
    void restart(qint64 from);
    // The writer's file now has this length.
    void written(qint64 length);
    // Bytes written but not yet known to be on the disk.
    qint64 backlog() const { return queuedTo.load() - doneTo.load(); }

private:
    void run();

    int fd = -1;
    QObject *context = nullptr; // outlives the thread: stop() joins it
    std::function<void()> listener;
    std::thread worker;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    std::atomic<qint64> queuedTo{0};
    std::atomic<qint64> doneTo{0};
};

#endif
