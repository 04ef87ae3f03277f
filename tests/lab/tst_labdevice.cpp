// One lab device, its relay and its discovery answer, driven the way the client drives them.
#include "tests/support/httpsync.h"
#include "tests/support/labprocess.h"

#include <QDir>
#include <QFile>
#include <QHttpMultiPart>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>

namespace {

const QString kDevice = QStringLiteral("TVK0000000001");
const QByteArray kBoundary = "boundary_vbx_MzExMTc=MzA5MDQ=MjA2OTE=";

QJsonObject json(const HttpSync::Result &r)
{
    return QJsonDocument::fromJson(r.body).object();
}

// As the client encodes a device path for a request: UTF-8, only "%" and "/" kept.
QString encoded(const QString &path)
{
    return QString::fromLatin1(path.toUtf8().toPercentEncoding("%/"));
}

QStringList names(const QJsonObject &reply)
{
    QStringList out;
    for (const QJsonValue &v : reply.value("filelist").toArray())
        out << v.toObject().value("name").toString();
    return out;
}

} // namespace

class TestLabDevice : public QObject
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
    void rangeRequests();
    void traversalRefused();
    void relayForwards();
    void discoveryAnswers();

private:
    QString base(int port) const { return QStringLiteral("http://127.0.0.1:%1").arg(port); }
    int port(const QString &service) const
    {
        return lab_.device(kDevice).value(service + QStringLiteral("_port")).toInt();
    }
    QString dlna(const QString &opt, const QString &rest, bool viaRelay = false) const;
    QString hostPath(const QString &rel) const
    {
        return lab_.device(kDevice).value("root").toString() + QLatin1Char('/') + rel;
    }
    LabProcess lab_;
    HttpSync http_;
};

QString TestLabDevice::dlna(const QString &opt, const QString &rest, bool viaRelay) const
{
    return base(viaRelay ? lab_.relayPort() : port(QStringLiteral("xctl"))) +
           QStringLiteral("/dlna.csp?fname=dlna&opt=%1&x-qm-devid=%2&x-qm-pri=1&x-qm-port=%3"
                          "&userid=880000001&username=demo")
               .arg(opt, kDevice)
               .arg(port(QStringLiteral("xctl"))) +
           rest;
}

void TestLabDevice::initTestCase()
{
    QVERIFY2(lab_.startSample(), qPrintable(lab_.lastError()));
}

void TestLabDevice::queryDirTopAndPaging()
{
    const QJsonObject top =
        json(http_.get(HttpSync::url(dlna("querydir", "&start=0&count=100&path="))));
    QCOMPARE(top.value("rtn").toInt(), 0);
    QCOMPARE(top.value("path").toString(), QStringLiteral("/media"));
    QCOMPARE(names(top), (QStringList{"sda1", "sdb1"}));
    QCOMPARE(top.value("filelist").toArray()[0].toObject().value("attribute").toString(),
             QStringLiteral("0x01"));

    const QJsonObject all =
        json(http_.get(HttpSync::url(dlna("querydir", "&start=0&count=100&path=/media/sda1"))));
    QCOMPARE(all.value("rtn").toInt(), 0);
    const QJsonArray list = all.value("filelist").toArray();
    QCOMPARE(all.value("total").toInt(), list.size());
    // Folders come first.
    bool seenFile = false;
    for (const QJsonValue &v : list) {
        const bool dir = v.toObject().value("attribute").toString() == QLatin1String("0x01");
        QVERIFY(!(dir && seenFile));
        seenFile |= !dir;
    }
    QVERIFY(names(all).contains(QStringLiteral("大文件 8MB.bin")));
    const QJsonObject page =
        json(http_.get(HttpSync::url(dlna("querydir", "&start=2&count=3&path=/media/sda1/"))));
    QCOMPARE(page.value("total").toInt(), list.size());
    QCOMPARE(names(page), names(all).mid(2, 3));
    QCOMPARE(page.value("path").toString(), QStringLiteral("/media/sda1"));
    const QJsonObject past =
        json(http_.get(HttpSync::url(dlna("querydir", "&start=999&count=50&path=/media/sda1"))));
    QCOMPARE(past.value("rtn").toInt(), 0);
    QVERIFY(past.value("filelist").toArray().isEmpty());
    QCOMPARE(
        json(http_.get(HttpSync::url(dlna("querydir", "&path=/media/sdz9")))).value("rtn").toInt(),
        2);
    QCOMPARE(json(http_.get(HttpSync::url(dlna("nosuchopt", "")))).value("rtn").toInt(), 1);
}

