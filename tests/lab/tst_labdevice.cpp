// One lab device, its relay and its discovery answer, driven the way the client drives them.
#include "labtest.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

namespace {

// As the client encodes a device path for a request: UTF-8, only "%" and "/" kept.
QString encoded(const QString &path, const QByteArray &keep = "%/")
{
    return QString::fromLatin1(path.toUtf8().toPercentEncoding(keep));
}

QStringList names(const QJsonObject &reply, const char *list = "filelist", const char *key = "name")
{
    QStringList out;
    for (const QJsonValue &v : reply.value(list).toArray())
        out << v.toObject().value(key).toVariant().toString();
    return out;
}

} // namespace

class TestLabDevice : public LabTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void queryDirTopAndPaging();
    void queryDirOddNames();
    void fileListsNewestFirst();
    void fileData();
    void realVideoSeriesAndPosters();
    void mkdirAndDelete();
    void uploadAsTheClientSendsIt();
    void rangeRequests_data();
    void rangeRequests();
    void traversalRefused();
    void relayForwards();
    void relayBoundedAndStopsCleanly();
    void discoveryAnswers();

private:
    QString mkdir(const QString &dirpath) const
    {
        return base(port("xctl")) +
               QStringLiteral("/protocol.csp?fname=storage&opt=recursive_mkdir&resp_t=2&x-qm-devid="
                              "%1&x-qm-pri=1&x-qm-port=%2&userid=0&username=0&dirpath=")
                   .arg(kDevice)
                   .arg(port("xctl")) +
               dirpath;
    }
    QString hostPath(const QString &rel) const
    {
        return lab_.device(kDevice).value("root").toString() + QLatin1Char('/') + rel;
    }
};

void TestLabDevice::initTestCase()
{
    QVERIFY2(lab_.startSample(), qPrintable(lab_.lastError()));
}

void TestLabDevice::queryDirTopAndPaging()
{
    const QJsonObject top = get(dlna("querydir", "&start=0&count=100&path="));
    QCOMPARE(top.value("rtn").toInt(), 0);
    QCOMPARE(top.value("path").toString(), QStringLiteral("/media"));
    QCOMPARE(names(top), (QStringList{"sda1", "sdb1"}));
    QCOMPARE(names(top, "filelist", "attribute"), (QStringList{"0x01", "0x01"}));

    const QJsonObject all = get(dlna("querydir", "&start=0&count=100&path=/media/sda1"));
    QCOMPARE(all.value("rtn").toInt(), 0);
    QCOMPARE(all.value("total").toInt(), names(all).size());
    QVERIFY(names(all).contains(QStringLiteral("大文件 8MB.bin")));
    // Folders ("0x01") come before files ("0x20").
    const QStringList attributes = names(all, "filelist", "attribute");
    QVERIFY(attributes.contains("0x01") && attributes.contains("0x20"));
    QVERIFY(std::is_sorted(attributes.begin(), attributes.end()));
    const QJsonObject page = get(dlna("querydir", "&start=2&count=3&path=/media/sda1/"));
    QCOMPARE(page.value("total").toInt(), names(all).size());
    QCOMPARE(names(page), names(all).mid(2, 3));
    QCOMPARE(page.value("path").toString(), QStringLiteral("/media/sda1"));
    const QJsonObject past = get(dlna("querydir", "&start=999&count=50&path=/media/sda1"));
    QCOMPARE(past.value("rtn").toInt(), 0);
    QVERIFY(names(past).isEmpty());
    QCOMPARE(rtn(dlna("querydir", "&path=/media/sdz9")), 2);
    QCOMPARE(rtn(dlna("nosuchopt")), 1);
}

void TestLabDevice::queryDirOddNames()
{
    const QString folder = QStringLiteral("/media/sda1/奇怪的名字");
    const QJsonObject r = get(dlna("querydir", "&start=0&count=100&path=" + encoded(folder)));
    QCOMPARE(r.value("path").toString(), folder);
    for (const char *expected :
         {"R&D notes (v2).txt", "100% done.txt", "%E4%B8%AD literally.txt", "#1 priority.txt",
          "a+b=c.md", "他说 \"你好\".txt", "it's here.txt", "emoji 😀.txt", "  leading blanks.txt",
          "semi;colon|bar.txt"})
        QVERIFY2(names(r).contains(QString::fromUtf8(expected)), expected);
    // A name that looks like an escape is a name: encoded once, it comes back as itself.
    const HttpSync::Result file = http_.get(
        base(port("http")) + encoded(folder + QStringLiteral("/%E4%B8%AD literally.txt"), "/"));
    QCOMPARE(file.status, 200);
    QCOMPARE(file.body, QByteArray("an escape that is part of the name\n"));
}

