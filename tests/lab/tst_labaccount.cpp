// The account service and the device-management server of the lab, driven over HTTP.
#include "tests/support/httpsync.h"
#include "tests/support/labprocess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtConcurrent/QtConcurrentRun>
#include <QtTest>

namespace {

QJsonObject json(const HttpSync::Result &r)
{
    return QJsonDocument::fromJson(r.body).object();
}

} // namespace

class TestLabAccount : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void signInCodes();
    void signInSuccessCarriesIdentity();
    void kickOutReachesWaitingSession();
    void logoutEndsSession();
    void deviceListNeedsLiveSession();
    void deviceListKeys();
    void passwordPage();
    void forcedCodeAndDelay();

private:
    QJsonObject login(const QString &name, const QString &password);
    LabProcess lab_;
    HttpSync http_;
};

void TestLabAccount::initTestCase()
{
    // "test" is locked here; the second run below checks maintenance.
    QVERIFY2(lab_.startSample(QJsonObject{
                 {"account", QJsonObject{{"accounts", QJsonArray{QJsonObject{
                                                          {"name", "test"}, {"locked", true}}}}}}}),
             qPrintable(lab_.lastError()));
}

QJsonObject TestLabAccount::login(const QString &name, const QString &password)
{
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("name"), name);
    form.addQueryItem(QStringLiteral("password"), password);
    form.addQueryItem(QStringLiteral("client"), QStringLiteral("81"));
    form.addQueryItem(QStringLiteral("version"), QStringLiteral("1.0.0.0"));
    const HttpSync::Result r =
        http_.post(QUrl(lab_.accountUrl() + QStringLiteral("/account/login")),
                   form.query(QUrl::FullyEncoded).toUtf8(), "application/x-www-form-urlencoded");
    return json(r);
}

void TestLabAccount::signInCodes()
{
    QCOMPARE(login(QStringLiteral("nobody"), QStringLiteral("x")).value("code").toInt(), 2);
    QCOMPARE(login(QStringLiteral("demo"), QStringLiteral("wrong")).value("code").toInt(), 3);
    QCOMPARE(login(QStringLiteral("demo"), QStringLiteral("demo123 ")).value("code").toInt(), 3);
    const QJsonObject locked = login(QStringLiteral("test"), QStringLiteral("test123"));
    QCOMPARE(locked.value("code").toInt(), 7);
    QVERIFY(!locked.value("message").toString().isEmpty());
    QVERIFY(!locked.contains("sessionid"));
}

void TestLabAccount::signInSuccessCarriesIdentity()
{
    const QJsonObject ok = login(QStringLiteral("demo"), QStringLiteral("demo123"));
    QCOMPARE(ok.value("code").toInt(), 0);
    QCOMPARE(ok.value("userid").toString(), QStringLiteral("880000001"));
    QCOMPARE(ok.value("username").toString(), QStringLiteral("demo"));
    QCOMPARE(ok.value("nickname").toString(), QStringLiteral("演示用户"));
    QVERIFY(
        QRegularExpression("^[0-9a-f]{32}$").match(ok.value("sessionid").toString()).hasMatch());
    QVERIFY(!ok.value("jumpkey").toString().isEmpty());
    const HttpSync::Result avatar = http_.get(QUrl(ok.value("imageurl").toString()));
    QCOMPARE(avatar.status, 200);
    QVERIFY(avatar.body.startsWith("\x89PNG"));
    // The reply stays flat: the account component reads it without a full JSON parser.
    for (const QJsonValue &v : ok)
        QVERIFY(!v.isObject() && !v.isArray());
}

