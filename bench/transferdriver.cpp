// Runs transfers with the engine and no window, for the benchmark and for tests that end a
// transferring process from outside:
//   transferdriver download REMOTE LOCAL SIZE   DEVICE...
//   transferdriver upload   LOCAL REMOTEFOLDER  DEVICE...
//   transferdriver resume                       DEVICE...   (the device's stored transfers)
// DEVICE: --id ID --host ADDR --mps-port N --http-port N [--relay-port N]
// Prints "state STATUS BYTES TOTAL" at every status change (and "reason TEXT" after a failure,
// as the user is told) and ends with
// "done STATUS SECONDS LOCALPATH" once every transfer ended, then "gui-stall MS": the longest
// time the event loop was held up meanwhile. Exit code 0 when all completed.
#include "device/devicerecord.h"
#include "platform/quitsignals.h"
#include "store/database.h"
#include "transfer/taskmanager.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

namespace {

int usage()
{
    std::fputs("usage: transferdriver download REMOTE LOCAL SIZE | upload LOCAL REMOTEFOLDER | "
               "resume  --id ID --host ADDR --mps-port N --http-port N [--relay-port N]\n",
               stderr);
    return 2;
}

bool ended(const Task *task)
{
    return task->status() == Task::Complete || task->status() == Task::Failed ||
           task->status() == Task::Paused;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    DeviceRecord device;
    QStringList plain;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        const QString value = i + 1 < args.size() ? args[i + 1] : QString();
        if (a == QLatin1String("--id"))
            device.deviceid = value;
        else if (a == QLatin1String("--host"))
            device.intraip = device.serverip = value;
        else if (a == QLatin1String("--mps-port"))
            device.mps_port = quint16(value.toUInt());
        else if (a == QLatin1String("--http-port"))
            device.http_port = quint16(value.toUInt());
        else if (a == QLatin1String("--relay-port"))
            device.serverport = quint16(value.toUInt());
        else {
            plain.append(a);
            continue;
        }
        ++i;
    }
    device.isLocal = device.serverport == 65535;
    const QString mode = plain.value(0);
    if (device.deviceid.isEmpty() || !((mode == QLatin1String("download") && plain.size() == 4) ||
                                       (mode == QLatin1String("upload") && plain.size() == 3) ||
                                       (mode == QLatin1String("resume") && plain.size() == 1)))
        return usage();

    quitOnTerminationSignals();
    InitDatabase();
    TaskManager manager([&device] { return &device; });
    QElapsedTimer clock;
    // A window would freeze for as long as a tick comes late.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longestGap = qMax(longestGap, sinceTick.restart()); });
    sinceTick.start();
    ticker.start(10);
    bool allComplete = true;
    QString lastPath;
    auto check = [&] {
        const QList<Task *> tasks = manager.downloadList() + manager.uploadList();
        for (const Task *task : tasks) {
            if (!ended(task))
                return;
        }
        for (const Task *task : tasks)
            allComplete = allComplete && task->status() == Task::Complete;
        std::printf("done %d %.3f %s\ngui-stall %lld\n",
                    allComplete ? int(Task::Complete) : int(Task::Failed),
                    clock.nsecsElapsed() / 1e9, qUtf8Printable(lastPath), longestGap);
        std::fflush(stdout);
        QCoreApplication::quit();
    };
    QObject::connect(&manager, &TaskManager::StateChanged, &manager, [&](Task *task) {
        lastPath = task->localPath();
        std::printf("state %d %lld %lld\n", task->status(), task->bytesCompleted(),
                    task->bytesTotal());
        if (task->status() == Task::Failed)
            std::printf("reason %s\n", qUtf8Printable(task->failureReason()));
        std::fflush(stdout);
        if (ended(task))
            QMetaObject::invokeMethod(&manager, check, Qt::QueuedConnection);
    });

    clock.start();
    if (mode == QLatin1String("download"))
        manager.createTask(device.deviceid, Task::Download, plain[1], plain[2],
                           plain[3].toLongLong());
    else if (mode == QLatin1String("upload"))
        manager.createTask(device.deviceid, Task::Upload, plain[2], plain[1], 0);
    else
        manager.OnCurrentDeviceChanged();
    if (manager.downloadList().isEmpty() && manager.uploadList().isEmpty()) {
        std::puts("done 4 0 nothing to do");
        return 1;
    }
    const int result = app.exec();
    manager.saveAll();
    return result == 0 && allComplete ? 0 : 1;
}
