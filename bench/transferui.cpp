// The transfer pages under load, for bench/transferui.sh: 1,000 downloads queued through the
// main window's own download action, the first of them a big file, the window showing the
// download list. Or, with --engine-only, the same big download with the task manager alone.
//   transferui --folder DIR --big REMOTE SIZE --small REMOTEFOLDER COUNT SIZE  (the window)
//   transferui --engine-only --folder DIR --big REMOTE SIZE --id ID --port HTTP_PORT
// Prints "queue-ms MS" (the window: the time the 1,000 downloads took to queue), then for the
// big download "cpu-s SECONDS" (this process, from its start to its end), "start-stall-ms MS"
// (the longest hold-up of the event loop until it first turned quickly), "stall-ms MS" (the
// longest after that, while the progress flowed), "stalls-over-50ms N", "wall-s S", and
// "t-start"/"t-end" (CLOCK_MONOTONIC seconds, to cut a profile to the download); the window
// also prints "rows N" and, after the small downloads, "finish-stall-ms MS".
#include "app/extensions.h"
#include "app/mainwidget.h"
#include "app/transferactions.h"
#include "browse/fileentry.h"
#include "device/devicerecord.h"
#include "store/database.h"
#include "transfer/tasklistwidget.h"
#include "transfer/taskmanager.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTimer>

#include <sys/resource.h>
#include <time.h>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double monotonic()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

// The longest gap between ticks of a 10 ms timer: how long the window could not react. The
// first quick tick (under 25 ms) ends the start, whose longest gap is kept apart: the work
// queued just before (a thousand new rows laid out and painted) is not the progress's.
class StallMeter
{
public:
    StallMeter()
    {
        QObject::connect(&ticker, &QTimer::timeout, [this] {
            const qint64 gap = sinceTick.restart();
            if (settling) {
                startLongest = qMax(startLongest, gap);
                settling = gap >= 25;
                return;
            }
            longest = qMax(longest, gap);
            if (gap > 50)
                ++over50;
        });
    }
    void start()
    {
        longest = over50 = startLongest = 0;
        settling = true;
        sinceTick.start();
        ticker.start(10);
    }
    QTimer ticker;
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    qint64 startLongest = 0;
    bool settling = true;
    int over50 = 0;
};

QString arg(const QStringList &args, const QString &name, int offset = 1)
{
    const int at = args.indexOf(name);
    return at >= 0 ? args.value(at + offset) : QString();
}

void print(const char *format, double value)
{
    std::printf(format, value);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The engine alone has no window, not even a display.
    bool engineOnly = false;
    for (int i = 1; i < argc; ++i)
        engineOnly = engineOnly || QByteArray(argv[i]) == "--engine-only";
    std::unique_ptr<QCoreApplication> app(engineOnly ? new QCoreApplication(argc, argv)
                                                     : new QApplication(argc, argv));
    const QStringList args = app->arguments();
    const QString folder = arg(args, "--folder");
    const QString bigRemote = arg(args, "--big");
    const qint64 bigSize = arg(args, "--big", 2).toLongLong();
    const QString bigLocal = folder + "/big.bin";
    StallMeter meter;
    QElapsedTimer wall;
    double cpuAtStart = 0;
    int result = 1;

    // Reports the big download's figures once it ends; then `next`.
    auto watch = [&](Task *big, std::function<void()> next) {
        const auto changed = [&, big, next] {
            if (big->status() == Task::Running && !wall.isValid()) {
                cpuAtStart = cpuSeconds();
                print("t-start %.3f\n", monotonic());
                wall.start();
                meter.start();
            } else if (big->status() == Task::Complete || big->status() == Task::Failed) {
                meter.ticker.stop();
                print("cpu-s %.3f\n", cpuSeconds() - cpuAtStart);
                print("t-end %.3f\n", monotonic());
                print("start-stall-ms %.0f\n", meter.startLongest);
                print("stall-ms %.0f\n", meter.longest);
                print("stalls-over-50ms %.0f\n", meter.over50);
                print("wall-s %.3f\n", wall.nsecsElapsed() / 1e9);
                result = big->status() == Task::Complete ? 0 : 1;
                QTimer::singleShot(0, next);
            }
        };
        QObject::connect(big, &Task::StateChanged, changed);
        // It may have started as it was queued.
        changed();
    };

    if (engineOnly) {
        DeviceRecord device;
        device.deviceid = arg(args, "--id");
        device.intraip = device.serverip = QStringLiteral("127.0.0.1");
        device.http_port = quint16(arg(args, "--port").toUInt());
        device.isLocal = true;
        InitDatabase();
        TaskManager manager([&device] { return &device; });
        Task *big =
            manager.createTask(device.deviceid, Task::Download, bigRemote, bigLocal, bigSize);
        watch(big, [] { QCoreApplication::quit(); });
        app->exec();
        manager.saveAll();
        return result;
    }

    fillExtensionSets();
    MainWidget window;
    window.show();
    auto *actions = window.findChild<TransferActions *>();
    auto *rows = window.findChild<TaskListWidget *>("downloadListWidget");
    auto *manager = window.findChild<TaskManager *>();
    // The device answers on the LAN; choosing it is what the window does on a double click.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *local = window.findChild<QListWidget *>("localDeviceListWidget");
        if (!local || local->count() == 0)
            return;
        poll.stop();
        window.deviceItemDClicked(local->item(0));
        window.topButtonClicked(1);
        window.taskLeftButtonClicked(1);

        // The selection the download action reads: the big file first, then the small ones.
        auto *selection = new QListWidget;
        selection->setSelectionMode(QAbstractItemView::MultiSelection);
        auto add = [selection](const QString &path, quint64 size) {
            auto *item = new QListWidgetItem(selection, FileEntryType);
            item->setData(KindRole, PlainFileKind);
            item->setData(PathRole, path);
            item->setData(SizeRole, size);
            item->setSelected(true);
        };
        add(bigRemote, quint64(bigSize));
        const QString smallFolder = arg(args, "--small");
        const int count = arg(args, "--small", 2).toInt();
        for (int i = 0; i < count; ++i)
            add(QStringLiteral("%1/f%2.bin").arg(smallFolder).arg(i, 4, 10, QLatin1Char('0')),
                arg(args, "--small", 3).toULongLong());
        QElapsedTimer queueing;
        queueing.start();
        const int queued = actions->downloadInto(folder, selection);
        print("queue-ms %.0f\n", queueing.elapsed());
        print("rows %.0f\n", rows->count());
        if (queued != count + 1 || manager->downloadList().isEmpty()) {
            std::puts("not queued");
            QCoreApplication::exit(1);
            return;
        }
        watch(manager->downloadList().first(), [&, count] {
            // Then the small ones, each moving its row below the completed header.
            meter.start();
            auto *done = new QTimer(&window);
            QObject::connect(done, &QTimer::timeout, [&, count, done] {
                if (rows->completedCount() < count + 1)
                    return;
                done->stop();
                meter.ticker.stop();
                print("finish-stall-ms %.0f\n", qMax(meter.longest, meter.startLongest));
                QCoreApplication::exit(result);
            });
            done->start(100);
        });
    });
    poll.start(100);
    return app->exec();
}
