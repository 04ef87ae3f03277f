// The sign-in flow of the main window and the login dialog against the lab, through the user
// manager, the helper library and the account component (libQMUserS.so next to this binary).
#include "account/logindialog.h"
#include "account/useridentity.h"
#include "account/usermgr.h"
#include "app/mainwidget.h"
#include "store/database.h"
#include "tests/support/labprocess.h"
#include "toastprobe.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QToolButton>
#include <QUrlQuery>
#include <QtTest>

namespace {
const int eventWaitMs = 30000;
} // namespace

class TestSignInLab : public QObject
{
    Q_OBJECT

public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void manualSignIn();
    void wrongPassword();
    void automaticSignInFromStoredRecord();
    void kickOutShowsDialogAgain();
    void switchAccountSignsOut();
    void timeOut();

private:
    void build();
    void typeAndSubmit(const QString &name, const QString &password);
    QLineEdit *edit(const char *name) { return dialog->findChild<QLineEdit *>(name); }
    QPushButton *loginButton() { return dialog->findChild<QPushButton *>("LoginBtn"); }
    bool waitSignedIn();

    LabProcess lab;
    MainWidget *window = nullptr;
    LoginDialog *dialog = nullptr;
};

void TestSignInLab::initTestCase()
{
    QVERIFY2(lab.startSample(), qPrintable(lab.lastError()));
    qputenv("KELVORA_ACCOUNT_SERVICE", lab.accountUrl().toUtf8());
}

void TestSignInLab::init()
{
    InitDatabase();
    QSqlQuery q;
    QVERIFY(q.exec("DELETE FROM login_history"));
}

void TestSignInLab::cleanup()
{
    delete window;
    window = nullptr;
    dialog = nullptr;
    QVERIFY(!findLoginDialog());
    QVERIFY(lab.setFaults(QJsonObject()));
}

void TestSignInLab::build()
{
    window = new MainWidget;
    dialog = findLoginDialog();
    QVERIFY(dialog);
    QVERIFY(window->userManager()->IsInitialised());
}

void TestSignInLab::typeAndSubmit(const QString &name, const QString &password)
{
    edit("NameEdit")->setText(name);
    edit("PasswordEdit")->setText(password);
    QTest::mouseClick(loginButton(), Qt::LeftButton);
    QCOMPARE(loginButton()->text(), QString::fromUtf8("登录中 ..."));
    QVERIFY(!loginButton()->isEnabled());
}

bool TestSignInLab::waitSignedIn()
{
    QSignalSpy finish(window->userManager(), &UserMgr::LoginFinish);
    if (finish.isEmpty() && !window->userIdentity())
        finish.wait(eventWaitMs);
    return window->userIdentity() && window->isVisible();
}

void TestSignInLab::manualSignIn()
{
    build();
    QVERIFY(dialog->isVisible());
    QVERIFY(!window->isVisible());
    QVERIFY(edit("NameEdit")->text().isEmpty());
    typeAndSubmit("demo", "demo123");
    QVERIFY(waitSignedIn());

    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(loginButton()->text(), QString::fromUtf8("登录"));
    QVERIFY(loginButton()->isEnabled());
    QCOMPARE(window->findChild<QToolButton *>("userButton")->text(), QString::fromUtf8("演示用户"));
    const UserIdentity *id = window->userIdentity();
    QCOMPARE(id->userId, quint64(880000001));
    QCOMPARE(id->userName, QString("demo"));
    QVERIFY(!id->sessionId.isEmpty());
    QVERIFY(window->userManager()->IsLogin());

    const LoginInfo last = window->userManager()->LastLogin();
    QCOMPARE(last.login_name, QString("demo"));
    QCOMPARE(last.pw, QString("demo123"));
    QCOMPARE(last.savepwflag, 1);
    QCOMPARE(last.autologinflag, 1);
}

void TestSignInLab::wrongPassword()
{
    build();
    QSignalSpy finish(window->userManager(), &UserMgr::LoginFinish);
    typeAndSubmit("demo", "not-the-password");
    QVERIFY(finish.wait(eventWaitMs));
    QCOMPARE(finish.first().first().toInt(), 3);

    MessageBox *toast = findToast(QString::fromUtf8("登录失败！ 密码错误,请核对密码后登录"));
    QVERIFY(toast);
    QCOMPARE(toast->parentWidget(), dialog);
    QCOMPARE(toast->pos(), QPoint(16, 118));
    QCOMPARE(toast->duration(), 2000);
    QVERIFY(!toastClosable(toast));
    QVERIFY(toastHasIcon(toast, ":/image/msgbox_error.png"));
    QCOMPARE(loginButton()->text(), QString::fromUtf8("登录"));
    QVERIFY(loginButton()->isEnabled());
    QVERIFY(dialog->isVisible());
    QVERIFY(!window->isVisible());
    QVERIFY(!window->userIdentity());
    QVERIFY(window->userManager()->LastLogin().login_name.isEmpty());
}