void TestLabDevice::fileListsNewestFirst()
{
    const QJsonObject pictures =
        get(dlna("get", "&type=29489&start=0&count=999&sortby=time&sorttype=down&businesstype=1"));
    QCOMPARE(pictures.value("rtn").toInt(), 0);
    QVERIFY(pictures.value("total").toInt() >= 200);
    const QJsonArray list = pictures.value("albumlist").toArray();
    QCOMPARE(list.size(), pictures.value("total").toInt());
    qint64 last = std::numeric_limits<qint64>::max();
    for (const QJsonValue &v : list) {
        const QJsonObject o = v.toObject();
        QVERIFY(o.value("path").toString().startsWith(QLatin1String("/media/")));
        QVERIFY(o.value("size").toDouble() > 0);
        QVERIFY(o.value("time").toDouble() <= last);
        last = static_cast<qint64>(o.value("time").toDouble());
    }
    const QJsonArray page =
        get(dlna("get", "&type=29489&start=10&count=5")).value("albumlist").toArray();
    QCOMPARE(page.size(), 5);
    QCOMPARE(page[0], list[10]);

    QSet<QString> extensions;
    for (const QString &p :
         names(get(dlna("get", "&type=160560&start=0&count=100")), "albumlist", "path"))
        extensions << p.mid(p.lastIndexOf('.')).toLower();
    QCOMPARE(extensions, (QSet<QString>{".md", ".html", ".rtf", ".wps", ".txt", ".xls", ".ppt",
                                        ".docx", ".xlsx", ".doc", ".pdf", ".pptx"}));
}

void TestLabDevice::fileData()
{
    const QString big = encoded(QStringLiteral("/media/sda1/照片/wide panorama.jpg"));
    const QImage image =
        QImage::fromData(http_.get(dlna("getfiledata", "&order=1&size=0&path=" + big)).body);
    QCOMPARE(image.width(), 160); // 3000 x 500 keeps its shape
    QVERIFY(image.height() > 0 && image.height() <= 160);

    const HttpSync::Result whole = http_.get(dlna("getfiledata", "&order=3&size=0&path=" + big));
    QCOMPARE(whole.status, 200);
    QFile disk(hostPath(QStringLiteral("sda1/照片/wide panorama.jpg")));
    QVERIFY(disk.open(QIODevice::ReadOnly));
    QCOMPARE(whole.body, disk.readAll());

    const QString video = encoded(QStringLiteral("/media/sda1/视频/城市 夜景.avi"));
    QVERIFY(!QImage::fromData(http_.get(dlna("getfiledata", "&order=1&size=0&path=" + video)).body)
                 .isNull());
    QCOMPARE(status(dlna("getfiledata", "&order=1&path=/media/sda1/none.jpg")), 404);
}

void TestLabDevice::realVideoSeriesAndPosters()
{
    const QString rest =
        QStringLiteral("&type=830&start=0&count=100&seriesid=%1&sortby=1&sorttype=0&from=0&dpart=");
    const QJsonObject all = get(dlna("getrealvideo", rest.arg(-1)));
    QCOMPARE(all.value("rtn").toInt(), 0);
    const QJsonArray list = all.value("videolist").toArray();
    QCOMPARE(all.value("videototle").toString(), QString::number(list.size()));
    int seriesId = -1;
    int singles = 0;
    for (const QJsonValue &v : list) {
        const QJsonObject o = v.toObject();
        if (o.value("type").toInt() == 1) {
            ++singles;
            QVERIFY(!o.value("fileid").toString().isEmpty());
            QVERIFY(o.value("filepath").toString().startsWith(QLatin1String("/media/")));
            QVERIFY(!o.value("filepath").toString().contains(QLatin1Char(' '))); // percent-encoded
            continue;
        }
        QCOMPARE(QString::fromUtf8(
                     QByteArray::fromPercentEncoding(o.value("seriesname").toString().toLatin1())),
                 QStringLiteral("纪录片 第一季"));
        QCOMPARE(o.value("filecount").toInt(), 3);
        seriesId = o.value("seriesid").toInt();
    }
    QVERIFY(seriesId >= 0);
    QVERIFY(singles >= 3);
    const QJsonArray series =
        get(dlna("getrealvideo", rest.arg(seriesId))).value("videolist").toArray();
    QCOMPARE(series.size(), 3);
    QCOMPARE(get(dlna("getrealvideo", rest.arg(-15))).value("videolist").toArray().size(),
             singles + 3);

    // Posters are absolute URLs that work the way the listing came: directly or relayed.
    const QString direct = series[0].toObject().value("imgpath").toString();
    QVERIFY(direct.startsWith(base(port("http")) + QStringLiteral("/poster/")));
    const HttpSync::Result poster = http_.get(direct);
    QCOMPARE(poster.status, 200);
    QVERIFY(!QImage::fromData(poster.body).isNull());
    const QString viaRelay = get(dlna("getrealvideo", rest.arg(-1), true))
                                 .value("videolist")
                                 .toArray()[0]
                                 .toObject()
                                 .value("imgpath")
                                 .toString();
    QVERIFY(viaRelay.startsWith(base(lab_.relayPort())));
    QCOMPARE(status(viaRelay), 200);
}

