// The account service and the device-management server of the lab, driven over HTTP.
#include "labtest.h"

#include <QJsonArray>
#include <QtConcurrent/QtConcurrentRun>
#include <QtTest>

class TestLabAccount : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void signInCodes_data();
    void signInCodes();
    void signInSuccessCarriesIdentity();
    void kickOutReachesWaitingSession();
    void logoutEndsSession();
    void deviceListNeedsLiveSession();
    void deviceListKeys();
    void passwordPage();
    void refusingAccountKeepsFirstSession();

private:
    QString session()
    {
        return login(http_, lab_.accountUrl(), "demo", "demo123").value("sessionid").toString();
    }
    QString event(const QString &session, int timeoutMs)
    {
        return http_
            .get(lab_.accountUrl() + QStringLiteral("/account/wait?sessionid=%1&timeout_ms=%2")
                                         .arg(session)
                                         .arg(timeoutMs))
            .json()
            .value("event")
            .toString();
    }
    QJsonObject devices(const QByteArray &cookie)
    {
        return http_
            .get(lab_.accountUrl() +
                     QStringLiteral("/tovrik/user/querydevice?userid=880000001&ct=30&v=2&type=0"),
                 {{"Cookie", cookie}, {"User-Agent", "Kelvora Client Win32"}})
            .json();
    }
    LabProcess lab_;
    HttpSync http_;
};

void TestLabAccount::initTestCase()
{
    QVERIFY2(lab_.startSample(QJsonObject{
                 {"account", QJsonObject{{"accounts", QJsonArray{QJsonObject{
                                                          {"name", "test"}, {"locked", true}}}}}}}),
             qPrintable(lab_.lastError()));
}

void TestLabAccount::signInCodes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("code");
    QTest::newRow("unknown user") << "nobody"
                                  << "x" << 2;
    QTest::newRow("wrong password") << "demo"
                                    << "wrong" << 3;
    QTest::newRow("trailing blank") << "demo"
                                    << "demo123 " << 3;
    QTest::newRow("locked") << "test"
                            << "test123" << 7;
}

void TestLabAccount::signInCodes()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(int, code);
    const QJsonObject r = login(http_, lab_.accountUrl(), name, password);
    QCOMPARE(r.value("code").toInt(), code);
    QVERIFY(!r.value("message").toString().isEmpty());
    QVERIFY(!r.contains("sessionid"));
}

void TestLabAccount::signInSuccessCarriesIdentity()
{
    const QJsonObject ok = login(http_, lab_.accountUrl(), "demo", "demo123");
    QCOMPARE(ok.value("code").toInt(), 0);
    QCOMPARE(ok.value("userid").toString(), QStringLiteral("880000001"));
    QCOMPARE(ok.value("username").toString(), QStringLiteral("demo"));
    QCOMPARE(ok.value("nickname").toString(), QStringLiteral("演示用户"));
    QVERIFY(
        QRegularExpression("^[0-9a-f]{32}$").match(ok.value("sessionid").toString()).hasMatch());
    QVERIFY(!ok.value("jumpkey").toString().isEmpty());
    const HttpSync::Result avatar = http_.get(ok.value("imageurl").toString());
    QCOMPARE(avatar.status, 200);
    QVERIFY(avatar.body.startsWith("\x89PNG"));
    // The reply stays flat: the account component reads it without a full JSON parser.
    for (const QJsonValue &v : ok)
        QVERIFY(!v.isObject() && !v.isArray());
}

void TestLabAccount::kickOutReachesWaitingSession()
{
    const QString first = session();
    QCOMPARE(event(first, 200), QStringLiteral("none"));
    // A waiting poll must come back as soon as another sign-in takes the account over.
    const QString url =
        lab_.accountUrl() + QStringLiteral("/account/wait?timeout_ms=30000&sessionid=") + first;
    QFuture<QJsonObject> waiting = QtConcurrent::run([url] { return HttpSync().get(url).json(); });
    QTest::qWait(300); // lets the poll reach the service first: no assertion hangs on it
    const QString second = session();
    QVERIFY(second != first);
    waiting.waitForFinished();
    // "kickout", not "none": the poll ended on the take-over, not on its time-out.
    QCOMPARE(waiting.result().value("event").toString(), QStringLiteral("kickout"));
    // Asked again later, the answer is the same, at once.
    QCOMPARE(event(first, 30000), QStringLiteral("kickout"));
    QCOMPARE(event(second, 100), QStringLiteral("none"));
}

