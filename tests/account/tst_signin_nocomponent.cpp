// The main window's sign-in side when the account component is missing: the helper library
// cannot start, and a sign-in must still end with a message instead of waiting forever.
#include "account/logindialog.h"
#include "account/usermgr.h"
#include "app/mainwidget.h"
#include "store/database.h"
#include "toastprobe.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QtTest>

class TestSignInNoComponent : public QObject
{
    Q_OBJECT

public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private slots:
    void automaticSignInReportsNetworkError();
    void manualSignInReportsNetworkError();
    void windowOwnsDialog();
};

void TestSignInNoComponent::automaticSignInReportsNetworkError()
{
    InitDatabase();
    AddLoginInfo({"demo", "demo123", 1, 1});
    MainWidget window;
    QVERIFY(!window.userManager()->IsInitialised());
    LoginDialog *dialog = findLoginDialog();
    QVERIFY(dialog);
    auto *button = dialog->findChild<QPushButton *>("LoginBtn");
    QCOMPARE(button->text(), QString::fromUtf8("登录中 ..."));
    QSignalSpy finish(window.userManager(), &UserMgr::LoginFinish);
    QVERIFY(finish.wait(10000));
    MessageBox *toast = findToast(QString::fromUtf8("登录失败！ 网络错误"));
    QVERIFY(toast);
    QCOMPARE(toast->parentWidget(), dialog);
    QCOMPARE(toast->pos(), QPoint(16, 118));
    QVERIFY(toastHasIcon(toast, ":/image/msgbox_error.png"));
    QCOMPARE(button->text(), QString::fromUtf8("登录"));
    QVERIFY(button->isEnabled());
    QVERIFY(dialog->isVisible());
    QVERIFY(!window.isVisible());
    QVERIFY(!window.userIdentity());
}

void TestSignInNoComponent::manualSignInReportsNetworkError()
{
    InitDatabase();
    QSqlQuery q;
    QVERIFY(q.exec("DELETE FROM login_history"));
    MainWidget window;
    LoginDialog *dialog = findLoginDialog();
    QVERIFY(dialog);
    auto *button = dialog->findChild<QPushButton *>("LoginBtn");
    QVERIFY(button->isEnabled());
    dialog->findChild<QLineEdit *>("NameEdit")->setText("demo");
    dialog->findChild<QLineEdit *>("PasswordEdit")->setText("demo123");
    QSignalSpy finish(window.userManager(), &UserMgr::LoginFinish);
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!button->isEnabled());
    QVERIFY(finish.wait(10000));
    QCOMPARE(finish.first().first().toInt(), 1);
    QVERIFY(findToast(QString::fromUtf8("登录失败！ 网络错误")));
    QVERIFY(button->isEnabled());
    QVERIFY(window.userManager()->LastLogin().login_name.isEmpty());
}

void TestSignInNoComponent::windowOwnsDialog()
{
    InitDatabase();
    {
        MainWidget window;
        QVERIFY(findLoginDialog());
        QCOMPARE(findLoginDialog()->windowIcon().cacheKey(), window.windowIcon().cacheKey());
    }
    QVERIFY(!findLoginDialog());
}

QTEST_MAIN(TestSignInNoComponent)
#include "tst_signin_nocomponent.moc"