void TestLabDevice::queryDirOddNames()
{
    const QString folder = QStringLiteral("/media/sda1/奇怪的名字");
    const QJsonObject r = json(
        http_.get(HttpSync::url(dlna("querydir", "&start=0&count=100&path=" + encoded(folder)))));
    QCOMPARE(r.value("path").toString(), folder);
    const QStringList n = names(r);
    for (const char *expected :
         {"R&D notes (v2).txt", "100% done.txt", "%E4%B8%AD literally.txt", "#1 priority.txt",
          "a+b=c.md", "他说 \"你好\".txt", "it's here.txt", "emoji 😀.txt", "  leading blanks.txt",
          "semi;colon|bar.txt"})
        QVERIFY2(n.contains(QString::fromUtf8(expected)), expected);
    // A name that looks like an escape is a name: encoded once, it comes back as itself.
    const HttpSync::Result file = http_.get(
        HttpSync::url(base(port("http")) + QLatin1Char('/') +
                      QString::fromLatin1((folder + QStringLiteral("/%E4%B8%AD literally.txt"))
                                              .toUtf8()
                                              .toPercentEncoding("/"))));
    QCOMPARE(file.status, 200);
    QCOMPARE(file.body, QByteArray("an escape that is part of the name\n"));
}

void TestLabDevice::fileListsNewestFirst()
{
    const QJsonObject pictures = json(http_.get(HttpSync::url(
        dlna("get", "&type=29489&start=0&count=999&sortby=time&sorttype=down&businesstype=1"))));
    QCOMPARE(pictures.value("rtn").toInt(), 0);
    QVERIFY(pictures.value("total").toInt() >= 200);
    const QJsonArray list = pictures.value("albumlist").toArray();
    QCOMPARE(list.size(), pictures.value("total").toInt());
    qint64 last = std::numeric_limits<qint64>::max();
    for (const QJsonValue &v : list) {
        const QJsonObject o = v.toObject();
        QVERIFY(o.value("path").toString().startsWith(QLatin1String("/media/")));
        QVERIFY(o.value("size").toDouble() > 0);
        const qint64 t = static_cast<qint64>(o.value("time").toDouble());
        QVERIFY(t <= last);
        last = t;
    }
    const QJsonObject page =
        json(http_.get(HttpSync::url(dlna("get", "&type=29489&start=10&count=5"))));
    QCOMPARE(page.value("albumlist").toArray().size(), 5);
    QCOMPARE(page.value("albumlist").toArray()[0], list[10]);

    const QJsonObject docs =
        json(http_.get(HttpSync::url(dlna("get", "&type=160560&start=0&count=100"))));
    QSet<QString> extensions;
    for (const QJsonValue &v : docs.value("albumlist").toArray()) {
        const QString p = v.toObject().value("path").toString();
        extensions << p.mid(p.lastIndexOf('.')).toLower();
    }
    QCOMPARE(extensions, (QSet<QString>{".md", ".html", ".rtf", ".wps", ".txt", ".xls", ".ppt",
                                        ".docx", ".xlsx", ".doc", ".pdf", ".pptx"}));
}

void TestLabDevice::fileData()
{
    const QString big = QStringLiteral("/media/sda1/照片/wide panorama.jpg");
    const HttpSync::Result thumb =
        http_.get(HttpSync::url(dlna("getfiledata", "&order=1&size=0&path=" + encoded(big))));
    QCOMPARE(thumb.status, 200);
    const QImage image = QImage::fromData(thumb.body);
    QVERIFY(!image.isNull());
    QVERIFY(image.width() <= 160 && image.height() <= 160);
    QCOMPARE(image.width(), 160); // 3000 x 500 keeps its shape

    const HttpSync::Result whole =
        http_.get(HttpSync::url(dlna("getfiledata", "&order=3&size=0&path=" + encoded(big))));
    QCOMPARE(whole.status, 200);
    QFile disk(hostPath(QStringLiteral("sda1/照片/wide panorama.jpg")));
    QVERIFY(disk.open(QIODevice::ReadOnly));
    QCOMPARE(whole.body, disk.readAll());

    const QString video = QStringLiteral("/media/sda1/视频/城市 夜景.avi");
    const HttpSync::Result poster =
        http_.get(HttpSync::url(dlna("getfiledata", "&order=1&size=0&path=" + encoded(video))));
    QVERIFY(!QImage::fromData(poster.body).isNull());
    QCOMPARE(
        http_.get(HttpSync::url(dlna("getfiledata", "&order=1&path=/media/sda1/none.jpg"))).status,
        404);
}

