// The account service, the device-management server and the cloud-disk site of the lab, driven
// over HTTP.
#include "labtest.h"

#include <QFile>
#include <QJsonArray>
#include <QtConcurrent/QtConcurrentRun>
#include <QtTest>

namespace {

QByteArray form(const QList<QPair<QString, QString>> &fields)
{
    QUrlQuery q;
    for (const auto &f : fields)
        q.addQueryItem(f.first, QString::fromLatin1(QUrl::toPercentEncoding(f.second)));
    return q.query(QUrl::FullyEncoded).toLatin1();
}

} // namespace

class TestLabAccount : public LabTest
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
    void cloudSignIn();
    void cloudPagesCarryTheObjectsTheScriptUses();
    void cloudServicesNeedSignIn();
    void cloudListAndDownloadWithRange();

private:
    QString event(const QString &session, int timeoutMs)
    {
        return get(lab_.accountUrl() + QStringLiteral("/account/wait?sessionid=%1&timeout_ms=%2")
                                           .arg(session)
                                           .arg(timeoutMs))
            .value("event")
            .toString();
    }
    QString cloud(const QString &path) const { return base(lab_.cloudPort()) + path; }
    int errnoOf(HttpSync &http, const char *service, const QByteArray &body)
    {
        return http.post(cloud(service), body).json().value("errno").toInt(-99);
    }
    HttpSync signedIn_; // to the cloud-disk site
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
    QCOMPARE(ports.value("xctl_port").toInt(), port("xctl"));
    QCOMPARE(ports.value("http_port").toInt(), port("http"));
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

void TestLabAccount::cloudSignIn()
{
    QCOMPARE(signedIn_.post(cloud("/login"), form({{"username", "demo"}, {"password", "wrong"}}))
                 .header("Location"),
             QByteArray("/?error=1"));
    const HttpSync::Result login =
        signedIn_.post(cloud("/login"), form({{"username", "demo"}, {"password", "demo123"}}));
    QCOMPARE(login.status, 302);
    QCOMPARE(login.header("Location"), QByteArray("/my/"));
    QVERIFY(login.header("Set-Cookie").startsWith("yp_session="));
}

void TestLabAccount::cloudPagesCarryTheObjectsTheScriptUses()
{
    HttpSync anonymous;
    const HttpSync::Result home = anonymous.get(cloud("/"));
    QCOMPARE(home.status, 200);
    for (const char *needle : {"container", "login-panel", "wrap clearfix", "follow-us"})
        QVERIFY2(home.body.contains(needle), needle);
    // Signed-in pages only with the session; the home page otherwise.
    QCOMPARE(anonymous.get(cloud("/my/")).status, 302);
    const HttpSync::Result my = signedIn_.get(cloud("/my/?path=/我的图片"));
    QCOMPARE(my.status, 200);
    for (const char *needle : {"id=\"listHolder\"", "id=\"list\"", "id=\"topPanel\"",
                               "id=\"tbNew\"", "id=\"x-yp-3\"", "data-nid=", "云端 风景.jpg"})
        QVERIFY2(my.body.contains(needle), needle);
    // The scripts it loads are served: jQuery and the page objects.
    const QRegularExpression script(QStringLiteral("<script[^>]*src=\"([^\"]+)\""));
    auto it = script.globalMatch(QString::fromUtf8(my.body));
    QByteArray scripts;
    while (it.hasNext()) {
        const HttpSync::Result r = signedIn_.get(cloud(it.next().captured(1)));
        QCOMPARE(r.status, 200);
        scripts += r.body;
    }
    QVERIFY(scripts.contains("jQuery v3.7.1"));
    for (const char *needle : {"getSelectFile", "evalExp", "f_down", "getList", "hideAll"})
        QVERIFY2(scripts.contains(needle), needle);
}

