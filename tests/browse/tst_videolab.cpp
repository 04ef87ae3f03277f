// The video library against the lab (offscreen): poster tiles, series and paging inside one,
// posters cached after a chain of redirections and never fetched twice, a redirection loop,
// bad replies; then the main window as a user meets it: the series entered and left through
// the breadcrumb, videos played from the library and the explorer by a recording player.
#include "../account/toastprobe.h"
#include "app/extensions.h"
#include "app/mainwidget.h"
#include "app/networkmanager.h"
#include "app/pages.h"
#include "browse/explorer.h"
#include "browse/fileitemicon.h"
#include "browse/filepaths.h"
#include "browse/posterloader.h"
#include "browse/realvideo.h"
#include "device/deviceitem.h"
#include "tests/support/httpsync.h"
#include "tests/support/labdevice.h"
#include "tests/support/standinhost.h"
#include "tests/support/windowdriver.h"

#include <QRegularExpression>
#include <QScrollBar>
#include <QtTest>

namespace {

const int waitMs = 60000;
const QString dev1 = "TVK0000000001";
const QString dev3 = "TVK0000000003";

FileItemIcon *tile(FileListWidget *list, int row)
{
    return qobject_cast<FileItemIcon *>(list->entryWidget(list->item(row)));
}

int rowWhere(QListWidget *list, int role, const QVariant &value)
{
    for (int row = 0; row < list->count(); ++row)
        if (list->item(row)->data(role) == value)
            return row;
    return -1;
}

} // namespace

class TestVideoLab : public QObject
{
    Q_OBJECT

public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private slots:
    void initTestCase()
    {
        fillExtensionSets();
        // Device one's posters come after two redirections, device three's never come.
        QVERIFY2(
            lab_.startSample(QJsonObject{
                {"devices", QJsonArray{QJsonObject{{"id", dev1}, {"poster_redirect", 2}},
                                       QJsonObject{{"id", dev3}, {"poster_redirect", "loop"}}}}}),
            qPrintable(lab_.lastError()));
        QDir::setCurrent(QDir::homePath());
        window_.resize(900, 640);
        window_.show();
        host_.window = &window_;
    }
    void cleanup()
    {
        lab_.setFaults(QJsonObject());
        delete host_.current;
        host_.current = nullptr;
    }
    void postersCachedAfterRedirections();
    void pagingStaysInTheSeries();
    void redirectionLoopAndOddPosters();
    void badReplies_data();
    void badReplies();
    void seriesBreadcrumbAndPlaybackInTheWindow();

private:
    DeviceItem *device(const QString &id, bool local)
    {
        auto *item = new DeviceItem;
        item->setRecord(labDevice(lab_, id, !local));
        item->setHost(&host_);
        return item;
    }
    RealVideo *library(const QString &id)
    {
        host_.current = device(id, true);
        auto *videos = new RealVideo(&window_);
        videos->setGeometry(0, 0, 900, 640);
        videos->setViewMode(QListView::IconMode);
        videos->setHost(&host_);
        videos->show();
        return videos;
    }
    static bool allPosters(RealVideo *videos)
    {
        // Tiles far from the view are made (and fetch their posters) when asked for.
        for (int row = 0; row < videos->count(); ++row)
            tile(videos, row);
        if (!QTest::qWaitFor([videos] { return videos->pendingPosters() == 0; }, waitMs))
            return false;
        // Each tile shows a poster of its own, not the placeholder.
        const QImage placeholder = QImage(":/image/file/poster.png");
        for (int row = 0; row < videos->count(); ++row) {
            const QImage shown =
                tile(videos, row)->iconLabel()->pixmap(Qt::ReturnByValue).toImage();
            if (shown.width() != 80 || shown.convertToFormat(placeholder.format()) == placeholder)
                return false;
        }
        return true;
    }
    QString hostPath(const QString &devicePath) const
    {
        return lab_.device(dev1).value("root").toString() + devicePath.mid(6);
    }

    LabProcess lab_;
    QWidget window_;
    StandInHost host_;
};