void TestLabAccount::logoutEndsSession()
{
    const QString s = session();
    QCOMPARE(http_
                 .post(lab_.accountUrl() + QStringLiteral("/account/logout"),
                       "sessionid=" + s.toLatin1())
                 .json()
                 .value("code")
                 .toInt(),
             0);
    QCOMPARE(event(s, 5000), QStringLiteral("invalid"));
    QCOMPARE(event("deadbeef", 5000), QStringLiteral("invalid"));
}

void TestLabAccount::deviceListNeedsLiveSession()
{
    const QByteArray s = "sessionid=" + session().toLatin1();
    QCOMPARE(devices(s + "; userid=880000001; clientoperationid=81; platform=windows")
                 .value("ret")
                 .toInt(),
             0);
    QCOMPARE(devices("").value("ret").toInt(), 1);
    QCOMPARE(devices("sessionid=0123; userid=880000001").value("ret").toInt(), 1);
    // The cookie's user must be the session's.
    QCOMPARE(devices(s + "; userid=880000002").value("ret").toInt(), 1);
    // A session taken over by a newer sign-in no longer lists devices.
    session();
    QCOMPARE(devices(s + "; userid=880000001").value("ret").toInt(), 1);
}

void TestLabAccount::deviceListKeys()
{
    const QJsonArray list = devices("sessionid=" + session().toLatin1() + "; userid=880000001")
                                .value("devices")
                                .toArray();
    QCOMPARE(list.size(), 2); // the LAN-only box is bound to nobody
    const QJsonObject first = list[0].toObject();
    QCOMPARE(first.value("deviceid").toString(), kDevice);
    QCOMPARE(QString::fromUtf8(
                 QByteArray::fromPercentEncoding(first.value("aliasname").toString().toLatin1())),
             QStringLiteral("客厅的盒子"));
    QVERIFY(!first.value("aliasname").toString().contains(QChar(0x5ba2))); // sent encoded
    QCOMPARE(first.value("serverip").toString(), QStringLiteral("127.0.0.1"));
    QCOMPARE(first.value("serverport").toInt(), lab_.relayPort());
    QCOMPARE(first.value("onlinestatus").toInt(), 1);
    const QJsonObject ports = first.value("new_port_set").toObject();
    QCOMPARE(ports.value("xctl_port").toInt(), lab_.device(kDevice).value("xctl_port").toInt());
    QCOMPARE(ports.value("http_port").toInt(), lab_.device(kDevice).value("http_port").toInt());
    QCOMPARE(list[1].toObject().value("onlinestatus").toInt(), 0);
}

void TestLabAccount::passwordPage()
{
    const HttpSync::Result page =
        http_.get(lab_.accountUrl() + QStringLiteral("/password_find.html"));
    QCOMPARE(page.status, 200);
    QVERIFY(QString::fromUtf8(page.body).contains(QStringLiteral("<title>找回密码")));
}

void TestLabAccount::refusingAccountKeepsFirstSession()
{
    // An account that refuses a second sign-in while one is active: a run of its own.
    LabProcess refusing;
    QVERIFY2(refusing.startSample(QJsonObject{
                 {"account",
                  QJsonObject{{"accounts", QJsonArray{QJsonObject{{"name", "demo"},
                                                                  {"on_conflict", "refuse"}}}}}}}),
             qPrintable(refusing.lastError()));
    const QString first =
        login(http_, refusing.accountUrl(), "demo", "demo123").value("sessionid").toString();
    QVERIFY(!first.isEmpty());
    QCOMPARE(login(http_, refusing.accountUrl(), "demo", "demo123").value("code").toInt(), 4);
    http_.post(refusing.accountUrl() + QStringLiteral("/account/logout"),
               "sessionid=" + first.toLatin1());
    QCOMPARE(login(http_, refusing.accountUrl(), "demo", "demo123").value("code").toInt(), 0);
    // Every request was logged: method, target, status, bytes.
    QTRY_COMPARE_WITH_TIMEOUT(
        refusing.requestLog().filter(QStringLiteral("POST /account/login 200 ")).size(), 3, 10000);
}

QTEST_GUILESS_MAIN(TestLabAccount)
#include "tst_labaccount.moc"