void TestLabAccount::cloudServicesNeedSignIn()
{
    HttpSync anonymous;
    QCOMPARE(errnoOf(anonymous, "/file/getList", form({{"path", "/"}})), 1001);
    QCOMPARE(
        errnoOf(anonymous, "/file/download", form({{"nid", "x"}, {"fname", "x"}, {"ajax", "1"}})),
        1001);
    // A nid that names a path out of the user's folder, or nothing.
    const QString out = QString::fromLatin1(
        QByteArray("/../../lab.json")
            .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
    for (const QString &nid : {out, QStringLiteral("bm8tc3VjaA")})
        QCOMPARE(errnoOf(signedIn_, "/file/download",
                         form({{"nid", nid}, {"fname", "x"}, {"ajax", "1"}})),
                 2001);
    QCOMPARE(anonymous.get(cloud("/dl/" + out + "/lab.json?t=x")).status, 403);

    // A link in the user's folder that leads out of it is not followed (as on the devices), and
    // a NUL in a path cuts nothing short.
    const QString link = lab_.sampleDir() + QStringLiteral("/cloud/demo/escape");
    QVERIFY(QFile::link(lab_.sampleDir(), link));
    const auto nidOf = [](const QByteArray &path) {
        return QString::fromLatin1(
            path.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
    };
    for (const QByteArray &path :
         {QByteArray("/escape/lab.json"), QByteArray("/big file 4MB.bin\0/../../lab.json", 33)}) {
        QCOMPARE(errnoOf(signedIn_, "/file/download",
                         form({{"nid", nidOf(path)}, {"fname", "x"}, {"ajax", "1"}})),
                 2001);
        QVERIFY(signedIn_.get(cloud("/dl/" + nidOf(path) + "/lab.json")).status >= 400);
    }
    QCOMPARE(errnoOf(signedIn_, "/file/getList", form({{"path", "/escape"}})), 2002);
    QFile::remove(link);
}

void TestLabAccount::cloudListAndDownloadWithRange()
{
    // The list comes as text that the page evaluates; it is JSON.
    const HttpSync::Result list =
        signedIn_.post(cloud("/file/getList"), form({{"path", "/"}, {"field", "x"}}));
    QCOMPARE(list.status, 200);
    const QJsonObject listed = list.json();
    QCOMPARE(listed.value("errno").toInt(), 0);
    QJsonObject big;
    for (const QJsonValue &v : listed.value("data").toArray())
        if (v.toObject().value("oriName").toString() == QStringLiteral("big file 4MB.bin"))
            big = v.toObject();
    QCOMPARE(big.value("isDir").toInt(), 0);
    QCOMPARE(big.value("path").toString(), QStringLiteral("/big file 4MB.bin"));

    const QJsonObject address =
        signedIn_
            .post(cloud("/file/download"), form({{"nid", big.value("nid").toString()},
                                                 {"fname", "big file 4MB.bin"},
                                                 {"ajax", "1"}}))
            .json();
    QCOMPARE(address.value("errno").toInt(), 0);
    const QJsonObject data = address.value("data").toObject();
    const qint64 size = data.value("size").toVariant().toLongLong();
    QFile file(lab_.sampleDir() + QStringLiteral("/cloud/demo/big file 4MB.bin"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(size, file.size());
    const QByteArray whole = file.readAll();

    // The address works without the cookie, with Range (the edge cases of Range are the device
    // test's: both serve files the same way).
    const QUrl download(data.value("download_url").toString());
    QCOMPARE(download.port(), lab_.cloudPort());
    HttpSync anonymous;
    const HttpSync::Result part = anonymous.get(download, {{"Range", "bytes=1000000-1000999"}});
    QCOMPARE(part.status, 206);
    QCOMPARE(part.header("Content-Range"), "bytes 1000000-1000999/" + QByteArray::number(size));
    QCOMPARE(part.body, whole.mid(1000000, 1000));
    const HttpSync::Result all = anonymous.get(download);
    QCOMPARE(all.status, 200);
    QCOMPARE(all.body, whole);
}

QTEST_GUILESS_MAIN(TestLabAccount)
#include "tst_labaccount.moc"
