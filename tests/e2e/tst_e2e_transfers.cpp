// The transfer pages of the whole client (bin/kelvora) under its own Xvfb against a lab on free
// loopback ports, driven as a user would: sign in, browse to a folder, select its three files
// with Ctrl+A and download them through the folder dialog; upload one file through the file
// dialog and the device folder picker and one by dragging it from another program onto the
// window; watch them finish and appear in the recent files. Checked by the files' contents.
//
// The steps build on each other in declaration order, in one client.
#include "tests/e2e/xsession.h"

#include <QCryptographicHash>
#include <QtTest>

namespace {

const int startMs = ClientSession::startMs, answerMs = ClientSession::answerMs;
const QString device = QStringLiteral("TVK0000000001");

// Positions inside the main window, from its fixed layout.
const QPoint cloudButton(268, 45), taskButton(365, 45);       // top bar
const QPoint recentButton(60, 177), allButton(60, 221);       // cloud page, left column
const QPoint uploadButton(58, 115), downloadButton(142, 115); // cloud toolbar
const QPoint firstTile(257, 245);                             // explorer, the first entry
const QPoint dropSpot(520, 400);                              // somewhere on the cloud page
const QPoint uploadList(75, 157), downloadList(75, 201);      // transfer page, left column
// In the device folder picker (550 x 410): its first entry and "确定".
const QPoint pickerFirstTile(76, 95), pickerOk(390, 383);

QByteArray pseudoRandom(int size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    for (char &c : data) {
        seed = seed * 1664525u + 1013904223u;
        c = char(seed >> 24);
    }
    return data;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QByteArray digest(const QString &path)
{
    QFile f(path);
    QCryptographicHash h(QCryptographicHash::Sha256);
    return f.open(QIODevice::ReadOnly) && h.addData(&f) ? h.result() : QByteArray();
}

} // namespace

class TestE2ETransfers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { endProcess(client); }
    void cleanup()
    {
        if (QTest::currentTestFailed())
            s.reportFailure();
    }

    void signInAndBrowse();
    void downloadThreeFiles();
    void uploadThroughThePicker();
    void uploadByDrop();
    void finishedInTheRecentFiles();

private:
    bool key(const QString &keys) { return s.x.run("xdotool", {"key", keys}); }
    bool type(const QString &text) { return s.x.run("xdotool", {"type", "--delay", "30", text}); }
    int listings() const { return s.lab.requestLog().filter("opt=querydir").size(); }
    // Clicks at a point of the main window.
    bool click(QPoint at) { return s.x.click(main, at); }
    // The device folder picker: the top level, then its first folder, then "确定".
    // Waits for the file dialog titled title, types text into it, presses Enter and waits for it
    // to close.
    void answerFileDialog(const QString &title, const QString &text);
    // The device folder picker, once it has listed the top level (more listings than `before`).
    void pickFirstFolder(int before);
    XSession::Window windowTitled(const QString &title);
    QStringList finishedRows(const QString &table);

    ClientSession s;
    QProcess client;
    XSession::Window main;
    QString sda1, saveFolder, local;
    QMap<QString, QByteArray> downloads; // name -> content digest
};

void TestE2ETransfers::initTestCase()
{
    QVERIFY2(s.start(), qPrintable(s.lastError()));
    sda1 = s.lab.device(device).value("root").toString() + "/sda1";
    // First among the partition's folders, so it is the first tile.
    const QString folder = sda1 + "/0 传输 测试";
    QVERIFY(QDir().mkpath(folder));
    const QList<QPair<QString, int>> files{
        {"a 报告 2024.txt", 40 * 1024}, {"b 照片 &.dat", 300 * 1024}, {"c 大文件.bin", 6 << 20}};
    for (int i = 0; i < files.size(); ++i) {
        QVERIFY(writeFile(folder + "/" + files[i].first, pseudoRandom(files[i].second, i + 1)));
        downloads.insert(files[i].first, digest(folder + "/" + files[i].first));
    }
    local = s.work + "/本地 文件";
    saveFolder = s.work + "/下载 目录";
    QVERIFY(QDir().mkpath(local) && QDir().mkpath(saveFolder));
    QVERIFY(writeFile(local + "/上传 甲.bin", pseudoRandom(1 << 20, 7)));
    QVERIFY(writeFile(local + "/拖放 乙.txt", pseudoRandom(5000, 8)));
}