void TestLabDevice::realVideoSeriesAndPosters()
{
    const QString rest =
        QStringLiteral("&type=830&start=0&count=100&seriesid=%1&sortby=1&sorttype=0&from=0&dpart=");
    const QJsonObject all = json(http_.get(HttpSync::url(dlna("getrealvideo", rest.arg(-1)))));
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

    const QJsonObject series =
        json(http_.get(HttpSync::url(dlna("getrealvideo", rest.arg(seriesId)))));
    QCOMPARE(series.value("videolist").toArray().size(), 3);
    const QJsonObject flat = json(http_.get(HttpSync::url(dlna("getrealvideo", rest.arg(-15)))));
    QCOMPARE(flat.value("videolist").toArray().size(), singles + 3);

    // Posters are absolute URLs that work the way the listing came: directly or relayed.
    const QString direct =
        series.value("videolist").toArray()[0].toObject().value("imgpath").toString();
    QVERIFY(direct.startsWith(base(port("http")) + QStringLiteral("/poster/")));
    const HttpSync::Result p1 = http_.get(QUrl(direct));
    QCOMPARE(p1.status, 200);
    QVERIFY(!QImage::fromData(p1.body).isNull());
    const QJsonObject relayed =
        json(http_.get(HttpSync::url(dlna("getrealvideo", rest.arg(-1), true))));
    const QString viaRelay =
        relayed.value("videolist").toArray()[0].toObject().value("imgpath").toString();
    QVERIFY(viaRelay.startsWith(base(lab_.relayPort())));
    QCOMPARE(http_.get(QUrl(viaRelay)).status, 200);
}

void TestLabDevice::mkdirAndDelete()
{
    const QString dir =
        QStringLiteral("/media/sda1/空文件夹/") +
        QString::fromLatin1(QStringLiteral("新建文件夹 1").toUtf8().toPercentEncoding());
    const QString mkdir =
        base(port("xctl")) +
        QStringLiteral("/protocol.csp?fname=storage&opt=recursive_mkdir&resp_t=2&x-qm-devid=%1"
                       "&x-qm-pri=1&x-qm-port=%2&dirpath=%3&userid=0&username=0")
            .arg(kDevice)
            .arg(port("xctl"));
    QCOMPARE(json(http_.get(HttpSync::url(mkdir.arg(dir + QStringLiteral("/a/b")))))
                 .value("rtn")
                 .toInt(),
             0);
    QVERIFY(QFileInfo(hostPath(QStringLiteral("sda1/空文件夹/新建文件夹 1/a/b"))).isDir());

    QFile victim(hostPath(QStringLiteral("sda1/空文件夹/C++ & co.txt")));
    QVERIFY(victim.open(QIODevice::WriteOnly));
    victim.close();
    const QStringList paths = {QStringLiteral("/media/sda1/空文件夹/新建文件夹 1"),
                               QStringLiteral("/media/sda1/空文件夹/C++ & co.txt"),
                               QStringLiteral("/media/sda1/空文件夹/gone.txt"),
                               QStringLiteral("/media/sda1"),
                               QStringLiteral("/media/sda1/../sdb1/备份/notes.txt")};
    const QJsonObject r =
        json(http_.get(HttpSync::url(dlna("delfileex", "&filelist=" + encoded(paths.join('|'))))));
    QCOMPARE(r.value("rtn").toInt(), 0);
    QStringList results;
    for (const QJsonValue &v : r.value("resultlist").toArray())
        results << v.toObject().value("result").toString();
    QCOMPARE(results, (QStringList{"0", "0", "2", "3", "3"}));
    QCOMPARE(r.value("resultlist").toArray()[1].toObject().value("path").toString(), paths[1]);
    QVERIFY(!QFileInfo::exists(hostPath(QStringLiteral("sda1/空文件夹/新建文件夹 1"))));
    QVERIFY(!victim.exists());
    QVERIFY(QFileInfo::exists(hostPath(QStringLiteral("sdb1/备份/notes.txt"))));
}

