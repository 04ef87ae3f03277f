// The whole client (bin/kelvora) under its own Xvfb against a lab on free loopback ports,
// driven from outside as a user would: xdotool clicks and keys, window state from the X server,
// outcomes from the lab's request log, the screen and data.db.
//
// The steps build on each other in declaration order: one client signs in by hand (after a
// wrong password), is brought back by a second start, is taken over by a sign-in elsewhere and
// closed from its login dialog; a second client with the same HOME then signs in by itself.
#include "tests/e2e/xsession.h"
#include "tests/support/httpsync.h"

#include <QSet>
#include <QtTest>

namespace {

const int startMs = ClientSession::startMs, answerMs = ClientSession::answerMs;
const QString device = QStringLiteral("TVK0000000001");

// Positions inside the windows, from their fixed layouts.
const QPoint dialogClose(315, 15); // login dialog: its close button
// A failure toast lies over the login dialog at (16,118); the band is white otherwise.
const QRect toastBand(30, 140, 270, 10);
const QPoint settingsButton(557, 45); // main window, top bar: 设置
const QPoint devicesButton(49, 201);  // settings page, left column: 设备切换
const QPoint windowClose(898, 18);    // top bar, right: the close button

int nonWhite(const QImage &image, const QRect &area)
{
    int n = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += qGray(image.pixel(x, y)) < 235 ? 1 : 0;
    return n;
}

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
    }
    void cleanupTestCase()
    {
        endProcess(first);
        endProcess(second);
    }
    void cleanup()
    {
        if (QTest::currentTestFailed())
            s.reportFailure();
    }

    void wrongPasswordKeepsDialog();
    void signInShowsMainWindowAndDevices();
    void secondStartBringsWindowBack();
    void signInElsewhereKicksOut();
    void automaticSignInWithSameHome();

private:
    int logged(const QString &needle) const { return s.lab.requestLog().filter(needle).size(); }
    void kickOutAndClose(QProcess &client);

    ClientSession s;
    QProcessEnvironment discovery;
    QProcess first;
    QProcess second;
};

// A sign-in elsewhere takes the session over: the main window goes, the login dialog comes
// back, and its close button (nobody signed in now) ends the program normally.
void TestE2EClient::kickOutAndClose(QProcess &client)
{
    const QByteArray form = "name=demo&password=demo123&client=81&version=1.0.0.0";
    const HttpSync::Result r =
        HttpSync(answerMs).post(QUrl(s.lab.accountUrl() + QStringLiteral("/account/login")), form);
    QVERIFY(r.status == 200 && r.body.contains("\"code\":0"));
    QVERIFY2(waitUntil([&] { return !s.mainWindow(client).isValid(); }, answerMs),
             "the main window stayed after the sign-in elsewhere");
    XSession::Window dialog;
    QVERIFY2(waitUntil([&] { return (dialog = s.loginDialog(client)).isValid(); }, answerMs),
             "no login dialog after the kick-out");
    QVERIFY(s.x.click(dialog, dialogClose));
    QVERIFY2(client.waitForFinished(answerMs), "closing the login dialog did not end the program");
    QCOMPARE(client.exitStatus(), QProcess::NormalExit);
    QCOMPARE(client.exitCode(), 0);
}

void TestE2EClient::wrongPasswordKeepsDialog()
{
    QVERIFY(s.startClient(first, QStringLiteral("client-1.log"), discovery));
    XSession::Window dialog;
    QVERIFY2(waitUntil([&] { return (dialog = s.loginDialog(first)).isValid(); }, startMs),
             "no login dialog");
    QVERIFY(s.typeSignIn(dialog, QStringLiteral("demo"), QStringLiteral("not-the-password")));
    QVERIFY2(waitUntil([&] { return logged(QStringLiteral("POST /account/login")) > 0; }, answerMs),
             "the lab saw no sign-in");
    // The failure toast over the dialog tells that the client has handled the answer.
    const QRect band = toastBand.translated(dialog.geometry.topLeft());
    QVERIFY2(waitUntil([&] { return nonWhite(s.x.grab(), band) > band.width(); }, answerMs),
             "no failure toast seen over the login dialog");
    QVERIFY(s.loginDialog(first).isValid());
    QVERIFY2(!s.mainWindow(first).isValid(), "a wrong password showed the main window");
    QCOMPARE(logged(QStringLiteral("/tovrik/user/querydevice")), 0);
    QCOMPARE(logged(QStringLiteral("POST /account/login")), 1);
}

