// The whole client (bin/kelvora) under its own Xvfb against a lab on free loopback ports,
// driven from outside as a user would: xdotool clicks, window state from the X server,
// outcomes from the lab's disk and request log, and data.db.
//
// One journey; the steps build on each other in declaration order. A wrong password, then the
// sign-in; every page of the window, each shot when it has settled; a file deleted and a folder
// made on the device; a download and an upload, slowed by the lab; the cloud-disk pane; sign-out
// and sign-in; a sign-in elsewhere kicks the client out; a second start brings the window back;
// a restart signs in by itself and finishes both transfers.
#include "tests/e2e/xsession.h"
#include "tests/support/httpsync.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtTest>

namespace {

const int startMs = ClientSession::startMs, answerMs = ClientSession::answerMs;
const QString device = QStringLiteral("TVK0000000001");
const QString demo = QStringLiteral("demo"), demoPassword = QStringLiteral("demo123");
const QString big = QStringLiteral("大文件 8MB.bin"); // on the device's first partition

// Positions inside the windows, from their fixed layouts.
namespace At {
// main window: top bar
const QPoint cloud(268, 45), settings(557, 45), sync(461, 45), user(768, 44), close(898, 18);
const QPoint switchAccount(768, 69); // the user menu's first item
// cloud page: left column and toolbar
const QPoint explorer(60, 221), pictures(60, 265), videos(60, 309), documents(60, 353);
const QPoint upload(58, 115), download(142, 115), remove(226, 115), newFolder(331, 115);
const QPoint refresh(883, 115), recent(60, 177);
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
        saveDir = s.work + QStringLiteral("/downloads");
        upFile = s.work + QStringLiteral("/up load #1 & more.bin");
        QByteArray bytes(8 << 20, Qt::Uninitialized);
        QRandomGenerator(15).fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
        QFile up(upFile);
        QVERIFY(QDir().mkpath(saveDir) && up.open(QIODevice::WriteOnly) &&
                up.write(bytes) == bytes.size());
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
    QImage settled();
    bool shot(const QString &name) { return s.saveShot(s.mainWindow(client), name, settled()); }
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
    QString saveDir, upFile;
};

bool TestE2EClient::clickMain(const QList<QPoint> &points, int count)
{
    const XSession::Window main = s.mainWindow(client);
    for (const QPoint &at : points)
        if (!main.isValid() || !s.x.click(main, at, count))
            return false;
    return s.x.run(QStringLiteral("xdotool"), {"mousemove", "0", "0"});
}

QImage TestE2EClient::settled()
{
    QImage screen, last, now;
    waitUntil(
        [&] {
            last = now;
            screen = s.x.grab();
            now = screen.copy(s.mainWindow(client).geometry);
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

void TestE2EClient::transfersStartAndShow()
{
    // Slow enough to be under way still when the client restarts at the end.
    QVERIFY(s.lab.setFaults({{device, QJsonObject{{"rate_limit_bytes_per_s", 65536}}}}));
    const int listed = logged(QStringLiteral("opt=querydir"));
    QVERIFY(clickMain({At::refresh}));
    QVERIFY(waitUntil([&] { return logged("opt=querydir") > listed; }, answerMs));
    settled();

    QVERIFY(clickMain({At::tile(tileOf(big)), At::download}));
    QVERIFY(chooseInFileDialog(saveDir));
    QVERIFY2(
        waitUntil([&] { return QFileInfo(saveDir + '/' + big + ".vbxdl").size() > 0; }, answerMs),
        "the download did not start");

    QVERIFY(clickMain({At::upload}));
    QVERIFY(chooseInFileDialog(upFile));
    XSession::Window picker;
    QVERIFY2(waitUntil([&] { return (picker = popup(QSize(550, 410))).isValid(); }, answerMs),
             "no device folder picker");
    QVERIFY(s.x.click(picker, At::pickerFirst, 2));
    QVERIFY(waitUntil([&] { return logged("count=9999&path=/media/sda1 ") > 0; }, answerMs));
    QVERIFY(s.saveShot(picker, QStringLiteral("folder-picker.png")));
    QVERIFY(s.x.click(picker, At::pickerOk));
    QVERIFY2(
        waitUntil(
            [&] {
                return !QDir(disk).entryList({"*.labpart"}, QDir::Files | QDir::Hidden).isEmpty();
            },
            answerMs),
        "the upload did not start");

    QVERIFY(clickMain({At::task, At::uploads}));
    QVERIFY(shot(QStringLiteral("upload-list.png")));
    QVERIFY(clickMain({At::downloads}));
    QVERIFY(shot(QStringLiteral("download-list.png")));
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
    // Neither transfer has finished yet; the restart must not lose what the download has.
    const QString saved = saveDir + '/' + big, uploaded = disk + "/up load #1 & more.bin";
    QVERIFY(!QFileInfo::exists(saved) && !QFileInfo::exists(uploaded));
    client.terminate();
    QVERIFY2(client.waitForFinished(answerMs), "the client did not end on SIGTERM");
    QVERIFY(QFileInfo(saved + ".vbxdl").size() > 0);
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

    // Both finish whole; the download asked only for what it lacked.
    QVERIFY2(waitUntil([&] { return sha256(saved) == sha256(disk + '/' + big); }, startMs),
             "the download did not finish whole");
    QVERIFY2(waitUntil([&] { return sha256(uploaded) == sha256(upFile); }, startMs),
             "the upload did not finish whole");
    const QStringList gets = s.lab.requestLog().filter(" http GET /media/sda1/%E5%A4%A7");
    QVERIFY(gets.size() >= 2);
    QVERIFY2(gets.last().contains(" 206 ") &&
                 gets.last().section(' ', -1).toLongLong() < QFileInfo(saved).size(),
             qPrintable(gets.last()));
    QVERIFY2(
        waitUntil(
            [&] {
                return sql("SELECT status FROM download UNION ALL SELECT status FROM upload") ==
                       "3\n3";
            },
            answerMs),
        "the transfers are not stored as complete");
    QVERIFY(clickMain({At::cloud, At::recent}));
    QVERIFY(shot(QStringLiteral("recent.png")));

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
