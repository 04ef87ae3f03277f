// UserMgr -> qmuserhelper -> account component (libQMUserS.so next to this executable) -> lab.
#include "account/usermgr.h"
#include "store/database.h"
#include "tests/support/labprocess.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QThread>
#include <QUrlQuery>
#include <QtTest>

#include <memory>

namespace {

const int eventWaitMs = 30000;

// A signal may already have come while another wait ran the event loop.
bool arrived(QSignalSpy &spy, int timeoutMs = eventWaitMs)
{
    return spy.count() > 0 || spy.wait(timeoutMs);
}

struct HistoryRow
{
    int rows = 0;
    QString name;
    QString storedPw;
    int autologinflag = -1;
    int savepwflag = -1;
};

HistoryRow historyOf(const QString &name)
{
    HistoryRow r;
    QSqlQuery q;
    q.prepare("select login_name, pw, autologinflag, savepwflag from login_history where "
              "login_name = ?");
    q.addBindValue(name);
    if (!q.exec())
        return r;
    while (q.next()) {
        ++r.rows;
        r.name = q.value(0).toString();
        r.storedPw = q.value(1).toString();
        r.autologinflag = q.value(2).toInt();
        r.savepwflag = q.value(3).toInt();
    }
    return r;
}

} // namespace

class TestUserMgrLab : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void signInStoresRecordOnGuiThread();
    void signInWithoutRememberStoresZeroFlags();
    void wrongPassword();
    void secondInitKeepsFirst();
    void logout();
    void kickOutBySecondSignIn();
    void timeOut();

private:
    int signIn(const char *name, const char *password, bool remember);
    int signInElsewhere(const QString &name, const QString &password);

    LabProcess lab;
    std::unique_ptr<UserMgr> mgr;
    QList<QThread *> signalThreads;
};

void TestUserMgrLab::initTestCase()
{
    QVERIFY2(lab.startSample(), qPrintable(lab.lastError()));
    qputenv("KELVORA_ACCOUNT_SERVICE", lab.accountUrl().toUtf8());
    InitDatabase();
}

void TestUserMgrLab::init()
{
    signalThreads.clear();
    QSqlQuery q;
    QVERIFY(q.exec("DELETE FROM login_history"));
    mgr.reset(new UserMgr);
    QCOMPARE(mgr->Init("2.3.4.5", 81), 0);
    QVERIFY(mgr->IsInitialised());
    QVERIFY(!mgr->IsLogin());
    // Direct connections run in the emitting thread: it must be the GUI thread.
    auto record = [this] { signalThreads << QThread::currentThread(); };
    connect(mgr.get(), &UserMgr::LoginFinish, record);
    connect(mgr.get(), &UserMgr::KickOut, record);
    connect(mgr.get(), &UserMgr::LoginOverTime, record);
}

void TestUserMgrLab::cleanup()
{
    for (QThread *t : signalThreads)
        QCOMPARE(t, QCoreApplication::instance()->thread());
    mgr.reset();
    QVERIFY(lab.setFaults(QJsonObject()));
}

int TestUserMgrLab::signIn(const char *name, const char *password, bool remember)
{
    QSignalSpy finish(mgr.get(), &UserMgr::LoginFinish);
    mgr->SetSavePassword(remember);
    if (mgr->Login(name, password, 0, false) != 0)
        return -100;
    if (!arrived(finish))
        return -200;
    return finish.first().first().toInt();
}

// A sign-in of the same account from somewhere else, straight at the account service.
int TestUserMgrLab::signInElsewhere(const QString &name, const QString &password)
{
    QNetworkAccessManager nam;
    QNetworkRequest request(QUrl(lab.accountUrl() + "/account/login"));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    QUrlQuery form;
    form.addQueryItem("name", name);
    form.addQueryItem("password", password);
    form.addQueryItem("client", "81");
    form.addQueryItem("version", "9.9.9.9");
    QNetworkReply *reply = nam.post(request, form.toString(QUrl::FullyEncoded).toUtf8());
    QSignalSpy done(reply, &QNetworkReply::finished);
    if (!done.wait(eventWaitMs))
        return -1;
    reply->deleteLater();
    return reply->error() == QNetworkReply::NoError ? 0 : -1;
}

