// The browsing logic without widgets: texts, paths, the thumbnail cache's names, the
// breadcrumb, the new-folder rule, link routing, the viewer's fit and the reply parsers.
#include "app/extensions.h"
#include "browse/albumlisting.h"
#include "browse/breadcrumb.h"
#include "browse/deleteoutcome.h"
#include "browse/dirlisting.h"
#include "browse/filepaths.h"
#include "browse/filetexts.h"
#include "browse/imagefit.h"
#include "browse/navlink.h"
#include "browse/newfoldername.h"
#include "browse/partitionnames.h"
#include "browse/picturestep.h"
#include "browse/thumbcache.h"

#include <QtTest>

class TestBrowseCore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { fillExtensionSets(); }
    void sizesAndIcons();
    void displayPathsAndPartitionNames();
    void pathForms();
    void thumbnailNamesStayInsideTheDeviceFolder_data();
    void thumbnailNamesStayInsideTheDeviceFolder();
    void breadcrumb();
    void newFolderNames();
    void navLinks();
    void viewerFit_data();
    void viewerFit();
    void pictureStepping();
    void dirListing();
    void albumListing();
    void deleteOutcome_data();
    void deleteOutcome();
};

void TestBrowseCore::sizesAndIcons()
{
    const QList<QPair<quint64, QString>> sizes = {
        {0, "0 字节"},
        {1024, "1024 字节"},
        {1025, "1.00 KB"},
        {1536, "1.50 KB"},
        {1048576, "1024.00 KB"},
        {1048577, "1.00 MB"},
        {quint64(1) << 30, "1024.00 MB"},
        {(quint64(1) << 30) * 3 / 2, "1.50 GB"},
        {~quint64(0), "17179869184.00 GB"},
    };
    for (const auto &size : sizes)
        QCOMPARE(formatFileSize(size.first), size.second);

    // Case, the last of several dots, none at all, nothing after it.
    for (const QStringList &icon : QList<QStringList>{
             {"a.DOCX", "word"}, {"b.tar.gz", "zip"}, {"README", "file"}, {"x.", "file"}})
        QCOMPARE(fileIconPath(icon[0], true), ":/image/file/" + icon[1] + "_small.png");
}

void TestBrowseCore::displayPathsAndPartitionNames()
{
    QMap<QString, QString> &table = partitionNames();
    table = {{"/media/sda", "old"}};
    // A failed answer leaves the table as it was.
    QVERIFY(!readPartitionNames(R"({"rtn":1,"disklist":[]})", &table));
    QVERIFY(!readPartitionNames("[1]", &table));
    QCOMPARE(table.value("/media/sda"), "old");
    QVERIFY(readPartitionNames(R"({"rtn":0,"disklist":[
        {"Partitionlist":[{"name":"资料盘","letter":"E","path":"/media/sda1"},
                          {"name":"","letter":"F","path":"/media/sda10"},
                          {"name":"no path","letter":"G","path":""}]},
        {"Partitionlist":[{"name":"later wins","letter":"H","path":"/media/sda1"}]}]})",
                               &table));
    QCOMPARE(table, (QMap<QString, QString>{{"/media/sda1", "later wins"}, {"/media/sda10", "F"}}));

    // Key order: "/media/sda1" comes before "/media/sda10" and is a prefix of it.
    QCOMPARE(displayPath("/media/sda1/照片/a.jpg"), "later wins/照片/a.jpg");
    QCOMPARE(displayPath("/media/sda10/x"), "later wins0/x");
    QCOMPARE(displayPath("/media/sdb1/x"), "/media/sdb1/x");
    QCOMPARE(displayPath("/MEDIA/sda1"), "/MEDIA/sda1");
    table.clear();
}

void TestBrowseCore::pathForms()
{
    const QString odd = "/media/sda1/R&D #1/100% done/%E4%B8%AD it's|x+y.txt";
    const QString encoded = FilePaths::encode(odd);
    QCOMPARE(encoded,
             "/media/sda1/R%26D%20%231/100%25%20done/%25E4%25B8%25AD%20it%27s%7Cx%2By.txt");
    QCOMPARE(FilePaths::decode(encoded), odd);
    QCOMPARE(FilePaths::encodeName("a/b~-._"), "a%2Fb~-._");
    // Text without escapes is left alone, stray "%" included.
    QCOMPARE(FilePaths::decode("100% done"), "100% done");

    QCOMPARE(FilePaths::join("/media/", "a"), "/media/a");
    QCOMPARE(FilePaths::join("", "a"), "/a");
    QCOMPARE(FilePaths::parentOf("/media"), "");

    // Folders a listing may go to: the top and below it, never a look-alike or an empty path.
    QVERIFY(FilePaths::isUnder("/media", "/media") && FilePaths::isUnder("/media/sda1", "/media/"));
    for (const char *outside : {"/mediaX", "/x/media", ""})
        QVERIFY(!FilePaths::isUnder(outside, "/media"));
}