void TestVideoLab::postersCachedAfterRedirections()
{
    QScopedPointer<RealVideo> videos(library(dev1));
    const int mark = lab_.requestLog().size();
    videos->reload();
    QVERIFY(waitLoad(videos.data()));
    // The lab logs a request once its answer is out: the line may come after the reply.
    QTRY_COMPARE(lab_.requestsSince(mark, {"type=830&start=0&count=100&seriesid=-1&sortby=1"}), 1);
    const int series = rowWhere(videos.data(), KindRole, 1);
    QVERIFY(series >= 0);
    const QString seriesId = videos->item(series)->data(SeriesRole).toString();
    QCOMPARE(tile(videos.data(), series)->textLabel()->text(), "纪录片 第一季");
    QCOMPARE(tile(videos.data(), series)->toolTip(), "视频集: 纪录片 第一季\n文件数: 3");
    const auto labels = tile(videos.data(), series)->findChildren<QLabel *>();
    QVERIFY(std::any_of(labels.begin(), labels.end(), [](QLabel *l) { return l->text() == "3"; }));
    const int video = rowWhere(videos.data(), PathRole, "/media/sda1/视频/城市 夜景.avi");
    QVERIFY(video >= 0);
    QCOMPARE(videos->item(video)->data(SeriesRole).toInt(), -1);
    QCOMPARE(tile(videos.data(), video)->textLabel()->text(), "城市 夜景");

    // Every poster took three requests (302, 302, 200) and is kept once, 80 pixels wide.
    QVERIFY(allPosters(videos.data()));
    QTRY_COMPARE(lab_.requestsSince(mark, {" GET /poster/", " 302 "}), 2 * videos->count());
    QTRY_COMPARE(lab_.requestsSince(mark, {" GET /poster/", "hop=2 200 "}), videos->count());
    const QDir cache("tmp/" + dev1 + "/poster");
    QCOMPARE(cache.entryList({"*.png"}).size(), videos->count() - 1);
    const QString seriesFile =
        "series/" + seriesId + "_%E7%BA%AA%E5%BD%95%E7%89%87%20%E7%AC%AC%E4%B8%80%E5%AD%A3.png";
    QCOMPARE(QImage(cache.filePath(seriesFile)).width(), 80);

    // The next time the posters come from the cache: no request.
    const int again = lab_.requestLog().size();
    videos->reload();
    QVERIFY(waitLoad(videos.data()));
    QVERIFY(allPosters(videos.data()));
    QTest::qWait(300);
    QCOMPARE(lab_.requestsSince(again, {"/poster/"}), 0);
}