void TestLabDevice::uploadAsTheClientSendsIt()
{
    QByteArray content(300000, Qt::Uninitialized);
    for (int i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>((i * 7919) >> 3);
    auto upload = [&](const QByteArray &data, bool overwrite) {
        auto *multi = new QHttpMultiPart(QHttpMultiPart::FormDataType);
        multi->setBoundary(kBoundary);
        QHttpPart part;
        part.setHeader(QNetworkRequest::ContentTypeHeader,
                       QStringLiteral("application/octet-stream"));
        part.setHeader(QNetworkRequest::ContentDispositionHeader,
                       QStringLiteral("form-data; name=\"file\""));
        part.setBody(data);
        multi->append(part);
        QString url =
            base(port("mps")) +
            QStringLiteral(
                "/upload.csp?x-qm-devid=%1&x-qm-pri=1&x-qm-port=%2&uploadpath=%3&file=%4")
                .arg(kDevice)
                .arg(port("mps"))
                .arg(QStringLiteral("/media/sda1/上传 目录"),
                     QString::fromLatin1(
                         QStringLiteral("报告 #1 & 草稿.bin").toUtf8().toPercentEncoding()));
        if (overwrite)
            url += QStringLiteral("&opt=overwrite");
        return json(http_.post(HttpSync::url(url), multi,
                               {{"Content-Type", "multipart/form-data; boundary=" + kBoundary}}));
    };
    QCOMPARE(upload(content, true).value("rtn").toInt(), 0);
    const QString target = hostPath(QStringLiteral("sda1/上传 目录/报告 #1 & 草稿.bin"));
    QFile f(target);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), content);
    f.close();
    // Without overwrite the old file stays and the new one gets a number.
    const QJsonObject second = upload("second", false);
    QCOMPARE(second.value("path").toString(),
             QStringLiteral("/media/sda1/上传 目录/报告 #1 & 草稿 (1).bin"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.size(), qint64(content.size()));
    f.close();
    QCOMPARE(upload("third", true).value("rtn").toInt(), 0);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("third"));
    // No temporary file is left behind.
    QCOMPARE(QDir(QFileInfo(target).absolutePath()).entryList(QDir::Files | QDir::Hidden).size(),
             2);
}

void TestLabDevice::rangeRequests()
{
    const QString url =
        base(port("http")) + QLatin1Char('/') +
        QString::fromLatin1(
            QStringLiteral("/media/sda1/大文件 8MB.bin").toUtf8().toPercentEncoding("/"))
            .mid(1) +
        QStringLiteral("?x-qm-devid=%1&x-qm-pri=1&x-qm-port=%2").arg(kDevice).arg(port("http"));
    QFile disk(hostPath(QStringLiteral("sda1/大文件 8MB.bin")));
    QVERIFY(disk.open(QIODevice::ReadOnly));
    const QByteArray all = disk.readAll();
    const qint64 size = all.size();

    const HttpSync::Result whole = http_.get(HttpSync::url(url));
    QCOMPARE(whole.status, 200);
    QCOMPARE(whole.body, all);
    const HttpSync::Result tail = http_.get(HttpSync::url(url), {{"Range", "bytes=1000-"}});
    QCOMPARE(tail.status, 206);
    QCOMPARE(tail.header("Content-Range"), QByteArray("bytes 1000-" + QByteArray::number(size - 1) +
                                                      "/" + QByteArray::number(size)));
    QCOMPARE(tail.body, all.mid(1000));
    const HttpSync::Result one = http_.get(HttpSync::url(url), {{"Range", "bytes=0-0"}});
    QCOMPARE(one.status, 206);
    QCOMPARE(one.body, all.left(1));
    const HttpSync::Result suffix = http_.get(HttpSync::url(url), {{"Range", "bytes=-500"}});
    QCOMPARE(suffix.status, 206);
    QCOMPARE(suffix.body, all.right(500));
    const HttpSync::Result last =
        http_.get(HttpSync::url(url), {{"Range", "bytes=" + QByteArray::number(size - 1) + "-"}});
    QCOMPARE(last.body, all.right(1));
    for (const QByteArray &bad :
         {QByteArray("bytes=") + QByteArray::number(size) + "-", QByteArray("bytes=99999999-")}) {
        const HttpSync::Result r = http_.get(HttpSync::url(url), {{"Range", bad}});
        QCOMPARE(r.status, 416);
        QCOMPARE(r.header("Content-Range"), QByteArray("bytes */") + QByteArray::number(size));
    }
}