void TestBrowseCore::thumbnailNamesStayInsideTheDeviceFolder_data()
{
    QTest::addColumn<QString>("deviceid");
    QTest::addColumn<QString>("path");
    const QString id = "TVK0000000001";
    const QList<QPair<const char *, QStringList>> rows = {
        {"plain", {id, "/media/sda1/照片/a b.jpg"}},
        {"dot-dot", {id, "/media/../../../etc/passwd.jpg"}},
        {"only dot-dot", {id, "../.."}},
        {"encoded dot-dot", {id, "/media/%2e%2e/%2E%2E/x.png"}},
        {"dots", {id, "/media/./.../x.png"}},
        {"backslashes", {id, "\\..\\..\\x.jpg"}},
        {"windows drive", {id, "C:\\Windows\\x.jpg"}},
        {"nul", {id, QString("/media/a") + QChar(0) + "/../b.jpg"}},
        {"device dot-dot", {"..", "/media/x.jpg"}},
        {"device slash", {"../../x", "/x.jpg"}},
        {"long", {id, "/media/" + QString(300, QChar(0x4e2d)) + ".jpg"}},
        {"reserved", {id, "/media/CON/aux.jpg"}},
    };
    for (const auto &row : rows)
        QTest::newRow(row.first) << row.second[0] << row.second[1];
}

void TestBrowseCore::thumbnailNamesStayInsideTheDeviceFolder()
{
    QFETCH(QString, deviceid);
    QFETCH(QString, path);
    const QString name = ThumbCache::relativePath(deviceid, path);
    QVERIFY(!name.isEmpty());
    const QString folder = ThumbCache::deviceFolder(deviceid) + "/thumb/";
    QVERIFY2(name.startsWith(folder), qPrintable(name));
    QCOMPARE(QDir::cleanPath(name), name);
    QVERIFY(QDir::cleanPath("/data/" + name).startsWith("/data/" + folder));
    for (const QString &part : name.split('/')) {
        QVERIFY2(!part.isEmpty() && part != "." && part != ".." && part.size() <= 124,
                 qPrintable(part));
        for (const QChar c : part)
            QVERIFY2(c.unicode() > 32 && c.unicode() < 127 && c != '\\' && c != ':',
                     qPrintable(part));
    }
    // Distinct paths never share a cache file; a folder never takes a picture's name.
    QVERIFY(ThumbCache::relativePath(deviceid, path + "x") != name);
    QVERIFY(!ThumbCache::relativePath(deviceid, path + "/y.jpg").startsWith(name + "/"));
}

void TestBrowseCore::breadcrumb()
{
    const QMap<QString, QString> names{{"/media/sda1", "资料盘"}};
    auto targets = [](const QVector<Breadcrumb::Link> &links) {
        QStringList list;
        for (const Breadcrumb::Link &link : links)
            list << link.target + "=" + link.text;
        return list;
    };
    QCOMPARE(targets(Breadcrumb::links("/media", "/media", names, "Tovrik")),
             QStringList{"/media=Tovrik"});
    QCOMPARE(
        targets(
            Breadcrumb::links("/media", "/media/sda1/%E7%85%A7%E7%89%87/a%20b", names, "Tovrik")),
        (QStringList{"/media=Tovrik", "/media/sda1=资料盘", "/media/sda1/%E7%85%A7%E7%89%87=照片",
                     "/media/sda1/%E7%85%A7%E7%89%87/a%20b=a b"}));
    // A root given with its slash, and a path ending in one: no doubled slashes, empty last part.
    QCOMPARE(targets(Breadcrumb::links("/media/", "/media/sdb2/", names, "T")),
             (QStringList{"/media/=T", "/media/sdb2=sdb2", "/media/sdb2/="}));

    // Names are text, never markup; targets are encoded, so no quote ends the attribute.
    const QString text = Breadcrumb::text(Breadcrumb::links(
        "/media", "/media/" + FilePaths::encodeName("<b>it's</b>&"), names, "Tovrik"));
    QCOMPARE(text, "<a href='file:/media' style='text-decoration:none;color:#a0a0a0;'>Tovrik</a>"
                   " > <a href='file:/media/%3Cb%3Eit%27s%3C%2Fb%3E%26' "
                   "style='text-decoration:none;color:#a0a0a0;'>&lt;b&gt;it's&lt;/b&gt;&amp;</a>");
}

