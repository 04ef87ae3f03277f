// Drives the explorer against a lab device for the browsing benchmark (bench/browse.sh):
//   browsedriver pages  --id ID --port XCTL --path DEVICEPATH   page through a whole folder
//   browsedriver thumbs --id ID --port XCTL --path DEVICEPATH   the same, then scrolls through
//                                                                it a screen at a time
//   browsedriver pictures FOLDER COUNT                           writes COUNT small JPEG files
// Prints "first-page MS CPU" (from the reply's arrival to the page painted: wall time and the
// GUI thread's CPU time), "page MS CPU" for each further page, "rows N", "widgets N" (tiles
// alive at the end), "thumbs MS REQUESTS" (from the listing's start until the last screen's
// tiles have their thumbnails), "gui-stall MS CPU" (the longest time the event loop was held up
// from the first page's arrival on, wall and CPU) and "peak-rss KB".
#include "app/extensions.h"
#include "app/networkmanager.h"
#include "browse/explorer.h"
#include "browse/fileitemicon.h"
#include "browse/filepaths.h"
#include "device/deviceitem.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QNetworkAccessManager>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

class BenchHost : public DeviceHost
{
public:
    DeviceItem *device = nullptr;
    DeviceItem *currentDevice() const override { return device; }
};

// CPU time of the GUI thread: unlike wall time, it does not grow while other processes have the
// cores, so it tells how long the list itself held the event loop.
qint64 threadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

qint64 peakRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

int makePictures(const QString &folder, int count)
{
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        QImage image(640, 480, QImage::Format_RGB32);
        image.fill(QColor::fromHsv((i * 37) % 360, 160, 200));
        QPainter(&image).drawText(image.rect(), Qt::AlignCenter, QString::number(i));
        if (!image.save(QStringLiteral("%1/p%2.jpg").arg(folder).arg(i, 5, 10, QChar('0')), "JPEG",
                        80))
            return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("pictures"))
        return makePictures(args.value(1), args.value(2).toInt());
    const bool thumbs = args.value(0) == QLatin1String("thumbs");
    QString id, path;
    quint16 port = 0;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--id"))
            id = args[i + 1];
        else if (args[i] == QLatin1String("--port"))
            port = quint16(args[i + 1].toUInt());
        else if (args[i] == QLatin1String("--path"))
            path = args[i + 1];
    }
    if (id.isEmpty() || !port || path.isEmpty()) {
        std::fputs("usage: browsedriver pages|thumbs --id ID --port XCTL --path PATH\n", stderr);
        return 2;
    }
    fillExtensionSets();
    QDir::setCurrent(QDir::homePath());

    QWidget window;
    window.resize(900, 640);
    BenchHost host;
    auto *device = new DeviceItem(&window);
    device->deviceid = id;
    device->isLocal = true;
    device->intraip = QStringLiteral("127.0.0.1");
    device->xctl_port = port;
    device->hide();
    host.device = device;
    auto *explorer = new Explorer(&window);
    explorer->setGeometry(0, 0, 900, 640);
    explorer->setViewMode(QListView::IconMode);
    explorer->setResizeMode(QListView::Adjust);
    explorer->setMovement(QListView::Static);
    explorer->setSpacing(12);
    explorer->setUniformItemSizes(true);
    explorer->setHost(&host);
    window.show();

    // The longest gap between ticks of a 1 ms timer: how long the event loop was held up.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0, stall = 0, arrival = 0, lastCpu = 0, cpuStall = 0, arrivalCpu = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    // Counted from the first page's arrival: the start-up before it (the network layer's
    // first use) is not the list's.
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const qint64 cpu = threadCpuNs();
        if (lastTick && arrival) {
            stall = qMax(stall, now - lastTick);
            cpuStall = qMax(cpuStall, cpu - lastCpu);
        }
        lastTick = now;
        lastCpu = cpu;
    });

    int thumbnailRequests = 0;
    QObject::connect(networkManager(), &QNetworkAccessManager::finished, [&](QNetworkReply *r) {
        if (r->url().query().contains(QLatin1String("opt=querydir"))) {
            arrival = clock.nsecsElapsed();
            arrivalCpu = threadCpuNs();
        } else if (r->url().query().contains(QLatin1String("opt=getfiledata")))
            ++thumbnailRequests;
    });
    int pages = 0;
    const qint64 start = clock.nsecsElapsed();
    auto thumbnailsPending = [explorer] {
        for (FileItemIcon *tile : explorer->findChildren<FileItemIcon *>()) {
            if (tile->isThumbnailLoading())
                return true;
        }
        return false;
    };
    auto finish = [&] {
        const QList<FileItemIcon *> tiles = explorer->findChildren<FileItemIcon *>();
        if (thumbs) {
            std::printf("thumbs %.1f %d\n", (clock.nsecsElapsed() - start) / 1e6,
                        thumbnailRequests);
        }
        std::printf("rows %d\nwidgets %d\ngui-stall %.1f %.1f\npeak-rss %lld\n", explorer->count(),
                    int(std::count_if(tiles.begin(), tiles.end(),
                                      [](FileItemIcon *t) { return t->listItem != nullptr; })),
                    stall / 1e6, cpuStall / 1e6, peakRssKb());
        std::fflush(stdout);
        app.quit();
    };
    // After the last page: from the top, one screen at a time, on as soon as every tile in view
    // shows its thumbnail (or its fetch has ended).
    QTimer watchThumbnails;
    QObject::connect(&watchThumbnails, &QTimer::timeout, [&] {
        if (thumbnailsPending())
            return;
        QScrollBar *bar = explorer->verticalScrollBar();
        if (bar->value() >= bar->maximum()) {
            watchThumbnails.stop();
            finish();
            return;
        }
        bar->setValue(bar->value() + explorer->viewport()->height());
    });
    // Tiles are made on later turns of the event loop, those in view first.
    auto viewFilled = [explorer] {
        const QRect view = explorer->viewport()->rect();
        for (int row = 0; row < explorer->count(); ++row) {
            QListWidgetItem *entry = explorer->item(row);
            const QRect cell = explorer->visualItemRect(entry);
            if (cell.top() > view.bottom())
                break;
            if (cell.intersects(view) && !explorer->itemWidget(entry))
                return false;
        }
        return true;
    };
    std::function<void()> pageShown;
    pageShown = [&] {
        if (!viewFilled()) {
            QTimer::singleShot(0, explorer, pageShown);
            return;
        }
        explorer->viewport()->repaint();
        const double ms = (clock.nsecsElapsed() - arrival) / 1e6;
        const double cpuMs = (threadCpuNs() - arrivalCpu) / 1e6;
        std::printf("%s %.2f %.2f\n", pages++ ? "page" : "first-page", ms, cpuMs);
        if (explorer->count() < explorer->total) {
            // The user scrolls to the bottom as soon as the page is there.
            QTimer::singleShot(0, explorer, [explorer] {
                explorer->verticalScrollBar()->setValue(explorer->verticalScrollBar()->maximum());
            });
        } else if (thumbs) {
            explorer->verticalScrollBar()->setValue(0);
            watchThumbnails.start(5);
        } else {
            finish();
        }
    };
    QObject::connect(explorer, &FileListWidget::loadFinished, [&](bool ok) {
        if (!ok) {
            std::fputs("a page failed\n", stderr);
            app.exit(1);
            return;
        }
        QTimer::singleShot(0, explorer, [&] { QTimer::singleShot(0, explorer, pageShown); });
    });
    ticker.start(1);
    explorer->queryDir(FilePaths::encode(path));
    return app.exec();
}