XSession::Window TestE2ETransfers::windowTitled(const QString &title)
{
    const QList<XSession::Window> found = s.x.windows(client.processId(), title);
    return found.isEmpty() ? XSession::Window() : found.first();
}

void TestE2ETransfers::answerFileDialog(const QString &title, const QString &text)
{
    QVERIFY2(waitUntil([&] { return windowTitled(title).isValid(); }, answerMs),
             qPrintable("no dialog " + title));
    QTest::qWait(500); // its folder is listed and its name field has the focus
    QVERIFY(type(text) && key("Return"));
    QVERIFY2(waitUntil([&] { return !windowTitled(title).isValid(); }, answerMs),
             qPrintable("the dialog stayed: " + title));
}

QStringList TestE2ETransfers::finishedRows(const QString &table)
{
    QProcess sqlite;
    sqlite.start("sqlite3", {QDir::homePath() + "/kelvora/data.db",
                             "SELECT local_path FROM " + table + " WHERE status=3 ORDER BY 1"});
    sqlite.waitForFinished(answerMs);
    return QString::fromUtf8(sqlite.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

void TestE2ETransfers::pickFirstFolder(int before)
{
    const QString title = QStringLiteral("选择设备目录");
    XSession::Window dialog;
    QVERIFY2(waitUntil([&] { return (dialog = windowTitled(title)).isValid(); }, answerMs),
             "no device folder picker");
    QVERIFY2(waitUntil([&] { return listings() > before; }, answerMs), "no top level listed");
    QTest::qWait(1000); // its tiles are shown
    before = listings();
    QVERIFY(
        s.x.run("xdotool", {"mousemove", QString::number(dialog.geometry.x() + pickerFirstTile.x()),
                            QString::number(dialog.geometry.y() + pickerFirstTile.y()), "click",
                            "--repeat", "2", "--delay", "80", "1"}));
    QVERIFY2(waitUntil([&] { return listings() > before; }, answerMs), "the folder was not listed");
    QTest::qWait(1000);
    QVERIFY(s.x.click(dialog, pickerOk));
    QVERIFY2(waitUntil([&] { return !windowTitled(title).isValid(); }, answerMs),
             "the picker stayed");
}

void TestE2ETransfers::signInAndBrowse()
{
    QProcessEnvironment env;
    env.insert(
        "KELVORA_DISCOVERY_TARGET",
        QStringLiteral("127.0.0.1:%1").arg(s.lab.device(device).value("discovery_port").toInt()));
    QVERIFY(s.startClient(client, "client-1.log", env));
    XSession::Window dialog;
    QVERIFY2(waitUntil([&] { return (dialog = s.loginDialog(client)).isValid(); }, startMs),
             "no login dialog");
    QVERIFY(s.typeSignIn(dialog, "demo", "demo123"));
    QVERIFY2(waitUntil([&] { return (main = s.mainWindow(client)).isValid(); }, answerMs),
             "no main window after the sign-in");
    // The device answers on the LAN and becomes current; then the top level, the partition,
    // the test folder (Enter opens the entry clicked).
    QVERIFY2(
        waitUntil([&] { return !s.lab.requestLog().filter("opt=getusbinfo").isEmpty(); }, answerMs),
        "no current device");
    int before = listings();
    QVERIFY(click(allButton));
    QVERIFY(waitUntil([&] { return listings() > before; }, answerMs));
    for (int level = 0; level < 2; ++level) {
        QTest::qWait(1000);
        before = listings();
        QVERIFY(click(firstTile) && key("Return"));
        QVERIFY2(waitUntil([&] { return listings() > before; }, answerMs), "no folder opened");
    }
    QVERIFY(!s.lab.requestLog().filter("0%20%E4%BC%A0%E8%BE%93").isEmpty());
}

void TestE2ETransfers::downloadThreeFiles()
{
    // Slow enough to see rows running: the big file takes a few seconds.
    QVERIFY(s.lab.setFaults({{device, QJsonObject{{"rate_limit_bytes_per_s", 1500000}}}}));
    QTest::qWait(1000);
    QVERIFY(click(firstTile) && key("ctrl+a"));
    QVERIFY(click(downloadButton));
    answerFileDialog(QStringLiteral("选择保存目录"), saveFolder);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(click(taskButton) && click(downloadList));
    QVERIFY2(waitUntil([&] { return QFileInfo::exists(saveFolder + "/b 照片 &.dat"); }, answerMs),
             "the downloads did not start");
    QTest::qWait(1500);
    QVERIFY(s.saveShot(client, "transfers-running.png"));
    QVERIFY(s.lab.setFaults(QJsonObject()));
    for (auto it = downloads.cbegin(); it != downloads.cend(); ++it)
        QVERIFY2(
            waitUntil([&] { return digest(saveFolder + "/" + it.key()) == it.value(); }, answerMs),
            qPrintable(it.key()));
    QTest::qWait(1500);
    QVERIFY(s.saveShot(client, "transfers-finished.png"));
    QCOMPARE(QDir(saveFolder).entryList(QDir::Files).size(), 3);
}

void TestE2ETransfers::uploadThroughThePicker()
{
    QVERIFY(click(cloudButton) && click(uploadButton));
    const int before = listings();
    answerFileDialog(QStringLiteral("请选择文件"), local + "/上传 甲.bin");
    if (QTest::currentTestFailed())
        return;
    pickFirstFolder(before);
    if (QTest::currentTestFailed())
        return;
    const QString uploaded = sda1 + "/上传 甲.bin";
    QVERIFY2(
        waitUntil([&] { return digest(uploaded) == digest(local + "/上传 甲.bin"); }, answerMs),
        "the upload did not arrive whole");
}

void TestE2ETransfers::uploadByDrop()
{
    QVERIFY(click(cloudButton));
    QProcess source;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QT_QPA_PLATFORM");
    env.insert("DISPLAY", s.x.display());
    source.setProcessEnvironment(env);
    source.start(DRAG_SOURCE, {local + "/拖放 乙.txt"});
    QVERIFY(source.waitForStarted(answerMs));
    QVERIFY(
        waitUntil([&] { return source.canReadLine() || source.waitForReadyRead(100); }, answerMs));
    QTest::qWait(1000);
    // The source sits at the screen's corner; the pointer carries its file onto the window.
    QVERIFY(s.x.run("xdotool", {"mousemove", "60", "40"}));
    QVERIFY(s.x.run("xdotool", {"mousedown", "1"}));
    const QPoint to = main.geometry.topLeft() + dropSpot;
    for (int step = 1; step <= 8; ++step) {
        QVERIFY(s.x.run("xdotool", {"mousemove", QString::number(60 + (to.x() - 60) * step / 8),
                                    QString::number(40 + (to.y() - 40) * step / 8)}));
        QTest::qWait(200);
    }
    QTest::qWait(500);
    const int before = listings();
    QVERIFY(s.x.run("xdotool", {"mouseup", "1"}));
    pickFirstFolder(before);
    if (QTest::currentTestFailed())
        return;
    const QString uploaded = sda1 + "/拖放 乙.txt";
    QVERIFY2(
        waitUntil([&] { return digest(uploaded) == digest(local + "/拖放 乙.txt"); }, answerMs),
        "the dropped file did not arrive whole");
    endProcess(source);
    QVERIFY(click(taskButton) && click(uploadList));
    QTest::qWait(1500);
    QVERIFY(s.saveShot(client, "transfers-uploads.png"));
}

void TestE2ETransfers::finishedInTheRecentFiles()
{
    QStringList expected;
    for (const QString &name : downloads.keys())
        expected << saveFolder + "/" + name;
    QCOMPARE(finishedRows("download"), expected);
    QCOMPARE(finishedRows("upload"), QStringList({local + "/上传 甲.bin", local + "/拖放 乙.txt"}));
    QVERIFY(click(cloudButton) && click(recentButton));
    QTest::qWait(1500);
    // The table shows the five under one day, not the empty picture.
    const QImage screen = s.x.grab();
    const QRect table(main.geometry.x() + 190, main.geometry.y() + 190, 700, 170);
    int dark = 0;
    for (int y = table.top(); y <= table.bottom(); ++y)
        for (int x = table.left(); x <= table.right(); ++x)
            dark += qGray(screen.pixel(x, y)) < 160 ? 1 : 0;
    QVERIFY2(dark > 500, "the recent files look empty");
    QVERIFY(s.saveShot(client, "recent-files.png", screen));
}

QTEST_GUILESS_MAIN(TestE2ETransfers)
#include "tst_e2e_transfers.moc"
