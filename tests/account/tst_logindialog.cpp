// The login dialog's form, validation, waiting state, remembered login and close handling,
// over a user manager whose library could not start (no account component here).
#include "account/logindialog.h"
#include "account/usermgr.h"
#include "store/database.h"
#include "toastprobe.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QtTest>

#include <memory>

class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

class TestLoginDialog : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void validation_data();
    void validation();
    void returnKeyActsLikeButton();
    void spacesPassAndWaitEndsWithNetworkError();
    void returnWhileWaitingSendsNothing();
    void acceptedEndsWaiting();
    void timeOutEndsWaiting();
    void showLastLoginWithoutHistory();
    void showLastLoginFlags_data();
    void showLastLoginFlags();
    void autoLoginOnlyWithFlagOne_data();
    void autoLoginOnlyWithFlagOne();
    void forgetPasswordOpensRecoveryPage();
    void closeWhileSignedInHides();
    // Last: quitting ends every event loop for the rest of the process.
    void closeBeforeSignInQuits();

private:
    template <typename T> T *child(const char *name)
    {
        return dialog->findChild<T *>(QLatin1String(name));
    }
    void clearHistory();

    std::unique_ptr<UserMgr> mgr;
    std::unique_ptr<LoginDialog> dialog;
    bool signedIn = false;
};

void TestLoginDialog::initTestCase()
{
    qputenv("KELVORA_ACCOUNT_SERVICE", "http://127.0.0.1:18555/");
    InitDatabase();
}

void TestLoginDialog::init()
{
    clearHistory();
    signedIn = false;
    mgr.reset(new UserMgr);
    QCOMPARE(mgr->Init("1.0.0.0", 81), -1);
    dialog.reset(new LoginDialog);
    dialog->setUserMgr(mgr.get());
    dialog->setSignedInCheck([this] { return signedIn; });
    QObject::connect(mgr.get(), &UserMgr::LoginFinish, dialog.get(), &LoginDialog::OnLoginFinish);
}

void TestLoginDialog::cleanup()
{
    dialog.reset();
    mgr.reset();
    QCOMPARE(toastCount(), 0);
}

void TestLoginDialog::clearHistory()
{
    QSqlQuery q;
    QVERIFY(q.exec("DELETE FROM login_history"));
}

void TestLoginDialog::validation_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("toast");
    QTest::newRow("both empty") << ""
                                << "" << QString::fromUtf8("请输入用户名和密码");
    QTest::newRow("name empty") << ""
                                << "pw" << QString::fromUtf8("请输入用户名");
    QTest::newRow("password empty") << "demo"
                                    << "" << QString::fromUtf8("请输入密码");
}

void TestLoginDialog::validation()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, toast);
    QSignalSpy finish(mgr.get(), &UserMgr::LoginFinish);
    child<QLineEdit>("NameEdit")->setText(name);
    child<QLineEdit>("PasswordEdit")->setText(password);
    QTest::mouseClick(child<QPushButton>("LoginBtn"), Qt::LeftButton);

    MessageBox *t = findToast(toast);
    QVERIFY(t);
    QCOMPARE(toastCount(), 1);
    QCOMPARE(t->parentWidget(), dialog.get());
    QCOMPARE(t->pos(), QPoint(16, 118));
    QCOMPARE(t->duration(), 2000);
    QVERIFY(!toastClosable(t));
    QVERIFY(toastHasIcon(t, ":/image/msgbox_error.png"));
    QCOMPARE(child<QPushButton>("LoginBtn")->text(), QString::fromUtf8("登录"));
    QVERIFY(child<QPushButton>("LoginBtn")->isEnabled());
    QCoreApplication::processEvents();
    QCOMPARE(finish.count(), 0); // nothing was sent
}

void TestLoginDialog::returnKeyActsLikeButton()
{
    child<QLineEdit>("NameEdit")->setText("demo");
    QTest::keyClick(child<QLineEdit>("NameEdit"), Qt::Key_Return);
    QVERIFY(findToast(QString::fromUtf8("请输入密码")));
    child<QLineEdit>("NameEdit")->clear();
    child<QLineEdit>("PasswordEdit")->setText("pw");
    QTest::keyClick(child<QLineEdit>("PasswordEdit"), Qt::Key_Return);
    QVERIFY(findToast(QString::fromUtf8("请输入用户名")));
    QCOMPARE(toastCount(), 2);

    QSignalSpy finish(mgr.get(), &UserMgr::LoginFinish);
    child<QLineEdit>("NameEdit")->setText("demo");
    QTest::keyClick(child<QLineEdit>("PasswordEdit"), Qt::Key_Enter);
    QCOMPARE(child<QPushButton>("LoginBtn")->text(), QString::fromUtf8("登录中 ..."));
    QVERIFY(finish.wait(10000));
}