void TestLabDevice::mkdirAndDelete()
{
    const QString dir =
        QStringLiteral("/media/sda1/空文件夹/") + encoded(QStringLiteral("新建文件夹 1"), "");
    QCOMPARE(rtn(mkdir(dir + QStringLiteral("/a/b"))), 0);
    QVERIFY(QFileInfo(hostPath(QStringLiteral("sda1/空文件夹/新建文件夹 1/a/b"))).isDir());

    QFile victim(hostPath(QStringLiteral("sda1/空文件夹/C++ & co.txt")));
    QVERIFY(victim.open(QIODevice::WriteOnly));
    victim.close();
    const QStringList paths = {QStringLiteral("/media/sda1/空文件夹/新建文件夹 1"),
                               QStringLiteral("/media/sda1/空文件夹/C++ & co.txt"),
                               QStringLiteral("/media/sda1/空文件夹/gone.txt"),
                               QStringLiteral("/media/sda1"),
                               QStringLiteral("/media/sda1/../sdb1/备份/notes.txt")};
    const QJsonObject r = get(dlna("delfileex", "&filelist=" + encoded(paths.join('|'))));
    QCOMPARE(r.value("rtn").toInt(), 0);
    QCOMPARE(names(r, "resultlist", "result"), (QStringList{"0", "0", "2", "3", "3"}));
    QCOMPARE(names(r, "resultlist", "path"), paths);
    QVERIFY(!QFileInfo::exists(hostPath(QStringLiteral("sda1/空文件夹/新建文件夹 1"))));
    QVERIFY(!victim.exists());
    QVERIFY(QFileInfo::exists(hostPath(QStringLiteral("sdb1/备份/notes.txt"))));
}

