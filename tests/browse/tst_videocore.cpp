// The video library's logic without widgets: the getrealvideo reply, the poster cache's names,
// series numbers with their breadcrumb and page sizes, and the player's argument list.
#include "browse/postercache.h"
#include "browse/videolisting.h"
#include "browse/videoplayback.h"
#include "browse/videoseries.h"
#include "device/devicerecord.h"

#include <QtTest>

namespace {

// A row in one line: "V name|path|size|time|key|poster" or "S id|name|count|poster".
QString summary(const VideoRow &row)
{
    if (row.isSeries)
        return QStringLiteral("S %1|%2|%3|%4")
            .arg(QString::number(row.seriesId), row.seriesName, QString::number(row.fileCount),
                 row.posterUrl);
    return QStringLiteral("V %1|%2|%3|%4|%5|%6")
        .arg(row.name, row.path, QString::number(row.size),
             QString::number(row.time.toSecsSinceEpoch()), row.posterKey, row.posterUrl);
}

} // namespace

class TestVideoCore : public QObject
{
    Q_OBJECT

private slots:
    void listing_data();
    void listing();
    void posterNames();
    void seriesNumbers_data();
    void seriesNumbers();
    void playerArguments_data();
    void playerArguments();
};

void TestVideoCore::listing_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("total");
    QTest::addColumn<QStringList>("rows");
    const int ok = DeviceReply::Ok;
    QTest::newRow("single and series")
        << QByteArray(R"({"rtn":0,"videototle":"12","videolist":[
             {"type":1,"videoname":"%E5%A4%9C%20%E6%99%AF","filepath":"/media/sda1/%E5%A4%9C.avi",
              "fileid":"f1","cid":"c1","time":1700000000,"filesize":123456789012,
              "imgpath":"http://h/p.png"},
             {"type":2,"seriesname":"%E7%AC%AC%E4%B8%80%E5%AD%A3","filecount":3,"seriesid":7,
              "imagepath":"http://h/s.png"}]})")
        << 100 << ok << 12
        << QStringList{"V 夜 景|/media/sda1/夜.avi|123456789012|1700000000|c1|http://h/p.png",
                       "S 7|第一季|3|http://h/s.png"};
    // A count sent as a number is still a count; text that is no number is none.
    QTest::newRow("total as a number")
        << QByteArray(R"({"rtn":0,"videototle":12})") << 100 << ok << 12 << QStringList{};
    QTest::newRow("total not a number")
        << QByteArray(R"({"rtn":0,"videototle":"12a"})") << 100 << ok << 0 << QStringList{};
    QTest::newRow("negative total")
        << QByteArray(R"({"rtn":0,"videototle":"-4"})") << 100 << ok << 0 << QStringList{};
    // No "videoname": the decoded last segment of the path; empty "cid": the "fileid".
    QTest::newRow("name from path, key from fileid")
        << QByteArray(R"({"rtn":0,"videototle":"1","videolist":[{"type":1,
             "filepath":"/media/sda1/a%20b/it%27s%20%2341.avi","fileid":"F","cid":""}]})")
        << 100 << ok << 1 << QStringList{"V it's #41.avi|/media/sda1/a b/it's #41.avi|0|0|F|"};
    // Anything but type 1 is a series; what is no object is skipped; the limit holds.
    QTest::newRow("odd elements") << QByteArray(
                                         R"({"rtn":0,"videototle":"5","videolist":[3,"x",null,
             {"seriesname":"a","seriesid":-15,"filecount":"2"},{"type":"1","seriesid":4},
             {"type":1,"filepath":"/x.avi"}]})")
                                  << 2 << ok << 5 << QStringList{"S -15|a|2|", "S 4||0|"};
    QTest::newRow("rtn 5") << QByteArray(R"({"rtn":5,"videolist":[{"type":1}]})") << 100
                           << int(DeviceReply::Failed) << 0 << QStringList{};
    QTest::newRow("no rtn") << QByteArray(R"({"videototle":"3"})") << 100 << int(DeviceReply::NoRtn)
                            << 0 << QStringList{};
    QTest::newRow("truncated") << QByteArray(R"({"rtn":0,"videolist":[{"type":1)") << 100
                               << int(DeviceReply::NotObject) << 0 << QStringList{};
    QTest::newRow("array") << QByteArray(R"([{"rtn":0}])") << 100 << int(DeviceReply::NotObject)
                           << 0 << QStringList{};
}

void TestVideoCore::listing()
{
    QFETCH(QByteArray, body);
    QFETCH(int, limit);
    QFETCH(int, status);
    QFETCH(int, total);
    QFETCH(QStringList, rows);
    const VideoListing listing = VideoListing::parse(body, limit);
    QCOMPARE(int(listing.status), status);
    QCOMPARE(listing.total, total);
    QStringList got;
    for (const VideoRow &row : listing.rows)
        got << summary(row);
    QCOMPARE(got, rows);
}