void TestLoginDialog::spacesPassAndWaitEndsWithNetworkError()
{
    QSignalSpy finish(mgr.get(), &UserMgr::LoginFinish);
    child<QLineEdit>("NameEdit")->setText("   ");
    child<QLineEdit>("PasswordEdit")->setText(" ");
    child<QCheckBox>("SavePwBox")->setChecked(false);
    child<QCheckBox>("AutoLoginBox")->setChecked(true);
    QTest::mouseClick(child<QPushButton>("LoginBtn"), Qt::LeftButton);
    QCOMPARE(toastCount(), 0);
    QCOMPARE(child<QPushButton>("LoginBtn")->text(), QString::fromUtf8("登录中 ..."));
    QVERIFY(!child<QPushButton>("LoginBtn")->isEnabled());
    QVERIFY(!mgr->SavePassword());
    QVERIFY(mgr->AutoLogin());
    // The library never started: the request cannot go out and the dialog hears back.
    QVERIFY(finish.wait(10000));
    QCOMPARE(finish.at(0).at(0).toInt(), 1);
    QCOMPARE(child<QPushButton>("LoginBtn")->text(), QString::fromUtf8("登录"));
    QVERIFY(child<QPushButton>("LoginBtn")->isEnabled());
}

void TestLoginDialog::returnWhileWaitingSendsNothing()
{
    QSignalSpy finish(mgr.get(), &UserMgr::LoginFinish);
    child<QLineEdit>("NameEdit")->setText("demo");
    child<QLineEdit>("PasswordEdit")->setText("pw");
    dialog->Login();
    QVERIFY(!child<QPushButton>("LoginBtn")->isEnabled());
    QTest::keyClick(child<QLineEdit>("PasswordEdit"), Qt::Key_Return);
    QTest::keyClick(child<QLineEdit>("NameEdit"), Qt::Key_Return);
    dialog->Login();
    QVERIFY(finish.wait(10000));
    QCoreApplication::processEvents();
    QCOMPARE(finish.count(), 1);
}

void TestLoginDialog::acceptedEndsWaiting()
{
    dialog->show();
    QCOMPARE(mgr->LastLogin().savepwflag, 0);
    child<QLineEdit>("NameEdit")->setText("demo");
    child<QLineEdit>("PasswordEdit")->setText("pw");
    dialog->Login();
    dialog->accept();
    QCOMPARE(child<QPushButton>("LoginBtn")->text(), QString::fromUtf8("登录"));
    QVERIFY(child<QPushButton>("LoginBtn")->isEnabled());
    QVERIFY(!dialog->isVisible());
    QSignalSpy finish(mgr.get(), &UserMgr::LoginFinish);
    QVERIFY(finish.wait(10000)); // drain the pending report
}

void TestLoginDialog::timeOutEndsWaiting()
{
    child<QLineEdit>("NameEdit")->setText("demo");
    child<QLineEdit>("PasswordEdit")->setText("pw");
    dialog->setUserMgr(nullptr); // nothing will answer
    QObject::disconnect(mgr.get(), nullptr, dialog.get(), nullptr);
    dialog->setUserMgr(mgr.get());
    dialog->Login();
    QVERIFY(!child<QPushButton>("LoginBtn")->isEnabled());
    dialog->OnLoginFinish(-10000);
    QCOMPARE(child<QPushButton>("LoginBtn")->text(), QString::fromUtf8("登录"));
    QVERIFY(child<QPushButton>("LoginBtn")->isEnabled());
    QSignalSpy finish(mgr.get(), &UserMgr::LoginFinish);
    QVERIFY(finish.wait(10000));
    QVERIFY(child<QPushButton>("LoginBtn")->isEnabled());
}

void TestLoginDialog::showLastLoginWithoutHistory()
{
    child<QLineEdit>("NameEdit")->setText("typed");
    child<QLineEdit>("PasswordEdit")->setText("typed pw");
    child<QCheckBox>("SavePwBox")->setChecked(false);
    dialog->ShowLastLogin();
    QCOMPARE(child<QLineEdit>("NameEdit")->text(), QString("typed"));
    QCOMPARE(child<QLineEdit>("PasswordEdit")->text(), QString("typed pw"));
    QVERIFY(child<QCheckBox>("SavePwBox")->isChecked());
    QSignalSpy finish(mgr.get(), &UserMgr::LoginFinish);
    dialog->AutoLogin();
    QVERIFY(child<QPushButton>("LoginBtn")->isEnabled());
    QCoreApplication::processEvents();
    QCOMPARE(finish.count(), 0);
}