void TestLabDevice::traversalRefused()
{
    const QString outside = QDir(lab_.sampleDir()).absoluteFilePath(QStringLiteral("lab.json"));
    QVERIFY(QFileInfo::exists(outside));
    for (const QString &path :
         {QStringLiteral("/media/sda1/../.."), QStringLiteral("/media/sda1/%2e%2e/%2e%2e"),
          QStringLiteral("/media/sda1/%2E%2E/sdb1"), QStringLiteral("/etc"),
          QStringLiteral("media/sda1"), QStringLiteral("/media/../media/sda1")})
        QCOMPARE(
            json(http_.get(HttpSync::url(dlna("querydir", "&path=" + path)))).value("rtn").toInt(),
            2);
    for (const QString &target :
         {QStringLiteral("/media/sda1/%2e%2e/%2e%2e/%2e%2e/lab.json"),
          QStringLiteral("/media/sda1/..%2f..%2f..%2flab.json"), QStringLiteral("/etc/passwd"),
          QStringLiteral("/media/%2e%2e/etc/passwd")})
        QVERIFY(http_.get(HttpSync::url(base(port("http")) + target)).status != 200);

    // A link inside a partition that leads out of it is not followed.
    QVERIFY(QFile::link(lab_.sampleDir(), hostPath(QStringLiteral("sda1/escape"))));
    QCOMPARE(json(http_.get(HttpSync::url(dlna("querydir", "&path=/media/sda1/escape"))))
                 .value("rtn")
                 .toInt(),
             2);
    QCOMPARE(
        http_.get(HttpSync::url(base(port("http")) + QStringLiteral("/media/sda1/escape/lab.json")))
            .status,
        404);
    QCOMPARE(
        http_.get(HttpSync::url(dlna("getfiledata", "&order=3&path=/media/sda1/escape/lab.json")))
            .status,
        404);
    const QString mkdir =
        base(port("xctl")) +
        QStringLiteral("/protocol.csp?fname=storage&opt=recursive_mkdir&dirpath=");
    QVERIFY(json(http_.get(HttpSync::url(mkdir + QStringLiteral("/media/sda1/escape/made"))))
                .value("rtn")
                .toInt() != 0);
    QVERIFY(!QFileInfo::exists(lab_.sampleDir() + QStringLiteral("/made")));
    const QJsonObject del =
        json(http_.get(HttpSync::url(dlna("delfileex", "&filelist=/media/sda1/escape/lab.json"))));
    QCOMPARE(del.value("resultlist").toArray()[0].toObject().value("result").toString(),
             QStringLiteral("3"));
    QVERIFY(QFileInfo::exists(outside));
    auto *multi = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentDispositionHeader,
                   QStringLiteral("form-data; name=\"file\""));
    part.setBody("x");
    multi->append(part);
    const QJsonObject up = json(http_.post(
        HttpSync::url(base(port("mps")) +
                      QStringLiteral("/upload.csp?uploadpath=/media/sda1/escape&file=planted.txt")),
        multi));
    QVERIFY(up.value("rtn").toInt() != 0);
    QVERIFY(!QFileInfo::exists(lab_.sampleDir() + QStringLiteral("/planted.txt")));
    auto *multi2 = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    multi2->append(part);
    QVERIFY(json(http_.post(
                     HttpSync::url(base(port("mps")) +
                                   QStringLiteral(
                                       "/upload.csp?uploadpath=/media/sda1&file=..%2Fplanted.txt")),
                     multi2))
                .value("rtn")
                .toInt() != 0);
    QFile::remove(hostPath(QStringLiteral("sda1/escape")));
}