void TestVideoCore::posterNames()
{
    const QString dev = "TVK0000000001";
    QCOMPARE(PosterCache::videoPath(dev, "c1"), "tmp/TVK0000000001/poster/c1.png");
    QCOMPARE(PosterCache::seriesPath(dev, 7, "第一季"),
             "tmp/TVK0000000001/poster/series/7_%E7%AC%AC%E4%B8%80%E5%AD%A3.png");
    QCOMPARE(PosterCache::videoPath(dev, ""), QString());

    // Whatever the keys hold, every name is one file in the device's poster folder, and no two
    // keys (nor a key and a series) share one.
    const QStringList keys = {"..",
                              ".",
                              "../../x",
                              "/etc/passwd",
                              "a\\b",
                              "a/b",
                              "a%2Fb",
                              "%2e%2e",
                              "con",
                              "a b",
                              "A",
                              "a",
                              "1_x",
                              "series",
                              "~",
                              QString(300, 'k'),
                              QString(QChar(0))};
    QSet<QString> names;
    for (const QString &key : keys)
        names.insert(PosterCache::videoPath("../..", key));
    for (int id : {1, -1, -15})
        for (const QString &name : {"", "x", "1_x", "..", "第一季"})
            names.insert(PosterCache::seriesPath("../..", id, name));
    QCOMPARE(names.size(), keys.size() + 15);
    for (const QString &name : qAsConst(names)) {
        QVERIFY2(name.startsWith("tmp/%2E%2E%2F%2E%2E/poster/"), qPrintable(name));
        const QString rest = name.mid(QString("tmp/%2E%2E%2F%2E%2E/poster/").size());
        QVERIFY2(
            QRegularExpression("^(series/)?[A-Za-z0-9_%~-]{1,120}\\.png$").match(rest).hasMatch(),
            qPrintable(name));
    }
}

void TestVideoCore::seriesNumbers_data()
{
    QTest::addColumn<int>("series");
    QTest::addColumn<int>("sent");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("crumb");
    const QString links = "<a href='video:-1' style='text-decoration:none;color:#a0a0a0;'>全部视频"
                          "</a> > <a href='video:%1' style='text-decoration:none;color:#a0a0a0;'>"
                          "视频集</a>";
    QTest::newRow("all") << -1 << -1 << 100 << "全部视频";
    QTest::newRow("series 0") << 0 << 0 << 999 << links.arg(0);
    QTest::newRow("series 42") << 42 << 42 << 999 << links.arg(42);
    QTest::newRow("-15") << -15 << -15 << 999 << links.arg(-15);
    QTest::newRow("-2") << -2 << -1 << 100 << "全部视频";
    QTest::newRow("-16") << -16 << -1 << 100 << "全部视频";
    QTest::newRow("lowest") << INT_MIN << -1 << 100 << "全部视频";
}

void TestVideoCore::seriesNumbers()
{
    QFETCH(int, series);
    QFETCH(int, sent);
    QFETCH(int, rows);
    QFETCH(QString, crumb);
    QCOMPARE(VideoSeries::normalised(series), sent);
    QCOMPARE(VideoSeries::openCount(series), rows);
    QCOMPARE(VideoSeries::breadcrumb(series, "全部视频", "视频集"), crumb);
}

void TestVideoCore::playerArguments_data()
{
    QTest::addColumn<bool>("local");
    QTest::addColumn<QString>("intraip");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("player");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("url");
    const QString mpv = "/usr/bin/mpv";
    QTest::newRow("relayed") << false << "127.0.0.1"
                             << "/media/a.avi" << mpv << int(VideoPlayback::NotOnLan) << "";
    QTest::newRow("no path") << true << "127.0.0.1"
                             << "" << mpv << int(VideoPlayback::NothingToPlay) << "";
    QTest::newRow("no player") << true << "127.0.0.1"
                               << "/media/a.avi"
                               << "" << int(VideoPlayback::NoPlayer) << "";
    // The name arrives encoded and leaves encoded: one argument, no fragment, no query.
    QTest::newRow("hostile name")
        << true << "192.168.1.20"
        << "/media/sda1/%E8%A7%86/it%27s%20%22a%22%20%3B%24%28touch%20x%29%20%2341%3F%25.avi" << mpv
        << int(VideoPlayback::Ready)
        << "http://192.168.1.20:18083/media/sda1/%E8%A7%86/"
           "it%27s%20%22a%22%20%3B%24%28touch%20x%29%20%2341%3F%25.avi";
    QTest::newRow("path as the device spells it")
        << true << "10.0.0.2"
        << "media/a b#1.avi" << mpv << int(VideoPlayback::Ready)
        << "http://10.0.0.2:18083/media/a%20b%231.avi";
    QTest::newRow("IPv6") << true << "fe80::1"
                          << "/a.avi" << mpv << int(VideoPlayback::Ready)
                          << "http://[fe80::1]:18083/a.avi";
    for (const char *bad : {"10.0.0.2/x?", "user@10.0.0.2", "a b", "", "10.0.0.2:80"})
        QTest::addRow("address %s", bad)
            << true << bad << "/a.avi" << mpv << int(VideoPlayback::BadAddress) << "";
}

void TestVideoCore::playerArguments()
{
    QFETCH(bool, local);
    QFETCH(QString, intraip);
    QFETCH(QString, path);
    QFETCH(QString, player);
    QFETCH(int, outcome);
    QFETCH(QString, url);
    DeviceRecord device;
    device.isLocal = local;
    device.intraip = intraip;
    device.serverip = "relay.example";
    device.http_port = 18083;
    const VideoPlayback::Launch launch = VideoPlayback::prepare(&device, path, player);
    QCOMPARE(int(launch.outcome), outcome);
    if (outcome == VideoPlayback::Ready) {
        QCOMPARE(launch.program, player);
        QCOMPARE(launch.arguments, QStringList{url});
    }
    QCOMPARE(int(VideoPlayback::prepare(nullptr, path, player).outcome),
             int(VideoPlayback::NotOnLan));
}

QTEST_GUILESS_MAIN(TestVideoCore)
#include "tst_videocore.moc"