void TestBrowseCore::newFolderNames()
{
    QCOMPARE(newFolderName({}), "新建文件夹");
    QCOMPARE(newFolderName({"新建文件夹", "新建文件夹1", "x"}), "新建文件夹2");
    QCOMPARE(newFolderName({"新建文件夹1"}), "新建文件夹");
    QCOMPARE(newFolderName({"新建文件夹", "新建文件夹2"}), "新建文件夹1");
    QSet<QString> many{"新建文件夹"};
    for (int i = 1; i < 500; ++i)
        many.insert("新建文件夹" + QString::number(i));
    QCOMPARE(newFolderName(many), "新建文件夹500");
}

void TestBrowseCore::navLinks()
{
    const NavLink folder = NavLink::route("file:/media/sda1/a%20b");
    QCOMPARE(int(folder.kind), int(NavLink::Folder));
    QCOMPARE(folder.path, "/media/sda1/a%20b");
    QCOMPARE(NavLink::route("file:").path, "");
    const NavLink all = NavLink::route("video:-1");
    QCOMPARE(int(all.kind), int(NavLink::VideoSeries));
    QCOMPARE(all.series, -1);
    QCOMPARE(NavLink::route("video:12").series, 12);
    for (const char *unknown : {"File:/media", "video:", "video:abc", "http://x", "", "files"})
        QCOMPARE(int(NavLink::route(unknown).kind), int(NavLink::Unknown));
}

void TestBrowseCore::viewerFit_data()
{
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QSize>("shown");
    const QSize hd(1920, 1080);
    QTest::newRow("fits") << QSize(800, 600) << hd << QSize(800, 600);
    QTest::newRow("exactly the free area") << QSize(1820, 960) << hd << QSize(1820, 960);
    QTest::newRow("wide") << QSize(4000, 1000) << hd << QSize(1820, 455);
    QTest::newRow("tall") << QSize(1000, 4000) << hd << QSize(240, 960);
    QTest::newRow("one pixel too wide") << QSize(1821, 100) << hd << QSize(1820, 100);
    QTest::newRow("same shape as the area") << QSize(3640, 1920) << hd << QSize(1820, 960);
    QTest::newRow("a line") << QSize(100000, 1) << hd << QSize(1820, 1);
    QTest::newRow("empty") << QSize(0, 10) << hd << QSize();
    QTest::newRow("tiny screen") << QSize(500, 500) << QSize(50, 50) << QSize(1, 1);
}

void TestBrowseCore::viewerFit()
{
    QFETCH(QSize, image);
    QFETCH(QSize, screen);
    QFETCH(QSize, shown);
    QCOMPARE(fitImageSize(image, screen), shown);
}

void TestBrowseCore::pictureStepping()
{
    // Rows: 0 pic, 1 doc, 2 folder, 3 pic, 4 pic, 5 doc.
    const QList<bool> pictures{true, false, false, true, true, false};
    auto isPicture = [&](int row) { return pictures.at(row); };
    QCOMPARE(pictureStep(6, 0, 1, isPicture), 3);
    QCOMPARE(pictureStep(6, 3, -1, isPicture), 0);
    QCOMPARE(pictureStep(6, 0, -1, isPicture), -1);
    QCOMPARE(pictureStep(6, 4, 1, isPicture), -1);
    QCOMPARE(pictureStep(6, 5, 1, isPicture), -1);
    QCOMPARE(pictureStep(6, -1, 1, isPicture), -1);
    QCOMPARE(pictureStep(0, 0, 1, isPicture), -1);
}

void TestBrowseCore::dirListing()
{
    const DirListing ok = DirListing::parse(R"({"rtn":0,"total":3,"path":"/media/sda1/",
        "filelist":[{"attribute":"0x01","name":"照片","time":1480641705,"size":0},
                    {"attribute":"0x10","name":"a b.jpg","time":0,"size":8589934592},
                    {"attribute":"0x01 ","name":"not a folder","size":"12"}]})",
                                            100);
    QVERIFY(ok.ok() && ok.total == 3 && ok.entries.size() == 3);
    QCOMPARE(ok.entries[0].path, "/media/sda1/照片");
    QVERIFY(ok.entries[0].isFolder());
    QCOMPARE(ok.entries[0].time, QDateTime::fromSecsSinceEpoch(1480641705));
    QCOMPARE(ok.entries[1].path, "/media/sda1/a b.jpg");
    QCOMPARE(ok.entries[1].size, 8589934592ULL);
    QVERIFY(!ok.entries[2].isFolder());
    QCOMPARE(ok.entries[2].size, 12ULL);

    // The device cannot push more rows than were asked for.
    QCOMPARE(DirListing::parse(R"({"rtn":0,"total":9,"filelist":[{},{},{}]})", 2).entries.size(),
             2);
    QCOMPARE(DirListing::parse(R"({"rtn":0,"total":-5})", 2).total, 0);

    const QList<QPair<QByteArray, int>> failures = {
        {R"({"rtn":3,"total":1,"filelist":[{"name":"x"}]})", DeviceReply::Failed},
        {R"({"rtn":"0"})", DeviceReply::Failed},
        {R"({"rtn":0.5})", DeviceReply::Failed},
        {R"({"total":1})", DeviceReply::NoRtn},
        {R"([{"rtn":0}])", DeviceReply::NotObject},
        {R"({"rtn":0,"total":)", DeviceReply::NotObject},
        {"", DeviceReply::NotObject},
    };
    for (const auto &failure : failures) {
        const DirListing listing = DirListing::parse(failure.first, 100);
        QCOMPARE(int(listing.status), failure.second);
        QVERIFY(listing.entries.isEmpty());
    }
    QCOMPARE(DirListing::parse(R"({"rtn":3})", 100).rtn, 3);
}

