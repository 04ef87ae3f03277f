// The user manager without an account component next to the executable: the library fails
// to start and every call must degrade without hanging a waiting caller.
#include "account/usermgr.h"
#include "store/database.h"

#include <QSignalSpy>
#include <QSqlQuery>
#include <QtTest>

class TestUserMgr : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void withoutComponent();
    void loginWithoutComponentReportsNetworkError();
    void lastLogin();
    void errorTexts_data();
    void errorTexts();
    void flagsAreKept();
};

void TestUserMgr::initTestCase()
{
    InitDatabase();
}

void TestUserMgr::withoutComponent()
{
    UserMgr mgr;
    QCOMPARE(mgr.Init("1.0.0.0", 81), -1);
    QVERIFY(!mgr.IsInitialised());
    QVERIFY(!mgr.IsLogin());
    QCOMPARE(mgr.Logout(), 0);
    QCOMPARE(mgr.Uninit(), 0);
    quint64 id = 77;
    QCOMPARE(mgr.GetUserId(&id), -1);
    QCOMPARE(id, quint64(0));
    std::string text = "untouched";
    QCOMPARE(mgr.GetSessionId(&text), -1);
    QCOMPARE(mgr.GetUserName(&text), -1);
    QCOMPARE(mgr.GetNickName(&text), -1);
    QCOMPARE(mgr.GetJumpKey(&text), -1);
    QCOMPARE(mgr.GetImageUrl(&text), -1);
    QCOMPARE(text, std::string("untouched"));
}

void TestUserMgr::loginWithoutComponentReportsNetworkError()
{
    UserMgr mgr;
    QCOMPARE(mgr.Init("1.0.0.0", 81), -1);
    QSignalSpy finish(&mgr, &UserMgr::LoginFinish);
    QCOMPARE(mgr.Login("demo", "demo123", 0, false), -1);
    // Not at once: the caller switches to waiting first.
    QCOMPARE(finish.count(), 0);
    QVERIFY(finish.wait(10000));
    QCOMPARE(finish.count(), 1);
    QCOMPARE(finish.at(0).at(0).toInt(), 1);
    // Nothing was signed in, so nothing is stored.
    QSqlQuery q("select count(*) from login_history");
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 0);
}

void TestUserMgr::lastLogin()
{
    UserMgr mgr;
    LoginInfo empty = mgr.LastLogin();
    QVERIFY(empty.login_name.isEmpty());
    QVERIFY(empty.pw.isEmpty());
    QCOMPARE(empty.savepwflag, 0);
    QCOMPARE(empty.autologinflag, 0);

    AddLoginInfo({QString::fromUtf8("李四"), QString::fromUtf8("密'码"), 1, 0});
    const LoginInfo info = mgr.LastLogin();
    QCOMPARE(info.login_name, QString::fromUtf8("李四"));
    QCOMPARE(info.pw, QString::fromUtf8("密'码"));
    QCOMPARE(info.savepwflag, 1);
    QCOMPARE(info.autologinflag, 0);
    QSqlQuery q;
    QVERIFY(q.exec("DELETE FROM login_history"));
}

void TestUserMgr::errorTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("1") << 1 << QString::fromUtf8("网络错误");
    QTest::newRow("2") << 2 << QString::fromUtf8("用户名不存在");
    QTest::newRow("3") << 3 << QString::fromUtf8("密码错误,请核对密码后登录");
    QTest::newRow("4") << 4 << QString::fromUtf8("在其他地方登录了");
    QTest::newRow("5") << 5 << QString::fromUtf8("超时");
    QTest::newRow("6") << 6 << QString::fromUtf8("系统维护");
    QTest::newRow("7") << 7 << QString::fromUtf8("账号被锁定");
    QTest::newRow("8") << 8 << QString::fromUtf8("服务器内部错误");
    QTest::newRow("9") << 9 << QString::fromUtf8("未知错误");
    QTest::newRow("-1") << -1 << QString::fromUtf8("未知错误");
    QTest::newRow("-10000") << -10000 << QString::fromUtf8("未知错误");
}

void TestUserMgr::errorTexts()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(UserMgr::ErrorText(code), text);
}

void TestUserMgr::flagsAreKept()
{
    UserMgr mgr;
    QVERIFY(!mgr.SavePassword());
    QVERIFY(!mgr.AutoLogin());
    mgr.SetSavePassword(true);
    mgr.SetAutoLogin(true);
    QVERIFY(mgr.SavePassword());
    QVERIFY(mgr.AutoLogin());
}

QTEST_GUILESS_MAIN(TestUserMgr)
#include "tst_usermgr.moc"
