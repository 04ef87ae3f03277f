// The video library's logic without widgets: the getrealvideo reply, poster cache names,
// series numbers with their breadcrumb and first page, the stream's address.
#include "browse/postercache.h"
#include "browse/videolisting.h"
#include "browse/videoplayback.h"
#include "browse/videoseries.h"
#include "device/devicerecord.h"

#include <QtTest>

class TestVideoCore : public QObject
{
    Q_OBJECT

private slots:
    void listing_data();
    void listing();
    void posterNames();
    void seriesNumbers();
    void streamAddress();
};

void TestVideoCore::listing_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("total");
    QTest::addColumn<QStringList>("rows"); // "V name|path|size|time|key|poster", "S id|name|count"
    const int ok = DeviceReply::Ok;
    QTest::newRow("single and series")
        << QByteArray(R"({"rtn":0,"videototle":"12","videolist":[
             {"type":1,"videoname":"%E5%A4%9C%20%E6%99%AF","filepath":"/media/sda1/%E5%A4%9C.avi",
              "fileid":"f1","cid":"c1","time":1700000000,"filesize":123456789012,"imgpath":"u"},
             {"type":2,"seriesname":"%E7%AC%AC%E4%B8%80%E5%AD%A3","filecount":3,"seriesid":7}]})")
        << ok << 12
        << QStringList{"V 夜 景|/media/sda1/夜.avi|123456789012|1700000000|c1|u", "S 7|第一季|3"};
    // A count sent as a number is a count too; no "videoname": the path's last segment; an
    // empty "cid": the "fileid"; anything but type 1 is a series; no object, no row; limit 3.
    QTest::newRow("odd but usable")
        << QByteArray(R"({"rtn":0,"videototle":12,"videolist":[7,
             {"type":1,"filepath":"/a%20b/it%27s%20%2341.avi","fileid":"F","cid":""},
             {"seriesname":"a","seriesid":-15,"filecount":"2"},{"type":"1","seriesid":4},
             {"type":1}]})")
        << ok << 12
        << QStringList{"V it's #41.avi|/a b/it's #41.avi|0|0|F|", "S -15|a|2", "S 4||0"};
    QTest::newRow("total no number")
        << QByteArray(R"({"rtn":0,"videototle":"-4"})") << ok << 0 << QStringList{};
    QTest::newRow("rtn 5") << QByteArray(R"({"rtn":5,"videolist":[{"type":1}]})")
                           << int(DeviceReply::Failed) << 0 << QStringList{};
    QTest::newRow("truncated") << QByteArray(R"({"rtn":0,"videolist":[{"type":1)")
                               << int(DeviceReply::NotObject) << 0 << QStringList{};
}

void TestVideoCore::listing()
{
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(int, total);
    QFETCH(QStringList, rows);
    const VideoListing listing = VideoListing::parse(body, 3);
    QCOMPARE(int(listing.status), status);
    QCOMPARE(listing.total, total);
    QStringList got;
    for (const VideoRow &r : listing.rows)
        got << (r.isSeries
                    ? QString("S %1|%2|%3").arg(r.seriesId).arg(r.seriesName).arg(r.fileCount)
                    : QString("V %1|%2|%3|%4|%5|%6")
                          .arg(r.name, r.path, QString::number(r.size),
                               QString::number(r.time.toSecsSinceEpoch()), r.posterKey,
                               r.posterUrl));
    QCOMPARE(got, rows);
}

void TestVideoCore::posterNames()
{
    const QString dev = "TVK0000000001";
    QCOMPARE(PosterCache::videoPath(dev, "c1"), "tmp/TVK0000000001/poster/c1.png");
    QCOMPARE(PosterCache::seriesPath(dev, 7, "第一季"),
             "tmp/TVK0000000001/poster/series/7_%E7%AC%AC%E4%B8%80%E5%AD%A3.png");
    QCOMPARE(PosterCache::videoPath(dev, ""), QString());
    // No two keys share a file: not a video and a series, nor two series of the same name.
    const QStringList names = {
        PosterCache::videoPath(dev, "../x"),   PosterCache::videoPath(dev, "..%2Fx"),
        PosterCache::videoPath(dev, "series"), PosterCache::seriesPath(dev, 1, "_x"),
        PosterCache::seriesPath(dev, 1, "x"),  PosterCache::seriesPath(dev, 2, "x")};
    QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
    for (const QString &name : names)
        QVERIFY2(!name.contains("..") && name.count('/') <= 4, qPrintable(name));
}

void TestVideoCore::seriesNumbers()
{
    const QString links = "<a href='video:-1' style='text-decoration:none;color:#a0a0a0;'>全部视频"
                          "</a> > <a href='video:%1' style='text-decoration:none;color:#a0a0a0;'>"
                          "视频集</a>";
    // series, sent as, rows of the first page; -15 counts as a series, other negatives as all.
    const QVector<std::array<int, 3>> cases = {{-1, -1, 100},   {0, 0, 999},   {42, 42, 999},
                                               {-15, -15, 999}, {-2, -1, 100}, {INT_MIN, -1, 100}};
    for (const auto &c : cases) {
        QCOMPARE(VideoSeries::normalised(c[0]), c[1]);
        QCOMPARE(VideoSeries::openCount(c[0]), c[2]);
        QCOMPARE(VideoSeries::breadcrumb(c[0], "全部视频", "视频集"),
                 c[1] == -1 ? QString("全部视频") : links.arg(c[1]));
    }
}

void TestVideoCore::streamAddress()
{
    DeviceRecord device;
    device.isLocal = true;
    device.http_port = 18083;
    const QList<QPair<QString, QString>> cases = {
        {"fe80::1", "http://[fe80::1]:18083/a%20b%231.avi"},
        {"10.0.0.2/x?", ""},
        {"user@10.0.0.2", ""},
        {"a b", ""},
        {"", ""}};
    for (const auto &c : cases) {
        device.intraip = c.first;
        QCOMPARE(VideoPlayback::streamUrl(device, "a b#1.avi"), c.second);
        QCOMPARE(int(VideoPlayback::prepare(&device, "/a", "/bin/mpv").outcome),
                 int(c.second.isEmpty() ? VideoPlayback::BadAddress : VideoPlayback::Ready));
    }
}

QTEST_GUILESS_MAIN(TestVideoCore)
#include "tst_videocore.moc"
