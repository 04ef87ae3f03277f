// The account service, the device-management server and the cloud-disk site of the lab, driven
// over HTTP.
#include "labtest.h"

#include <QFile>
#include <QJsonArray>
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
    void deviceListNeedsLiveSession();
    void refusingAccountKeepsFirstSession();
    void cloudSignIn();
    void cloudServicesNeedSignIn();

private:
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
    // Unknown user (2) and wrong password (3) are the sign-in lab test's.
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

QTEST_GUILESS_MAIN(TestLabAccount)
#include "tst_labaccount.moc"