void TestSignInLab::automaticSignInFromStoredRecord()
{
    AddLoginInfo({"test", "test123", 1, 1});
    build();
    // Shown with the remembered account, and already on its way.
    QCOMPARE(edit("NameEdit")->text(), QString("test"));
    QCOMPARE(edit("PasswordEdit")->text(), QString("test123"));
    QCOMPARE(loginButton()->text(), QString::fromUtf8("登录中 ..."));
    QVERIFY(waitSignedIn());
    QCOMPARE(window->userIdentity()->userName, QString("test"));
    QCOMPARE(window->findChild<QToolButton *>("userButton")->text(), QString::fromUtf8("测试账号"));
}

void TestSignInLab::kickOutShowsDialogAgain()
{
    AddLoginInfo({"demo", "demo123", 1, 1});
    build();
    QVERIFY(waitSignedIn());
    QSignalSpy kick(window->userManager(), &UserMgr::KickOut);

    QNetworkAccessManager nam;
    QNetworkRequest request(QUrl(lab.accountUrl() + "/account/login"));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    QUrlQuery form;
    form.addQueryItem("name", "demo");
    form.addQueryItem("password", "demo123");
    form.addQueryItem("client", "81");
    form.addQueryItem("version", "1.0.0.0");
    QNetworkReply *reply = nam.post(request, form.toString(QUrl::FullyEncoded).toUtf8());
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);

    QVERIFY(kick.count() > 0 || kick.wait(eventWaitMs));
    QVERIFY(findToast(QString::fromUtf8("已在其他地方登录")));
    QCOMPARE(findToast(QString::fromUtf8("已在其他地方登录"))->parentWidget(), dialog);
    QVERIFY(!window->userIdentity());
    QVERIFY(!window->isVisible());
    QVERIFY(dialog->isVisible());
    QCOMPARE(window->findChild<QToolButton *>("userButton")->text(), QString::fromUtf8("登录"));
    QCOMPARE(edit("NameEdit")->text(), QString("demo"));
    QCOMPARE(edit("PasswordEdit")->text(), QString("demo123"));
    QVERIFY(loginButton()->isEnabled());
}

void TestSignInLab::switchAccountSignsOut()
{
    AddLoginInfo({"demo", "demo123", 0, 0});
    build();
    QVERIFY(loginButton()->isEnabled()); // flag 0: no automatic sign-in
    QVERIFY(edit("PasswordEdit")->text().isEmpty());
    auto *savePw = dialog->findChild<QCheckBox *>("SavePwBox");
    savePw->setChecked(false);
    typeAndSubmit("demo", "demo123");
    QVERIFY(waitSignedIn());
    window->switchAccount();
    QVERIFY(!window->userIdentity());
    QVERIFY(!window->userManager()->IsLogin());
    QVERIFY(!window->isVisible());
    QVERIFY(dialog->isVisible());
    // Refilled from the history: the password was not remembered.
    QCOMPARE(edit("NameEdit")->text(), QString("demo"));
    QVERIFY(edit("PasswordEdit")->text().isEmpty());
    QVERIFY(savePw->isChecked());
}

void TestSignInLab::timeOut()
{
    QVERIFY(lab.setFaults(
        QJsonObject{{"account", QJsonObject{{"delay_ms", 14000}, {"only", "login"}}}}));
    build();
    QSignalSpy over(window->userManager(), &UserMgr::LoginOverTime);
    typeAndSubmit("demo", "demo123");
    QVERIFY(over.wait(eventWaitMs + 15000));
    MessageBox *toast = findToast(QString::fromUtf8("登录失败，请检查网络"));
    QVERIFY(toast);
    QCOMPARE(toast->parentWidget(), dialog);
    QCOMPARE(toast->pos(), QPoint(16, 118));
    QCOMPARE(toast->duration(), 100000);
    QVERIFY(toastClosable(toast));
    QCOMPARE(loginButton()->text(), QString::fromUtf8("登录"));
    QVERIFY(loginButton()->isEnabled());
    QVERIFY(!window->userIdentity());
}

QTEST_MAIN(TestSignInLab)
#include "tst_signin_lab.moc"