void TestVideoLab::pagingStaysInTheSeries()
{
    QVERIFY(QDir().mkpath(hostPath("/media/sdb1/长 系列")));
    auto removeSeries =
        qScopeGuard([this] { QDir(hostPath("/media/sdb1/长 系列")).removeRecursively(); });
    for (int i = 0; i < 130; ++i) {
        QFile f(hostPath(QString("/media/sdb1/长 系列/第%1集.mp4").arg(i, 3, 10, QChar('0'))));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QScopedPointer<RealVideo> videos(library(dev1));
    QTest::qWait(2100); // the lab sees new files after two seconds
    videos->reload();
    QVERIFY(waitLoad(videos.data()));
    int series = 0;
    while (series < videos->count() &&
           tile(videos.data(), series)->textLabel()->text() != "长 系列")
        ++series;
    QVERIFY(series < videos->count());
    const int id = videos->item(series)->data(SeriesRole).toInt();
    emit videos->itemDoubleClicked(videos->item(series));
    QVERIFY(waitLoad(videos.data()));
    QCOMPARE(videos->count(), 130);

    // Refreshed without its posters: the first page, then a scroll goes on in the series, and
    // the first page's posters still arrive.
    QDir("tmp/" + dev1 + "/poster").removeRecursively();
    const int mark = lab_.requestLog().size();
    videos->reload();
    QVERIFY(waitLoad(videos.data()));
    QCOMPARE(videos->count(), 100);
    QTRY_VERIFY(videos->pendingPosters() > 0); // the tiles in view ask for theirs
    QTRY_VERIFY(videos->verticalScrollBar()->maximum() > 0);
    videos->verticalScrollBar()->setValue(videos->verticalScrollBar()->maximum());
    QVERIFY(waitLoad(videos.data()));
    QCOMPARE(videos->count(), 130);
    QTRY_COMPARE(lab_.requestsSince(mark, {QString("start=100&count=50&seriesid=%1&").arg(id)}), 1);
    for (int row = 0; row < videos->count(); ++row)
        QVERIFY(videos->item(row)->data(PathRole).toString().startsWith("/media/sdb1/长 系列/"));
    QVERIFY(allPosters(videos.data()));
}

void TestVideoLab::redirectionLoopAndOddPosters()
{
    QScopedPointer<RealVideo> videos(library(dev3));
    const int mark = lab_.requestLog().size();
    videos->reload();
    QVERIFY(waitLoad(videos.data()));
    QCOMPARE(videos->count(), 2);
    QVERIFY(tile(videos.data(), 0) && tile(videos.data(), 1));
    QVERIFY(QTest::qWaitFor([&] { return videos->pendingPosters() == 0; }, waitMs));
    // Each poster gives up after five hops; the user is told once for the view.
    QTRY_COMPARE(lab_.requestsSince(mark, {" GET /poster/"}), 2 * 6);
    QVERIFY(findToast("获取视频海报失败: 重定向次数过多"));
    QCOMPARE(toastsStarting("获取视频海报失败"), 1);
    QVERIFY(!QFileInfo::exists("tmp/" + dev3 + "/poster"));

    // A body that is no picture changes nothing; a missing one is a failure; a local file is
    // never read.
    PosterLoader loader;
    QSignalSpy failed(&loader, &PosterLoader::failed);
    FileItemIcon icon;
    const QString http = lab_.deviceUrl(dev1, "http");
    const QPixmap before = icon.iconLabel()->pixmap(Qt::ReturnByValue);
    loader.load(&icon, http + FilePaths::encode("/media/sda1/文档/readme.txt"), "tmp/t/a.png");
    loader.load(&icon, http + "/poster/none.png?hop=9", "tmp/t/b.png");
    loader.load(&icon, "file:///etc/hostname", "tmp/t/c.png");
    QVERIFY(QTest::qWaitFor([&] { return loader.pending() == 0; }, waitMs));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(icon.iconLabel()->pixmap(Qt::ReturnByValue).toImage(), before.toImage());
    QVERIFY(!QFileInfo::exists("tmp/t"));
}

void TestVideoLab::badReplies_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<QString>("toast");
    QTest::newRow("garbage") << QJsonObject{{"malformed_json", "garbage"}} << QString();
    QTest::newRow("rtn 3") << QJsonObject{{"rtn", 3}} << "加载视频失败: 3";
}

void TestVideoLab::badReplies()
{
    QFETCH(QJsonObject, fault);
    QFETCH(QString, toast);
    QVERIFY(lab_.setFaults({{dev1, fault}}));
    QScopedPointer<RealVideo> videos(library(dev1));
    videos->openSeries(-1);
    QVERIFY(waitLoad(videos.data(), false));
    QCOMPARE(videos->count(), 0);
    QVERIFY(videos->styleSheet().contains("error.png"));
    QCOMPARE(toastsStarting("加载视频失败"), toast.isEmpty() ? 0 : 1);
    if (!toast.isEmpty())
        QVERIFY(findToast(toast));
}

