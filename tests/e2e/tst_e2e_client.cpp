// The whole client (bin/kelvora) under its own Xvfb against a lab on free loopback ports,
// driven from outside as a user would: xdotool clicks, window state from the X server,
// outcomes from the lab's disk and request log, and data.db.
//
// One journey; the steps build on each other in declaration order. A wrong password, then the
// sign-in; every page of the window, each shot when it has settled; a file deleted and a folder
// made on the device; three downloads, an upload through the dialogs and one dropped from another
// program, all slowed by the lab; the cloud-disk pane; sign-out and sign-in; a sign-in elsewhere
// kicks the client out; a second start brings the window back; a restart signs in by itself and
// finishes the transfers, each checked by its bytes at both ends.
#include "tests/e2e/xsession.h"
#include "tests/support/httpsync.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtTest>

namespace {

const int startMs = ClientSession::startMs, answerMs = ClientSession::answerMs;
const QString device = QStringLiteral("TVK0000000001");
const QString demo = QStringLiteral("demo"), demoPassword = QStringLiteral("demo123");
// First among the first partition's folders, so its first tile.
const QString transferFolder = QStringLiteral("0 传输 测试");

// Positions inside the windows, from their fixed layouts.
namespace At {
// main window: top bar
const QPoint cloud(268, 45), settings(557, 45), sync(461, 45), user(768, 44), close(898, 18);
const QPoint switchAccount(768, 69); // the user menu's first item
// cloud page: left column and toolbar
const QPoint explorer(60, 221), pictures(60, 265), videos(60, 309), documents(60, 353);
const QPoint upload(58, 115), download(142, 115), remove(226, 115), newFolder(331, 115);
const QPoint recent(60, 177);
// task page: left column
const QPoint task(365, 45), uploads(75, 156), downloads(75, 201);
// settings page: left column
const QPoint savePath(49, 156), devices(49, 201);
// login dialog
const QPoint dialogClose(315, 15);
// confirmation dialog; device folder picker
const QPoint yes(240, 215), pickerFirst(76, 95), pickerOk(390, 383);
// The n-th tile of a file list in icon mode, five to a row.
QPoint tile(int n)
{
    return QPoint(257 + 140 * (n % 5), 245 + 126 * (n / 5));
}
} // namespace At

// Login dialog: a failure toast lies over it at (16,118), the kick-out toast over its button;
// these bands are white otherwise.
const QRect toastBand(30, 140, 270, 10), kickOutBand(30, 327, 270, 6);

QByteArray pseudoRandom(int size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32 *>(data.data()), size / 4);
    return data;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QByteArray sha256(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

int nonWhite(const QImage &image, const QRect &area)
{
    int n = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += qGray(image.pixel(x, y)) < 235 ? 1 : 0;
    return n;
}

// The pages of the window: how to reach each from the one before, the request that fills it.
struct Page
{
    const char *shot;
    QList<QPoint> clicks;
    const char *request; // a part of the lab's log line; none for a page of the window alone
};
const Page pages[] = {
    {"settings.png", {At::settings, At::savePath}, nullptr},
    {"devices.png", {At::devices}, "opt=getusbinfo"},
    {"pictures.png", {At::cloud, At::pictures}, "opt=get&"},
    {"videos.png", {At::videos}, "opt=getrealvideo"},
    {"documents.png", {At::documents}, "type=160560"},
};

} // namespace

class TestE2EClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(s.start(), qPrintable(s.lastError()));
        discovery.insert(QStringLiteral("KELVORA_DISCOVERY_TARGET"),
                         QStringLiteral("127.0.0.1:%1")
                             .arg(s.lab.device(device).value("discovery_port").toInt()));
        disk = s.lab.device(device).value("root").toString() + QStringLiteral("/sda1");
        // What goes where: three files down, two local ones up. Paths typed into the file
        // dialogs are ASCII: xdotool drops Chinese letters now and then.
        const QString folder = disk + '/' + transferFolder, local = s.work + "/local files";
        saveDir = s.work + "/save here";
        QVERIFY(QDir().mkpath(folder) && QDir().mkpath(local) && QDir().mkpath(saveDir));
        const QList<QPair<QString, int>> files{
            {"a 报告 2024.txt", 40 << 10}, {"b 照片 &.dat", 300 << 10}, {"c 大文件.bin", 12 << 20}};
        for (const auto &file : files) {
            QVERIFY(writeFile(folder + '/' + file.first, pseudoRandom(file.second, file.second)));
            copies.append({folder + '/' + file.first, saveDir + '/' + file.first});
        }
        for (const QString &name : {"up load #1 & more.bin", "拖放 乙.txt"}) {
            QVERIFY(writeFile(local + '/' + name,
                              pseudoRandom(name.endsWith("bin") ? 16 << 20 : 5000, 7)));
            copies.append({local + '/' + name, disk + '/' + name});
        }
    }
    void cleanupTestCase()
    {
        endProcess(client);
        endProcess(second);
    }
    void cleanup()
    {
        if (QTest::currentTestFailed())
            s.reportFailure();
    }

    void wrongPasswordKeepsDialog();
    void signInShowsEveryPage();
    void deleteAndNewFolderReachDevice();
    void transfersStartAndShow();
    void cloudPaneOpensSite();
    void signOutAndKickOut();
    void secondStartBringsWindowBack();
    void restartSignsInAndResumes();