void TestBrowseCore::albumListing()
{
    const AlbumListing ok = AlbumListing::parse(R"({"rtn":0,"total":2,"albumlist":[
        {"path":"/media/sda1/a%20b.jpg","time":1,"size":5},{"path":"/media/sda2/文档/c.pdf"}]})",
                                                50);
    QVERIFY(ok.ok() && ok.total == 2 && ok.entries.size() == 2);
    // The path exactly as the device sends it.
    QCOMPARE(ok.entries[0].path, "/media/sda1/a%20b.jpg");
    QCOMPARE(ok.entries[0].size, 5ULL);
    QCOMPARE(int(AlbumListing::parse(R"({"rtn":5})", 50).status), int(DeviceReply::Failed));
    QVERIFY(AlbumListing::parse(R"({"rtn":0,"albumlist":{}})", 50).entries.isEmpty());
}

void TestBrowseCore::deleteOutcome_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QStringList>("removed");
    QTest::addColumn<bool>("reload");
    const QByteArray results = R"({"rtn":0,"resultlist":[
        {"path":"/media/a/x.txt","result":"0"},{"path":"/media/a/y.txt","result":"1"},
        {"path":"/media/a/z.txt","result":"2"},{"path":"/media/a/%E4%B8%AD","result":"3"},
        {"path":"/media/a/w.txt","result":"4"}]})";
    QTest::newRow("every result") << results
                                  << QStringList{"1:删除 x.txt 成功", "0:删除 y.txt 失败",
                                                 "0:文件 z.txt 不存在", "0:没有权限删除 %E4%B8%AD"}
                                  << QStringList{"/media/a/x.txt"} << false;
    QTest::newRow("unknown path reloads once, after the rest")
        << QByteArray(R"({"rtn":0,"resultlist":[{"path":"/media/a/semi","result":"2"},
            {"path":"/media/a/x.txt","result":"0"},{"path":"bar","result":"2"}]})")
        << QStringList{"1:删除 x.txt 成功", "1:删除完成"} << QStringList{"/media/a/x.txt"} << true;
    QTest::newRow("encoded echo, numeric result, duplicates")
        << QByteArray(R"({"rtn":0,"resultlist":[{"path":"/media/a/y.txt","result":0},
            {"path":"/media/a/y.txt","result":" 0"},{"path":"/media/a/%25E4%25B8%25AD","result":"3"}]})")
        << QStringList{"1:删除 y.txt 成功", "1:删除 y.txt 成功", "0:没有权限删除 %E4%B8%AD"}
        << QStringList{"/media/a/y.txt"} << false;
    QTest::newRow("rtn not 0") << QByteArray(R"({"rtn":2,"resultlist":[]})")
                               << QStringList{"0:删除文件失败: 2"} << QStringList() << false;
    QTest::newRow("no rtn") << QByteArray(R"({"resultlist":[]})") << QStringList() << QStringList()
                            << false;
    QTest::newRow("not an object") << QByteArray("[]") << QStringList() << QStringList() << false;
    QTest::newRow("garbage result")
        << QByteArray(
               R"({"rtn":0,"resultlist":[{"path":"/media/a/x.txt","result":"zero"},1,null]})")
        << QStringList{"1:删除完成"} << QStringList() << true;
}

void TestBrowseCore::deleteOutcome()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, messages);
    QFETCH(QStringList, removed);
    QFETCH(bool, reload);
    const QStringList sent{"/media/a/x.txt", "/media/a/y.txt", "/media/a/z.txt",
                           "/media/a/%E4%B8%AD", "/media/a/w.txt"};
    const DeleteOutcome outcome = DeleteOutcome::evaluate(body, sent);
    QStringList texts;
    for (const DeleteOutcome::Message &message : outcome.messages)
        texts << QString::number(message.kind) + ":" + message.text;
    QCOMPARE(texts, messages);
    QCOMPARE(outcome.removed, removed);
    QCOMPARE(outcome.reload, reload);
}

QTEST_GUILESS_MAIN(TestBrowseCore)
#include "tst_browsecore.moc"