void TestLabDevice::relayForwards()
{
    const QJsonObject direct =
        json(http_.get(HttpSync::url(dlna("querydir", "&path=/media/sda1/文档"))));
    const QJsonObject relayed =
        json(http_.get(HttpSync::url(dlna("querydir", "&path=/media/sda1/文档", true))));
    QCOMPARE(relayed, direct);
    // A ranged download through the relay.
    const QString file = QStringLiteral(
        "/media/sda1/%E5%A4%A7%E6%96%87%E4%BB%B6%208MB.bin?x-qm-devid=%1&x-qm-pri=1&x-qm-port=%2");
    const HttpSync::Result part =
        http_.get(HttpSync::url(base(lab_.relayPort()) + file.arg(kDevice).arg(port("http"))),
                  {{"Range", "bytes=8000000-"}});
    QCOMPARE(part.status, 206);
    QCOMPARE(part.body.size(), 8388608 - 8000000);
    QCOMPARE(http_
                 .get(HttpSync::url(base(lab_.relayPort()) +
                                    file.arg("TVK9999999999").arg(port("http"))))
                 .status,
             502);
    QCOMPARE(
        http_.get(HttpSync::url(base(lab_.relayPort()) + file.arg(kDevice).arg(lab_.accountPort())))
            .status,
        502);
    QCOMPARE(
        http_.get(HttpSync::url(base(lab_.relayPort()) + QStringLiteral("/dlna.csp?opt=querydir")))
            .status,
        502);
    const QJsonObject offline = lab_.device(QStringLiteral("TVK0000000002"));
    QCOMPARE(
        http_
            .get(HttpSync::url(base(lab_.relayPort()) +
                               file.arg("TVK0000000002").arg(offline.value("http_port").toInt())))
            .status,
        503);
    // The relay logs each request beside the device's own line: place, device, service.
    const QString relayed206 = QStringLiteral("relay %1 http GET %2 206 %3")
                                   .arg(kDevice, file.arg(kDevice).arg(port("http")))
                                   .arg(8388608 - 8000000);
    const QString device206 = QStringLiteral("%1 http GET %2 206 %3")
                                  .arg(kDevice, file.arg(kDevice).arg(port("http")))
                                  .arg(8388608 - 8000000);
    QTRY_VERIFY_WITH_TIMEOUT(lab_.requestLog().contains(relayed206), 10000);
    QVERIFY(lab_.requestLog().contains(device206));
    QTRY_VERIFY_WITH_TIMEOUT(
        lab_.requestLog()
                .filter(QRegularExpression("^relay TVK9999999999 - GET .* 502 \\d+$"))
                .size() == 1,
        10000);
    QTRY_VERIFY_WITH_TIMEOUT(
        lab_.requestLog()
                .filter(QRegularExpression("^relay TVK0000000002 http GET .* 503 \\d+$"))
                .size() == 1,
        10000);
}

void TestLabDevice::discoveryAnswers()
{
    QUdpSocket socket;
    QVERIFY(socket.bind(QHostAddress(QHostAddress::LocalHost), 0));
    const quint16 target =
        static_cast<quint16>(lab_.device(kDevice).value("discovery_port").toInt());
    QVERIFY(target > 0);
    QCOMPARE(lab_.device(QStringLiteral("TVK0000000003")).value("discovery_port").toInt(),
             int(target));
    QCOMPARE(lab_.device(QStringLiteral("TVK0000000002")).value("discovery_port").toInt(), 0);
    socket.writeDatagram(QByteArray("{\"type\":0,\"seq\":1}"), QHostAddress::LocalHost, target);
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
    const QJsonObject one = answers.value(kDevice);
    QCOMPARE(one.size(), 5);
    QCOMPARE(one.value("ip").toString(), QStringLiteral("127.0.0.1"));
    QCOMPARE(one.value("xctl_port").toInt(), port("xctl"));
    QCOMPARE(one.value("mps_port").toInt(), port("mps"));
    QCOMPARE(one.value("http_port").toInt(), port("http"));
    QVERIFY(answers.contains(QStringLiteral("TVK0000000003")));
    // Anything else gets no answer.
    socket.writeDatagram(QByteArray("hello"), QHostAddress::LocalHost, target);
    socket.writeDatagram(QByteArray("{\"type\":1}"), QHostAddress::LocalHost, target);
    QTest::qWait(500);
    QVERIFY(!socket.hasPendingDatagrams());
}

QTEST_GUILESS_MAIN(TestLabDevice)
#include "tst_labdevice.moc"