void TestUserMgrLab::signInStoresRecordOnGuiThread()
{
    QCOMPARE(signIn("demo", "demo123", true), 0);
    QVERIFY(mgr->IsLogin());
    QCOMPARE(mgr->UserName(), QString("demo"));

    quint64 userId = 0;
    std::string sessionId, userName, nickName, jumpKey, imageUrl;
    QCOMPARE(mgr->GetUserId(&userId), 0);
    QCOMPARE(userId, quint64(880000001));
    QCOMPARE(mgr->GetSessionId(&sessionId), 0);
    QVERIFY(!sessionId.empty());
    QCOMPARE(mgr->GetUserName(&userName), 0);
    QCOMPARE(QString::fromStdString(userName), QString("demo"));
    QCOMPARE(mgr->GetNickName(&nickName), 0);
    QCOMPARE(QString::fromStdString(nickName), QString::fromUtf8("演示用户"));
    QCOMPARE(mgr->GetJumpKey(&jumpKey), 0);
    QCOMPARE(mgr->GetImageUrl(&imageUrl), 0);

    // Written by OnLoginResult on the GUI thread (the database refuses other threads).
    const HistoryRow row = historyOf("demo");
    QCOMPARE(row.rows, 1);
    QCOMPARE(row.savepwflag, 1);
    QCOMPARE(row.autologinflag, 1);
    const LoginInfo last = mgr->LastLogin();
    QCOMPARE(last.login_name, QString("demo"));
    QCOMPARE(last.pw, QString("demo123"));
    QCOMPARE(signalThreads.size(), 1);
}

void TestUserMgrLab::signInWithoutRememberStoresZeroFlags()
{
    QCOMPARE(signIn("test", "test123", false), 0);
    const HistoryRow row = historyOf("test");
    QCOMPARE(row.rows, 1);
    QCOMPARE(row.savepwflag, 0);
    QCOMPARE(row.autologinflag, 0);
    QVERIFY(!row.storedPw.isEmpty());
    QCOMPARE(mgr->LastLogin().pw, QString()); // not remembered, not kept
}

void TestUserMgrLab::wrongPassword()
{
    QCOMPARE(signIn("demo", "wrong", true), 3);
    QVERIFY(!mgr->IsLogin());
    QCOMPARE(historyOf("demo").rows, 0);
    QCOMPARE(UserMgr::ErrorText(3), QString::fromUtf8("密码错误,请核对密码后登录"));
}

void TestUserMgrLab::secondInitKeepsFirst()
{
    QCOMPARE(mgr->Init("other", 99), 0);
    QVERIFY(mgr->IsInitialised());
    QCOMPARE(signIn("demo", "demo123", true), 0);
}

void TestUserMgrLab::logout()
{
    QCOMPARE(signIn("demo", "demo123", true), 0);
    QVERIFY(mgr->IsLogin());
    QCOMPARE(mgr->Logout(), 0);
    QVERIFY(!mgr->IsLogin());
    QCOMPARE(mgr->Logout(), 0); // nobody signed in: nothing to do
    QSignalSpy kick(mgr.get(), &UserMgr::KickOut);
    QCOMPARE(signInElsewhere("demo", "demo123"), 0);
    QVERIFY(!arrived(kick, 4000)); // a signed-out session is not taken over
}

void TestUserMgrLab::kickOutBySecondSignIn()
{
    QCOMPARE(signIn("demo", "demo123", true), 0);
    QSignalSpy kick(mgr.get(), &UserMgr::KickOut);
    QCOMPARE(signInElsewhere("demo", "demo123"), 0);
    QVERIFY2(arrived(kick), qPrintable(lab.requestLog().join('\n')));
    QCOMPARE(kick.count(), 1);
    QVERIFY(!mgr->IsLogin());
}

void TestUserMgrLab::timeOut()
{
    QVERIFY(lab.setFaults(
        QJsonObject{{"account", QJsonObject{{"delay_ms", 14000}, {"only", "login"}}}}));
    QSignalSpy over(mgr.get(), &UserMgr::LoginOverTime);
    QSignalSpy finish(mgr.get(), &UserMgr::LoginFinish);
    QCOMPARE(mgr->Login("demo", "demo123", 0, false), 0);
    QVERIFY(arrived(over, eventWaitMs + 15000));
    QCOMPARE(over.count(), 1);
    QCOMPARE(finish.count(), 0);
    QVERIFY(!mgr->IsLogin());
    QCOMPARE(historyOf("demo").rows, 0);
}

QTEST_GUILESS_MAIN(TestUserMgrLab)
#include "tst_usermgr_lab.moc"