private:
    int logged(const QString &needle) const { return s.lab.requestLog().filter(needle).size(); }
    // Clicks at points of the main window, then moves the pointer off it (no hover marks).
    bool clickMain(const QList<QPoint> &points, int count = 1);
    // The screen once the main window looks the same in two grabs in a row: thumbnails and
    // posters drawn.
    QImage settled(XSession::Window window = {});
    bool shot(const QString &name) { return s.saveShot(s.mainWindow(client), name, settled()); }
    // In the device folder picker that opens: its first entry, then "确定".
    bool pickFirstFolder(const QString &shotName = QString());
    // Presses the drag source's window and carries its file to a point of the main window.
    bool dragOnto(QPoint at);
    // Once the login dialog is up with no toast over its button.
    bool signIn(const QString &password = demoPassword);
    // The kick-out toast over the login dialog's button, in dark pixels; -1 without a dialog.
    int toastOverButton()
    {
        const XSession::Window dialog = s.loginDialog(client);
        return dialog.isValid()
                   ? nonWhite(s.x.grab(), kickOutBand.translated(dialog.geometry.topLeft()))
                   : -1;
    }
    // The same account signs in elsewhere, which takes the client's session over.
    bool signInElsewhere();
    QByteArray sql(const QString &statement) const;
    // Types a path into the file dialog that opens and takes it.
    bool chooseInFileDialog(const QString &path);
    int tileOf(const QString &name) const
    {
        return QDir(disk)
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::DirsFirst | QDir::Name)
            .indexOf(name);
    }
    // The client's window of that size: a dialog or a menu.
    XSession::Window popup(QSize size)
    {
        for (const XSession::Window &w : s.x.windows(client.processId()))
            if (w.geometry.size() == size)
                return w;
        return XSession::Window();
    }

    ClientSession s;
    QProcessEnvironment discovery;
    QProcess client;
    QProcess second;
    QString disk; // the device's first partition on the lab's disk
    QString saveDir;
    QList<QPair<QString, QString>> copies; // each transfer: from, to
};

bool TestE2EClient::clickMain(const QList<QPoint> &points, int count)
{
    const XSession::Window main = s.mainWindow(client);
    for (const QPoint &at : points)
        if (!main.isValid() || !s.x.click(main, at, count))
            return false;
    return s.x.run(QStringLiteral("xdotool"), {"mousemove", "0", "0"});
}

QImage TestE2EClient::settled(XSession::Window window)
{
    QImage screen, last, now;
    waitUntil(
        [&] {
            last = now;
            screen = s.x.grab();
            now = screen.copy((window.isValid() ? window : s.mainWindow(client)).geometry);
            return !now.isNull() && now == last;
        },
        answerMs);
    return screen;
}

bool TestE2EClient::signInElsewhere()
{
    const QByteArray form = "name=demo&password=demo123&client=81&version=1.0.0.0";
    return HttpSync(answerMs)
        .post(QUrl(s.lab.accountUrl() + QStringLiteral("/account/login")), form)
        .body.contains("\"code\":0");
}

bool TestE2EClient::chooseInFileDialog(const QString &path)
{
    return waitUntil([&] { return popup(QSize(600, 416)).isValid(); }, answerMs) &&
           s.x.replaceText(path) && s.x.run("xdotool", {"key", "Return"});
}

bool TestE2EClient::signIn(const QString &password)
{
    return waitUntil([&] { return toastOverButton() == 0; }, startMs) &&
           s.typeSignIn(s.loginDialog(client), demo, password);
}