void TestVideoLab::seriesBreadcrumbAndPlaybackInTheWindow()
{
    // A player in PATH that writes down its arguments; a video whose name a shell would take
    // apart.
    QTemporaryDir tools;
    const QString argsFile = tools.filePath("args");
    QFile player(tools.filePath("mpv"));
    QVERIFY(player.open(QIODevice::WriteOnly));
    player.write("#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$TEST_PLAYER_LOG\"\n"
                 "exit \"${TEST_PLAYER_EXIT:-0}\"\n");
    player.close();
    player.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    qputenv("PATH", QFile::encodeName(tools.path()) + ":/usr/bin:/bin");
    qputenv("TEST_PLAYER_LOG", QFile::encodeName(argsFile));
    const QString hostile =
        "/media/sda1/奇怪的名字/it's \"a\" ;$(touch pwned) `id` & #1 100%41.avi";
    QFile video(hostPath(hostile));
    QVERIFY(video.open(QIODevice::WriteOnly) && video.write("hostile video bytes") > 0);
    video.close();
    const QString url = lab_.deviceUrl(dev1, "http") + FilePaths::encode(hostile);
    auto played = [&](const QString &expected) {
        if (!QTest::qWaitFor([&] { return QFileInfo(argsFile).size() > 0; }, waitMs))
            return false;
        QFile args(argsFile);
        args.open(QIODevice::ReadOnly);
        const bool same = args.readAll() == expected.toUtf8() + '\0';
        QFile::remove(argsFile);
        return same;
    };

    answerDiscoveryFrom(lab_, dev1);
    MainWidget window;
    window.show();
    QVERIFY(chooseLanDevice(window, dev1));
    auto *videos = window.findChild<RealVideo *>("videoListWidget");
    auto *nav = window.findChild<QLabel *>("navLabel");
    QTest::qWait(2100); // the lab sees new files after two seconds
    // The requests the client made, one entry each. Qt sends a request again when the device
    // closes a kept-alive connection before the answer is read, and the lab logs each copy it
    // answered: the client's count is the exact one, the lab's log shows the request arrived.
    QStringList asked;
    QObject::connect(networkManager(), &QNetworkAccessManager::finished, videos,
                     [&asked](QNetworkReply *r) { asked << r->request().url().toEncoded(); });
    auto requested = [&](const QString &part) {
        return int(std::count_if(asked.begin(), asked.end(),
                                 [&](const QString &url) { return url.contains(part); }));
    };
    const QString allFirst = "start=0&count=100&seriesid=-1&";
    const int first = lab_.requestLog().size();
    window.cloudLeftButtonClicked(CloudPage::Videos);
    QVERIFY(waitLoad(videos));
    QTRY_VERIFY(lab_.requestsSince(first, {allFirst}) >= 1);
    QTRY_COMPARE(requested(allFirst), 1);
    QCOMPARE(nav->text(), "全部视频");

    // Into the series and back out through the breadcrumb's first link.
    const int mark = lab_.requestLog().size();
    asked.clear();
    emit videos->itemDoubleClicked(videos->item(rowWhere(videos, KindRole, 1)));
    QVERIFY(waitLoad(videos));
    QCOMPARE(videos->count(), 3);
    const QString whole = "count=999&seriesid=" + QString::number(videos->shownSeries());
    QTRY_VERIFY(lab_.requestsSince(mark, {whole}) >= 1);
    QTRY_COMPARE(requested(whole), 1);
    const QRegularExpressionMatch back =
        QRegularExpression("href='(video:[^']*)'").match(nav->text());
    QVERIFY(nav->text().contains(">视频集</a>") && back.hasMatch());
    emit nav->linkActivated(back.captured(1));
    QVERIFY(waitLoad(videos));
    QCOMPARE(nav->text(), "全部视频");
    QTRY_VERIFY(lab_.requestsSince(mark, {allFirst}) >= 1);
    QTRY_COMPARE(requested(allFirst), 1);

    // Played from the library: one argument, the URL that serves the file.
    emit videos->itemDoubleClicked(videos->item(rowWhere(videos, PathRole, hostile)));
    QVERIFY(played(url));
    QCOMPARE(HttpSync().get(url).body, QByteArray("hostile video bytes"));
    QVERIFY(!QFileInfo::exists("pwned") && !QFileInfo::exists(tools.filePath("pwned")));
    // And from the explorer.
    auto *explorer = window.findChild<Explorer *>("fileListWidget");
    window.cloudLeftButtonClicked(CloudPage::Explorer);
    QVERIFY(waitLoad(explorer));
    explorer->queryDir(FilePaths::encode("/media/sda1/奇怪的名字"));
    QVERIFY(waitLoad(explorer));
    emit explorer->itemDoubleClicked(explorer->item(rowWhere(explorer, PathRole, hostile)));
    QVERIFY(played(url));

    // A player that fails at once, none at all, and a device reached through the relay.
    qputenv("TEST_PLAYER_EXIT", "3");
    RealVideo::playVideo(videos->host(), FilePaths::encode(hostile));
    QTRY_VERIFY_WITH_TIMEOUT(findToast("播放视频失败"), waitMs);
    QVERIFY(QFile::remove(argsFile));
    qputenv("PATH", QFile::encodeName(tools.path() + "/none"));
    RealVideo::playVideo(videos->host(), FilePaths::encode(hostile));
    QVERIFY(findToast("找不到播放器"));
    host_.current = device(dev1, false);
    RealVideo::playVideo(&host_, FilePaths::encode(hostile));
    QVERIFY(findToast("和设备在同一个局域网时才能播放视频"));
    QVERIFY(!QFileInfo::exists(argsFile));
}

QTEST_MAIN(TestVideoLab)
#include "tst_videolab.moc"