void TestE2EClient::signInShowsMainWindowAndDevices()
{
    QVERIFY2(first.state() == QProcess::Running, "the client of the previous step is gone");
    QVERIFY(s.typeSignIn(s.loginDialog(first), QStringLiteral("demo"), QStringLiteral("demo123")));
    XSession::Window main;
    QVERIFY2(waitUntil([&] { return (main = s.mainWindow(first)).isValid(); }, answerMs),
             "no main window after the sign-in");
    QCOMPARE(main.geometry.size(), QSize(920, 650));
    QVERIFY2(waitUntil([&] { return !s.loginDialog(first).isValid(); }, answerMs),
             "the login dialog stayed");
    QCOMPARE(logged(QStringLiteral("POST /account/login")), 2);
    QVERIFY2(waitUntil([&] { return logged("GET /tovrik/user/querydevice?userid=880000001&") > 0; },
                       answerMs),
             "no device list query");

    // Settings → device list: the bound devices as cards, the current one asking for its disks.
    QVERIFY(s.x.click(main, settingsButton) && s.x.click(main, devicesButton));
    QVERIFY2(waitUntil(
                 [&] {
                     return logged(device + QStringLiteral(" xctl GET ") +
                                   QStringLiteral("/dlna.csp?fname=dlna&opt=getusbinfo")) > 0;
                 },
                 answerMs),
             "no disk information asked of the current device");
    // The cards are drawn on the white list area right of the left column.
    const QRect cards = QRect(190, 100, 700, 200).translated(main.geometry.topLeft());
    QImage screen;
    QVERIFY2(waitUntil([&] { return nonWhite(screen = s.x.grab(), cards) > 2000; }, answerMs),
             "the device list shows no cards");
    QVERIFY(s.saveShot(first, QStringLiteral("devices.png"), screen));
    QSet<QRgb> topBar; // the blue bar with its pictures, not a blank strip
    for (int x = 0; x < main.geometry.width(); ++x)
        for (int y = 0; y < 80; ++y)
            topBar.insert(screen.pixel(main.geometry.topLeft() + QPoint(x, y)) & 0xffffff);
    QVERIFY2(topBar.size() >= 8, "the top bar of the main window looks blank");

    // The sign-in is in the login history, with the password not in plain text.
    QProcess sqlite;
    sqlite.start(
        QStringLiteral("sqlite3"),
        {QDir::homePath() + QStringLiteral("/kelvora/data.db"),
         QStringLiteral("SELECT login_name, pw = 'demo123', savepwflag FROM login_history")});
    QVERIFY(sqlite.waitForFinished(answerMs));
    QCOMPARE(sqlite.readAllStandardOutput().trimmed(), QByteArray("demo|0|1"));
}

void TestE2EClient::secondStartBringsWindowBack()
{
    QVERIFY2(first.state() == QProcess::Running, "the client of the previous step is gone");
    // Without a system tray (none here) the close button minimises: the window must not vanish
    // where nothing could bring it back. This X server has no window manager to iconify it.
    QVERIFY(s.x.click(s.mainWindow(first), windowClose));
    QVERIFY(!waitUntil([&] { return !s.mainWindow(first).isValid(); }, 1000));
    QCOMPARE(first.state(), QProcess::Running);

    QVERIFY(s.startClient(second, QStringLiteral("client-2.log"), discovery));
    QVERIFY2(second.waitForFinished(answerMs), "the second start did not end");
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY2(waitUntil([&] { return s.mainWindow(first).isValid(); }, answerMs),
             "the main window is gone after the second start");
    QVERIFY(!s.loginDialog(first).isValid());
}

void TestE2EClient::signInElsewhereKicksOut()
{
    QVERIFY2(first.state() == QProcess::Running, "the client of the previous step is gone");
    QVERIFY(s.mainWindow(first).isValid());
    kickOutAndClose(first);
}

void TestE2EClient::automaticSignInWithSameHome()
{
    const int signIns = logged(QStringLiteral("POST /account/login"));
    QVERIFY(s.startClient(first, QStringLiteral("client-3.log"), discovery));
    // A client that cannot start (no display) ends at once: say so instead of waiting.
    waitUntil(
        [&] { return s.mainWindow(first).isValid() || first.state() == QProcess::NotRunning; },
        startMs);
    QVERIFY2(first.state() == QProcess::Running, "the client ended while starting");
    QVERIFY2(s.mainWindow(first).isValid(), "the stored password did not sign in by itself");
    QCOMPARE(logged(QStringLiteral("POST /account/login")), signIns + 1);
    QVERIFY2(waitUntil([&] { return !s.loginDialog(first).isValid(); }, answerMs),
             "the login dialog stayed after the automatic sign-in");
    kickOutAndClose(first);
}

QTEST_GUILESS_MAIN(TestE2EClient)
#include "tst_e2e_client.moc"