QByteArray TestE2EClient::sql(const QString &statement) const
{
    QProcess sqlite;
    sqlite.start(QStringLiteral("sqlite3"),
                 {QDir::homePath() + QStringLiteral("/kelvora/data.db"), statement});
    sqlite.waitForFinished(answerMs);
    return sqlite.readAllStandardOutput().trimmed();
}

void TestE2EClient::wrongPasswordKeepsDialog()
{
    QVERIFY(s.startClient(client, QStringLiteral("client-1.log"), discovery));
    QVERIFY2(signIn(QStringLiteral("not-the-password")), "no login dialog");
    QVERIFY2(waitUntil([&] { return logged(QStringLiteral("POST /account/login")) > 0; }, answerMs),
             "the lab saw no sign-in");
    // The failure toast over the dialog tells that the client has handled the answer.
    const QRect band = toastBand.translated(s.loginDialog(client).geometry.topLeft());
    QVERIFY2(waitUntil([&] { return nonWhite(s.x.grab(), band) > band.width(); }, answerMs),
             "no failure toast seen over the login dialog");
    QVERIFY(s.loginDialog(client).isValid());
    QVERIFY2(!s.mainWindow(client).isValid(), "a wrong password showed the main window");
    QCOMPARE(logged(QStringLiteral("/tovrik/user/querydevice")), 0);
}

void TestE2EClient::signInShowsEveryPage()
{
    QVERIFY(signIn());
    QVERIFY2(waitUntil([&] { return s.mainWindow(client).isValid(); }, answerMs),
             "no main window after the sign-in");
    QVERIFY2(waitUntil([&] { return !s.loginDialog(client).isValid(); }, answerMs),
             "the login dialog stayed");
    QVERIFY2(waitUntil([&] { return logged("GET /tovrik/user/querydevice?userid=880000001&") > 0; },
                       answerMs),
             "no device list query");
    // The sign-in is in the login history, with the password not in plain text.
    QCOMPARE(sql("SELECT login_name, pw = 'demo123', savepwflag FROM login_history"),
             QByteArray("demo|0|1"));

    for (const Page &page : pages) {
        const QString request = QString::fromLatin1(page.request);
        const int before = page.request ? logged(request) : 0;
        QVERIFY(clickMain(page.clicks));
        QVERIFY2(!page.request || waitUntil([&] { return logged(request) > before; }, answerMs),
                 page.shot);
        QVERIFY(shot(QString::fromLatin1(page.shot)));
    }
}

void TestE2EClient::deleteAndNewFolderReachDevice()
{
    // The partitions, then into the first: its entries as the device lists them, folders first.
    for (const QPoint &at : {At::explorer, At::tile(0)}) {
        const int listed = logged(QStringLiteral("opt=querydir"));
        QVERIFY(clickMain({at}, at == At::explorer ? 1 : 2));
        QVERIFY(waitUntil([&] { return logged("opt=querydir") > listed; }, answerMs));
        settled();
    }
    const QString doomed = QStringLiteral("预告片.mp4");
    QVERIFY(tileOf(doomed) >= 0);
    QVERIFY(clickMain({At::tile(tileOf(doomed)), At::remove}));
    XSession::Window confirm;
    QVERIFY2(waitUntil([&] { return (confirm = popup(QSize(400, 250))).isValid(); }, answerMs),
             "no confirmation before deleting");
    QVERIFY(s.x.click(confirm, At::yes));
    QVERIFY2(waitUntil([&] { return !QFileInfo::exists(disk + '/' + doomed); }, answerMs),
             "the file is still on the device");

    QVERIFY(clickMain({At::newFolder}));
    QVERIFY2(waitUntil([&] { return QFileInfo(disk + QStringLiteral("/新建文件夹")).isDir(); },
                       answerMs),
             "no new folder on the device");
    QVERIFY(shot(QStringLiteral("main-window.png")));
}

bool TestE2EClient::pickFirstFolder(const QString &shotName)
{
    // It shows the partitions at once; a folder it lists from the device.
    const QString listing = QStringLiteral("&count=9999&path=");
    XSession::Window picker;
    if (!waitUntil([&] { return (picker = popup(QSize(550, 410))).isValid(); }, answerMs))
        return false;
    settled(picker);
    const int before = logged(listing);
    if (!s.x.click(picker, At::pickerFirst, 2) ||
        !waitUntil([&] { return logged(listing) > before; }, answerMs))
        return false;
    settled(picker);
    return (shotName.isEmpty() || s.saveShot(picker, shotName)) &&
           s.x.click(picker, At::pickerOk) &&
           waitUntil([&] { return !popup(QSize(550, 410)).isValid(); }, answerMs);
}