void TestLabAccount::kickOutReachesWaitingSession()
{
    const QString first =
        login(QStringLiteral("demo"), QStringLiteral("demo123")).value("sessionid").toString();
    const QString url =
        lab_.accountUrl() + QStringLiteral("/account/wait?sessionid=%1&timeout_ms=%2");
    QCOMPARE(json(http_.get(QUrl(url.arg(first).arg(200)))).value("event").toString(),
             QStringLiteral("none"));

    // A waiting poll must come back as soon as another sign-in takes the account over.
    QFuture<QJsonObject> waiting = QtConcurrent::run([url, first] {
        HttpSync own;
        return json(own.get(QUrl(url.arg(first).arg(30000))));
    });
    QTest::qWait(300);
    const QString second =
        login(QStringLiteral("demo"), QStringLiteral("demo123")).value("sessionid").toString();
    QVERIFY(second != first);
    waiting.waitForFinished();
    // "kickout", not "none": the poll ended on the take-over, not on its time-out.
    QCOMPARE(waiting.result().value("event").toString(), QStringLiteral("kickout"));
    // Asked again later, the answer is the same, at once.
    QCOMPARE(json(http_.get(QUrl(url.arg(first).arg(30000)))).value("event").toString(),
             QStringLiteral("kickout"));
    QCOMPARE(json(http_.get(QUrl(url.arg(second).arg(100)))).value("event").toString(),
             QStringLiteral("none"));
}

void TestLabAccount::logoutEndsSession()
{
    const QString s =
        login(QStringLiteral("demo"), QStringLiteral("demo123")).value("sessionid").toString();
    const HttpSync::Result out =
        http_.post(QUrl(lab_.accountUrl() + QStringLiteral("/account/logout")),
                   "sessionid=" + s.toLatin1(), "application/x-www-form-urlencoded");
    QCOMPARE(json(out).value("code").toInt(), 0);
    const QString wait =
        lab_.accountUrl() + QStringLiteral("/account/wait?timeout_ms=5000&sessionid=");
    QCOMPARE(json(http_.get(QUrl(wait + s))).value("event").toString(), QStringLiteral("invalid"));
    QCOMPARE(json(http_.get(QUrl(wait + QStringLiteral("deadbeef")))).value("event").toString(),
             QStringLiteral("invalid"));
}

void TestLabAccount::deviceListNeedsLiveSession()
{
    const QJsonObject ok = login(QStringLiteral("demo"), QStringLiteral("demo123"));
    const QString s = ok.value("sessionid").toString();
    const QUrl url(lab_.accountUrl() +
                   QStringLiteral("/tovrik/user/querydevice?userid=880000001&ct=30&v=2&type=0"));
    auto query = [&](const QByteArray &cookie) {
        return json(http_.get(url, {{"Cookie", cookie}, {"User-Agent", "Kelvora Client Win32"}}));
    };
    QCOMPARE(query("sessionid=" + s.toLatin1() +
                   "; userid=880000001; clientoperationid=81; platform=windows")
                 .value("ret")
                 .toInt(),
             0);
    QCOMPARE(query("").value("ret").toInt(), 1);
    QCOMPARE(query("sessionid=0123; userid=880000001").value("ret").toInt(), 1);
    // The cookie's user must be the session's.
    QCOMPARE(query("sessionid=" + s.toLatin1() + "; userid=880000002").value("ret").toInt(), 1);
    // A session taken over by a newer sign-in no longer lists devices.
    login(QStringLiteral("demo"), QStringLiteral("demo123"));
    QCOMPARE(query("sessionid=" + s.toLatin1() + "; userid=880000001").value("ret").toInt(), 1);
}