void TestLoginDialog::showLastLoginFlags_data()
{
    QTest::addColumn<int>("flag");
    QTest::addColumn<QString>("shownPassword");
    QTest::newRow("0") << 0 << "";
    QTest::newRow("1") << 1 << QString::fromUtf8("密 码'%1");
    QTest::newRow("2") << 2 << QString::fromUtf8("密 码'%1");
}

void TestLoginDialog::showLastLoginFlags()
{
    QFETCH(int, flag);
    QFETCH(QString, shownPassword);
    AddLoginInfo({"older", "x", 1, 1});
    QTest::qWait(0);
    AddLoginInfo({QString::fromUtf8("王五"), QString::fromUtf8("密 码'%1"), flag, flag});
    child<QLineEdit>("PasswordEdit")->setText("typed");
    dialog->ShowLastLogin();
    QCOMPARE(child<QLineEdit>("NameEdit")->text(), QString::fromUtf8("王五"));
    QCOMPARE(child<QLineEdit>("PasswordEdit")->text(), shownPassword);
    QVERIFY(child<QCheckBox>("SavePwBox")->isChecked());
}

void TestLoginDialog::autoLoginOnlyWithFlagOne_data()
{
    QTest::addColumn<int>("flag");
    QTest::addColumn<bool>("sends");
    QTest::newRow("0") << 0 << false;
    QTest::newRow("1") << 1 << true;
    QTest::newRow("2") << 2 << false;
    QTest::newRow("-1") << -1 << false;
}

void TestLoginDialog::autoLoginOnlyWithFlagOne()
{
    QFETCH(int, flag);
    QFETCH(bool, sends);
    AddLoginInfo({"auto", "pw", flag, 0});
    QSignalSpy finish(mgr.get(), &UserMgr::LoginFinish);
    dialog->AutoLogin();
    // The edits are not touched.
    QVERIFY(child<QLineEdit>("NameEdit")->text().isEmpty());
    QVERIFY(child<QLineEdit>("PasswordEdit")->text().isEmpty());
    if (sends) {
        QCOMPARE(child<QPushButton>("LoginBtn")->text(), QString::fromUtf8("登录中 ..."));
        QVERIFY(!child<QPushButton>("LoginBtn")->isEnabled());
        QVERIFY(mgr->SavePassword());
        QVERIFY(mgr->AutoLogin());
        QVERIFY(finish.wait(10000));
        QVERIFY(child<QPushButton>("LoginBtn")->isEnabled());
    } else {
        QVERIFY(child<QPushButton>("LoginBtn")->isEnabled());
        QVERIFY(!mgr->SavePassword());
        QCoreApplication::processEvents();
        QCOMPARE(finish.count(), 0);
    }
}

void TestLoginDialog::forgetPasswordOpensRecoveryPage()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("http", &catcher, "open");
    QTest::mouseClick(child<QPushButton>("ForgetPwBtn"), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("http");
    QCOMPARE(catcher.urls, QList<QUrl>{QUrl("http://127.0.0.1:18555/password_find.html")});
}

void TestLoginDialog::closeWhileSignedInHides()
{
    signedIn = true;
    dialog->show();
    QSignalSpy rejected(dialog.get(), &QDialog::rejected);
    QTest::mouseClick(child<QPushButton>("CloseBtn"), Qt::LeftButton);
    QCOMPARE(rejected.count(), 1);
    QVERIFY(!dialog->isVisible());
}

void TestLoginDialog::closeBeforeSignInQuits()
{
    dialog->show();
    QSignalSpy rejected(dialog.get(), &QDialog::rejected);
    QEventLoop loop;
    QTimer::singleShot(
        0, this, [this] { QTest::mouseClick(child<QPushButton>("CloseBtn"), Qt::LeftButton); });
    // Quitting ends this loop with 0; the guard would end it with 1.
    QTimer::singleShot(60000, &loop, [&loop] { loop.exit(1); });
    QCOMPARE(loop.exec(), 0);
    QCOMPARE(rejected.count(), 0);
}

QTEST_MAIN(TestLoginDialog)
#include "tst_logindialog.moc"