bool TestE2EClient::dragOnto(QPoint at)
{
    // The source's window sits at the screen's corner; the pointer goes in steps, as a hand's
    // would, so that both ends see the drag move.
    const QPoint from(60, 40), to = s.mainWindow(client).geometry.topLeft() + at;
    if (!s.x.run("xdotool", {"mousemove", "60", "40", "mousedown", "1"}))
        return false;
    for (int step = 1; step <= 8; ++step) {
        const QPoint p = from + (to - from) * step / 8;
        if (!s.x.run("xdotool", {"mousemove", QString::number(p.x()), QString::number(p.y())}))
            return false;
        QTest::qWait(150);
    }
    return s.x.run("xdotool", {"mouseup", "1"});
}

void TestE2EClient::transfersStartAndShow()
{
    // Slow enough to be under way still when the client restarts at the end.
    QVERIFY(s.lab.setFaults({{device, QJsonObject{{"rate_limit_bytes_per_s", 131072}}}}));
    const int listed = logged(QStringLiteral("opt=querydir"));
    QVERIFY(clickMain({At::tile(tileOf(transferFolder))}, 2));
    QVERIFY(waitUntil([&] { return logged("opt=querydir") > listed; }, answerMs));
    settled();
    // All three at once, into a folder chosen in the dialog; one at a time, in their order.
    QVERIFY(clickMain({At::tile(0)}) && s.x.run("xdotool", {"key", "ctrl+a"}));
    QVERIFY(clickMain({At::download}));
    QVERIFY(chooseInFileDialog(saveDir));
    QVERIFY2(waitUntil([&] { return QFileInfo(copies[2].second + ".vbxdl").size() > 0; }, startMs),
             "the third download did not start");

    QVERIFY(clickMain({At::cloud, At::upload}));
    QVERIFY(chooseInFileDialog(copies[3].first));
    QVERIFY(pickFirstFolder(QStringLiteral("folder-picker.png")));
    QVERIFY2(
        waitUntil(
            [&] {
                return !QDir(disk).entryList({"*.labpart"}, QDir::Files | QDir::Hidden).isEmpty();
            },
            answerMs),
        "the upload did not start");
    // The other file from another program, dropped on the cloud page: it waits its turn.
    QProcess source;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QT_QPA_PLATFORM");
    env.insert("DISPLAY", s.x.display());
    source.setProcessEnvironment(env);
    source.start(DRAG_SOURCE, {copies[4].first});
    QVERIFY(source.waitForStarted(answerMs));
    QVERIFY(waitUntil([&] { return !s.x.windows(source.processId(), "dragsource").isEmpty(); },
                      answerMs));
    QVERIFY(dragOnto(QPoint(520, 400)));
    QVERIFY2(pickFirstFolder(), "no device folder picker for the dropped file");
    endProcess(source);

    QVERIFY(clickMain({At::task, At::uploads}));
    QVERIFY(shot(QStringLiteral("transfers-uploads.png")));
    QVERIFY(clickMain({At::downloads}));
    QVERIFY(shot(QStringLiteral("transfers-running.png")));
}

void TestE2EClient::cloudPaneOpensSite()
{
    QVERIFY(clickMain({At::sync}));
    QVERIFY2(waitUntil([&] { return logged(QStringLiteral("cloud GET / ")) > 0; }, startMs),
             "the pane did not load the cloud-disk site");
}

void TestE2EClient::signOutAndKickOut()
{
    const int signIns = logged(QStringLiteral("POST /account/login"));
    // Sign-out from the user menu: the dialog again, with the remembered account.
    QVERIFY(clickMain({At::user}));
    QVERIFY2(waitUntil([&] { return popup(QSize(125, 46)).isValid(); }, answerMs), "no user menu");
    QVERIFY(clickMain({At::switchAccount}));
    QVERIFY2(
        waitUntil([&] { return logged(QStringLiteral("POST /account/logout")) > 0; }, answerMs),
        "the lab saw no sign-out");
    XSession::Window dialog;
    QVERIFY2(waitUntil([&] { return (dialog = s.loginDialog(client)).isValid(); }, answerMs),
             "no login dialog after the sign-out");
    QVERIFY(!s.mainWindow(client).isValid());
    QVERIFY(s.saveShot(dialog, QStringLiteral("login.png")));

    // Sign in again, then elsewhere: that takes the session over and the dialog comes back.
    QVERIFY(signIn());
    QVERIFY2(waitUntil([&] { return s.mainWindow(client).isValid(); }, answerMs), "no sign-in");
    QVERIFY(signInElsewhere());
    QVERIFY2(waitUntil([&] { return !s.mainWindow(client).isValid(); }, answerMs),
             "the main window stayed after the sign-in elsewhere");
    QVERIFY2(waitUntil([&] { return toastOverButton() > 0; }, answerMs),
             "no kick-out toast over the login dialog");
    QVERIFY(signIn());
    QVERIFY2(waitUntil([&] { return s.mainWindow(client).isValid(); }, answerMs),
             "no sign-in after the kick-out");
    QCOMPARE(logged(QStringLiteral("POST /account/login")), signIns + 3);
}