void TestLabAccount::deviceListKeys()
{
    const QString s =
        login(QStringLiteral("demo"), QStringLiteral("demo123")).value("sessionid").toString();
    const QJsonObject reply = json(http_.get(
        QUrl(lab_.accountUrl() +
             QStringLiteral("/tovrik/user/querydevice?userid=880000001&ct=30&v=2&type=0")),
        {{"Cookie", "sessionid=" + s.toLatin1() + "; userid=880000001"}}));
    const QJsonArray devices = reply.value("devices").toArray();
    QCOMPARE(devices.size(), 2); // the LAN-only box is bound to nobody
    const QJsonObject first = devices[0].toObject();
    QCOMPARE(first.value("deviceid").toString(), QStringLiteral("TVK0000000001"));
    QCOMPARE(QString::fromUtf8(
                 QByteArray::fromPercentEncoding(first.value("aliasname").toString().toLatin1())),
             QStringLiteral("客厅的盒子"));
    QVERIFY(!first.value("aliasname").toString().contains(QChar(0x5ba2))); // sent encoded
    QCOMPARE(first.value("serverip").toString(), QStringLiteral("127.0.0.1"));
    QCOMPARE(first.value("serverport").toInt(), lab_.relayPort());
    QCOMPARE(first.value("onlinestatus").toInt(), 1);
    const QJsonObject ports = first.value("new_port_set").toObject();
    QCOMPARE(ports.value("xctl_port").toInt(),
             lab_.device("TVK0000000001").value("xctl_port").toInt());
    QCOMPARE(ports.value("http_port").toInt(),
             lab_.device("TVK0000000001").value("http_port").toInt());
    QCOMPARE(devices[1].toObject().value("onlinestatus").toInt(), 0);
}

void TestLabAccount::passwordPage()
{
    const HttpSync::Result page =
        http_.get(QUrl(lab_.accountUrl() + QStringLiteral("/password_find.html")));
    QCOMPARE(page.status, 200);
    QVERIFY(QString::fromUtf8(page.body).contains(QStringLiteral("<title>找回密码")));
}

void TestLabAccount::forcedCodeAndDelay()
{
    QVERIFY(lab_.setFaults(QJsonObject{{"account", QJsonObject{{"force_code", 8}}}}));
    QCOMPARE(login(QStringLiteral("demo"), QStringLiteral("demo123")).value("code").toInt(), 8);
    QVERIFY(lab_.setFaults(QJsonObject{{"account", QJsonObject{{"delay_ms", 1500}}}}));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(login(QStringLiteral("demo"), QStringLiteral("demo123")).value("code").toInt(), 0);
    QVERIFY(clock.elapsed() >= 1400);
    QVERIFY(lab_.setFaults(QJsonObject()));
    QVERIFY(!lab_.setFaults(QJsonObject{{"account", QJsonObject{{"no_such_switch", 1}}}}));

    // An account that refuses a second sign-in while one is active: a run of its own.
    LabProcess refusing;
    QVERIFY2(refusing.startSample(QJsonObject{
                 {"account",
                  QJsonObject{{"accounts", QJsonArray{QJsonObject{{"name", "demo"},
                                                                  {"on_conflict", "refuse"}}}}}}}),
             qPrintable(refusing.lastError()));
    auto signIn = [&] {
        QUrlQuery form;
        form.addQueryItem(QStringLiteral("name"), QStringLiteral("demo"));
        form.addQueryItem(QStringLiteral("password"), QStringLiteral("demo123"));
        return json(http_.post(QUrl(refusing.accountUrl() + QStringLiteral("/account/login")),
                               form.query(QUrl::FullyEncoded).toUtf8(),
                               "application/x-www-form-urlencoded"));
    };
    const QString first = signIn().value("sessionid").toString();
    QVERIFY(!first.isEmpty());
    QCOMPARE(signIn().value("code").toInt(), 4);
    http_.post(QUrl(refusing.accountUrl() + QStringLiteral("/account/logout")),
               "sessionid=" + first.toLatin1(), "application/x-www-form-urlencoded");
    QCOMPARE(signIn().value("code").toInt(), 0);
    // Every request was logged: method, target, status, bytes.
    QTRY_VERIFY_WITH_TIMEOUT(
        refusing.requestLog().filter(QStringLiteral("POST /account/login 200 ")).size() == 3,
        10000);
}

QTEST_GUILESS_MAIN(TestLabAccount)
#include "tst_labaccount.moc"