void TestLabDevice::uploadAsTheClientSendsIt()
{
    QByteArray content(300000, Qt::Uninitialized);
    for (int i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>((unsigned(i) * 7919u) >> 3);
    auto upload = [&](const QByteArray &data, const QString &opt) {
        return http_
            .post(base(port("mps")) +
                      QStringLiteral("/upload.csp?x-qm-devid=%1&x-qm-pri=1&x-qm-port=%2"
                                     "&uploadpath=/media/sda1/上传 目录&file=%3")
                          .arg(kDevice)
                          .arg(port("mps"))
                          .arg(encoded(QStringLiteral("报告 #1 & 草稿.bin"), "")) +
                      opt,
                  uploadForm(data), kUploadHeaders)
            .json();
    };
    QCOMPARE(upload(content, "&opt=overwrite").value("rtn").toInt(), 0);
    const QString target = hostPath(QStringLiteral("sda1/上传 目录/报告 #1 & 草稿.bin"));
    auto stored = [&target] {
        QFile f(target);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    QCOMPARE(stored(), content);
    // Without overwrite the old file stays and the new one gets a number.
    QCOMPARE(upload("second", QString()).value("path").toString(),
             QStringLiteral("/media/sda1/上传 目录/报告 #1 & 草稿 (1).bin"));
    QCOMPARE(stored(), content);
    QCOMPARE(upload("third", "&opt=overwrite").value("rtn").toInt(), 0);
    QCOMPARE(stored(), QByteArray("third"));
    // No temporary file is left behind.
    QCOMPARE(QDir(QFileInfo(target).absolutePath()).entryList(QDir::Files | QDir::Hidden).size(),
             2);
}

void TestLabDevice::rangeRequests_data()
{
    QTest::addColumn<QByteArray>("range");
    QTest::addColumn<int>("status");
    QTest::addColumn<qint64>("from"); // the body expected: bytes from .. to - 1
    QTest::addColumn<qint64>("to");
    QTest::newRow("none") << QByteArray() << 200 << 0ll << kBig;
    QTest::newRow("open end") << QByteArray("bytes=1000-") << 206 << 1000ll << kBig;
    QTest::newRow("first byte") << QByteArray("bytes=0-0") << 206 << 0ll << 1ll;
    QTest::newRow("suffix") << QByteArray("bytes=-500") << 206 << kBig - 500 << kBig;
    QTest::newRow("last byte") << "bytes=" + QByteArray::number(kBig - 1) + "-" << 206 << kBig - 1
                               << kBig;
    QTest::newRow("at the end") << "bytes=" + QByteArray::number(kBig) + "-" << 416 << 0ll << 0ll;
    QTest::newRow("far past") << QByteArray("bytes=99999999-") << 416 << 0ll << 0ll;
    // Several ranges get the whole file once: a hundred times one MiB for a header line of
    // 1 KB would turn the lab into an amplifier.
    QByteArray hundred = "bytes=0-1048575";
    for (int i = 1; i < 100; ++i)
        hundred += ",0-1048575";
    QTest::newRow("a hundred ranges") << hundred << 200 << 0ll << kBig;
    QTest::newRow("two ranges") << QByteArray("bytes=0-9,20-29") << 200 << 0ll << kBig;
}

void TestLabDevice::rangeRequests()
{
    QFETCH(QByteArray, range);
    QFETCH(int, status);
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFile disk(hostPath(QStringLiteral("sda1/大文件 8MB.bin")));
    QVERIFY(disk.open(QIODevice::ReadOnly));
    QCOMPARE(disk.size(), kBig);
    const HttpSync::Result r = http_.get(
        base(port("http")) + kBigFile +
            QStringLiteral("?x-qm-devid=%1&x-qm-pri=1&x-qm-port=%2").arg(kDevice).arg(port("http")),
        range.isEmpty() ? HttpSync::Headers() : HttpSync::Headers{{"Range", range}});
    QCOMPARE(r.status, status);
    const QByteArray size = QByteArray::number(kBig);
    if (status == 416) {
        QCOMPARE(r.header("Content-Range"), "bytes */" + size);
        return;
    }
    if (status == 206)
        QCOMPARE(r.header("Content-Range"), "bytes " + QByteArray::number(from) + "-" +
                                                QByteArray::number(to - 1) + "/" + size);
    QVERIFY(disk.seek(from));
    QCOMPARE(r.body, disk.read(to - from));
}

void TestLabDevice::traversalRefused()
{
    const QString outside = QDir(lab_.sampleDir()).absoluteFilePath(QStringLiteral("lab.json"));
    QVERIFY(QFileInfo::exists(outside));
    for (const char *path :
         {"/media/sda1/../..", "/media/sda1/%2e%2e/%2e%2e", "/media/sda1/%2E%2E/sdb1", "/etc",
          "media/sda1", "/media/../media/sda1"})
        QVERIFY2(rtn(dlna("querydir", "&path=" + QString::fromLatin1(path))) == 2, path);
    for (const char *target :
         {"/media/sda1/%2e%2e/%2e%2e/%2e%2e/lab.json", "/media/sda1/..%2f..%2f..%2flab.json",
          "/etc/passwd", "/media/%2e%2e/etc/passwd"})
        QVERIFY2(status(base(port("http")) + QString::fromLatin1(target)) != 200, target);

    // A link inside a partition that leads out of it is not followed, by any service.
    QVERIFY(QFile::link(lab_.sampleDir(), hostPath(QStringLiteral("sda1/escape"))));
    QCOMPARE(rtn(dlna("querydir", "&path=/media/sda1/escape")), 2);
    QCOMPARE(status(base(port("http")) + QStringLiteral("/media/sda1/escape/lab.json")), 404);
    QCOMPARE(status(dlna("getfiledata", "&order=3&path=/media/sda1/escape/lab.json")), 404);
    QVERIFY(rtn(mkdir(QStringLiteral("/media/sda1/escape/made"))) != 0);
    QVERIFY(!QFileInfo::exists(lab_.sampleDir() + QStringLiteral("/made")));
    const QJsonObject del = get(dlna("delfileex", "&filelist=/media/sda1/escape/lab.json"));
    QCOMPARE(names(del, "resultlist", "result"), QStringList{"3"});
    QVERIFY(QFileInfo::exists(outside));
    for (const char *rest : {"uploadpath=/media/sda1/escape&file=planted.txt",
                             "uploadpath=/media/sda1&file=..%2Fplanted.txt"}) {
        const QString url = base(port("mps")) + QStringLiteral("/upload.csp?") + rest;
        QVERIFY2(http_.post(url, uploadForm("x"), kUploadHeaders).json().value("rtn").toInt() != 0,
                 rest);
    }
    QVERIFY(!QFileInfo::exists(lab_.sampleDir() + QStringLiteral("/planted.txt")));
    QVERIFY(!QFileInfo::exists(hostPath(QStringLiteral("planted.txt"))));
    QFile::remove(hostPath(QStringLiteral("sda1/escape")));

    // A NUL cuts nothing short: not an upload's name, not a path to delete or to fetch.
    const QString upload =
        base(port("mps")) + QStringLiteral("/upload.csp?uploadpath=/media/sda1&file=");
    QVERIFY(http_.post(upload + "nul.txt%00.jpg", uploadForm("x"), kUploadHeaders)
                .json()
                .value("rtn")
                .toInt() != 0);
    QVERIFY(!QFileInfo::exists(hostPath(QStringLiteral("sda1/nul.txt"))));
    QCOMPARE(http_.post(upload + "nul.txt", uploadForm("kept"), kUploadHeaders).json().value("rtn"),
             0);
    const QJsonObject cut = get(dlna("delfileex", "&filelist=/media/sda1/nul.txt%00/../../.."));
    QCOMPARE(names(cut, "resultlist", "result"), QStringList{"3"});
    QVERIFY(QFileInfo::exists(hostPath(QStringLiteral("sda1/nul.txt"))));
    QCOMPARE(status(base(port("http")) + QStringLiteral("/media/sda1/nul.txt%00.jpg")), 404);
    QCOMPARE(rtn(dlna("querydir", "&path=/media/sda1%00/../..")), 2);
    QFile::remove(hostPath(QStringLiteral("sda1/nul.txt")));
}

void TestLabDevice::relayForwards()
{
    QCOMPARE(get(dlna("querydir", "&path=/media/sda1/文档", true)),
             get(dlna("querydir", "&path=/media/sda1/文档")));
    // A ranged download through the relay; the relay logs it beside the device's own line.
    const QString file = kBigFile + QStringLiteral("?x-qm-devid=%1&x-qm-pri=1&x-qm-port=%2");
    const QString target = file.arg(kDevice).arg(port("http"));
    const HttpSync::Result part =
        http_.get(base(lab_.relayPort()) + target, {{"Range", "bytes=8000000-"}});
    QCOMPARE(part.status, 206);
    QCOMPARE(qint64(part.body.size()), kBig - 8000000);
    const QString line =
        QStringLiteral("%1 http GET %2 206 %3").arg(kDevice, target).arg(kBig - 8000000);
    QTRY_VERIFY_WITH_TIMEOUT(lab_.requestLog().contains("relay " + line), 10000);
    QVERIFY(lab_.requestLog().contains(line));

    // An unknown device, a port that is not the device's, no device: 502; off line: 503.
    const int offline = lab_.device(QStringLiteral("TVK0000000002")).value("http_port").toInt();
    QCOMPARE(status(base(lab_.relayPort()) + file.arg("TVK9999999999").arg(port("http"))), 502);
    QCOMPARE(status(base(lab_.relayPort()) + file.arg(kDevice).arg(lab_.accountPort())), 502);
    QCOMPARE(status(base(lab_.relayPort()) + QStringLiteral("/dlna.csp?opt=querydir")), 502);
    QCOMPARE(status(base(lab_.relayPort()) + file.arg("TVK0000000002").arg(offline)), 503);
    for (const char *pattern :
         {"^relay TVK9999999999 - GET .* 502 \\d+$", "^relay TVK0000000002 http GET .* 503 \\d+$"})
        QTRY_COMPARE_WITH_TIMEOUT(
            lab_.requestLog().filter(QRegularExpression(QString::fromLatin1(pattern))).size(), 1,
            10000);
}

// Each relayed connection has a thread; their number is bounded (the next connection hears 503
// at once) and stopping the lab ends them all, also those still waiting or sending.
void TestLabDevice::relayBoundedAndStopsCleanly()
{
    LabProcess lab;
    QVERIFY2(
        lab.startSample(QJsonObject{
            {"relay", QJsonObject{{"max_connections", 3}, {"rate_limit_bytes_per_s", 65536}}}}),
        qPrintable(lab.lastError()));
    const quint16 relay = quint16(lab.relayPort());
    QList<QTcpSocket *> idle;
    for (int i = 0; i < 2; ++i) {
        idle << new QTcpSocket(this);
        idle.last()->connectToHost(QHostAddress::LocalHost, relay);
        QVERIFY(idle.last()->waitForConnected(10000));
    }
    // The third: a slow download, under way.
    QTcpSocket slow;
    slow.connectToHost(QHostAddress::LocalHost, relay);
    QVERIFY(slow.waitForConnected(10000));
    slow.write("GET " + kBigFile.toUtf8() + "?x-qm-devid=" + kDevice.toUtf8() +
               "&x-qm-port=" + QByteArray::number(lab.device(kDevice).value("http_port").toInt()) +
               " HTTP/1.1\r\nHost: x\r\n\r\n");
    QVERIFY(slow.waitForReadyRead(10000));
    // The fourth finds every thread taken.
    QTcpSocket extra;
    extra.connectToHost(QHostAddress::LocalHost, relay);
    QVERIFY(extra.waitForConnected(10000));
    extra.write("GET /x?x-qm-devid=" + kDevice.toUtf8() + " HTTP/1.1\r\nHost: x\r\n\r\n");
    QVERIFY(extra.waitForReadyRead(10000));
    QVERIFY2(extra.readAll().startsWith("HTTP/1.1 503 "), "no answer while busy");

    QVERIFY(lab.stop()); // on SIGTERM, exit code 0, before the launcher's kill
    for (QTcpSocket *socket : idle + QList<QTcpSocket *>{&slow}) {
        if (socket->state() != QAbstractSocket::UnconnectedState)
            QVERIFY(socket->waitForDisconnected(10000));
    }
    qDeleteAll(idle);
}

void TestLabDevice::discoveryAnswers()
{
    const int target = port("discovery");
    QVERIFY(target > 0);
    QCOMPARE(lab_.device(QStringLiteral("TVK0000000003")).value("discovery_port").toInt(), target);
    QCOMPARE(lab_.device(QStringLiteral("TVK0000000002")).value("discovery_port").toInt(), 0);
    QUdpSocket socket;
    QVERIFY(socket.bind(QHostAddress(QHostAddress::LocalHost), 0));
    socket.writeDatagram("{\"type\":0,\"seq\":1}", QHostAddress::LocalHost, quint16(target));
    QMap<QString, QJsonObject> answers;
    QTRY_VERIFY_WITH_TIMEOUT(
        ([&] {
            while (socket.hasPendingDatagrams()) {
                const QJsonObject o =
                    QJsonDocument::fromJson(socket.receiveDatagram().data()).object();
                answers.insert(o.value("id").toString(), o);
            }
            return answers.size() == 2;
        }()),
        10000);
    QCOMPARE(answers.value(kDevice), (QJsonObject{{"id", kDevice},
                                                  {"ip", "127.0.0.1"},
                                                  {"xctl_port", port("xctl")},
                                                  {"mps_port", port("mps")},
                                                  {"http_port", port("http")}}));
    QVERIFY(answers.contains(QStringLiteral("TVK0000000003")));
    // Anything else gets no answer: the lab logs it as ignored, with nothing sent.
    socket.writeDatagram("hello", QHostAddress::LocalHost, quint16(target));
    socket.writeDatagram("{\"type\":1}", QHostAddress::LocalHost, quint16(target));
    const QRegularExpression ignored(
        QStringLiteral("^discovery UDP 127.0.0.1:%1 ignored 400 0$").arg(socket.localPort()));
    QTRY_COMPARE_WITH_TIMEOUT(lab_.requestLog().filter(ignored).size(), 2, 10000);
    QVERIFY(!socket.hasPendingDatagrams());
}

QTEST_GUILESS_MAIN(TestLabDevice)
#include "tst_labdevice.moc"