void TestE2EClient::secondStartBringsWindowBack()
{
    // Without a system tray (none here) the close button minimises: the window must not vanish
    // where nothing could bring it back. This X server has no window manager to iconify it.
    QVERIFY(clickMain({At::close}));
    QVERIFY(!waitUntil([&] { return !s.mainWindow(client).isValid(); }, 1000));
    QCOMPARE(client.state(), QProcess::Running);

    QVERIFY(s.startClient(second, QStringLiteral("client-2.log"), discovery));
    QVERIFY2(second.waitForFinished(answerMs), "the second start did not end");
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY2(waitUntil([&] { return s.mainWindow(client).isValid(); }, answerMs),
             "the main window is gone after the second start");
    QVERIFY(!s.loginDialog(client).isValid());
}

void TestE2EClient::restartSignsInAndResumes()
{
    // The third download and the uploads are under way; the restart must not lose what the
    // download has.
    for (int i : {2, 3, 4})
        QVERIFY2(!QFileInfo::exists(copies[i].second), qPrintable(copies[i].second));
    client.terminate();
    QVERIFY2(client.waitForFinished(answerMs), "the client did not end on SIGTERM");
    QVERIFY(QFileInfo(copies[2].second + ".vbxdl").size() > 0);
    QVERIFY(s.lab.setFaults({}));
    const int signIns = logged(QStringLiteral("POST /account/login"));
    QVERIFY(s.startClient(client, QStringLiteral("client-3.log"), discovery));
    // A client that cannot start (no display) ends at once: say so instead of waiting.
    waitUntil(
        [&] { return s.mainWindow(client).isValid() || client.state() == QProcess::NotRunning; },
        startMs);
    QVERIFY2(client.state() == QProcess::Running, "the client ended while starting");
    QVERIFY2(s.mainWindow(client).isValid(), "the stored password did not sign in by itself");
    QCOMPARE(logged(QStringLiteral("POST /account/login")), signIns + 1);
    QVERIFY2(waitUntil([&] { return !s.loginDialog(client).isValid(); }, answerMs),
             "the login dialog stayed after the automatic sign-in");

    // All finish whole; the download asked only for what it lacked.
    for (const auto &copy : qAsConst(copies))
        QVERIFY2(waitUntil([&] { return sha256(copy.second) == sha256(copy.first); }, startMs),
                 qPrintable("not whole: " + copy.second));
    const QStringList gets = s.lab.requestLog().filter(" http GET ").filter("/c%20");
    QVERIFY(gets.size() >= 2);
    QVERIFY2(gets.last().contains(" 206 ") &&
                 gets.last().section(' ', -1).toLongLong() < QFileInfo(copies[2].first).size(),
             qPrintable(gets.last()));
    QVERIFY2(waitUntil(
                 [&] {
                     return sql("SELECT group_concat(status) FROM download") == "3,3,3" &&
                            sql("SELECT group_concat(status) FROM upload") == "3,3";
                 },
                 answerMs),
             "the transfers are not stored as complete");
    QVERIFY(clickMain({At::task, At::downloads}));
    QVERIFY(shot(QStringLiteral("transfers-finished.png")));
    QVERIFY(clickMain({At::cloud, At::recent}));
    QVERIFY(shot(QStringLiteral("recent-files.png")));

    // Taken over once more: the login dialog's close button ends the program normally.
    QVERIFY(signInElsewhere());
    XSession::Window dialog;
    QVERIFY2(waitUntil([&] { return (dialog = s.loginDialog(client)).isValid(); }, answerMs),
             "no login dialog after the kick-out");
    QVERIFY(s.x.click(dialog, At::dialogClose));
    QVERIFY2(client.waitForFinished(answerMs), "closing the login dialog did not end the program");
    QCOMPARE(client.exitStatus(), QProcess::NormalExit);
    QCOMPARE(client.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestE2EClient)
#include "tst_e2e_client.moc"
