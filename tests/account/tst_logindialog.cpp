// The user manager, the login dialog and the main window's sign-in without an account
// component: the helper library cannot start, every call degrades, and a sign-in still ends
// with a message instead of waiting forever.
#include "account/logindialog.h"
#include "account/usermgr.h"
#include "app/mainwidget.h"
#include "store/database.h"
#include "toastprobe.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
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

public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private slots:
    void initTestCase()
    {
        qputenv("KELVORA_ACCOUNT_SERVICE", "http://127.0.0.1:18555/");
        InitDatabase();
    }

    void init()
    {
        QSqlQuery q;
        QVERIFY(q.exec("DELETE FROM login_history"));
        signedIn = false;
        mgr.reset(new UserMgr);
        QCOMPARE(mgr->Init("1.0.0.0", 81), -1);
        dialog.reset(new LoginDialog);
        dialog->setUserMgr(mgr.get());
        dialog->setSignedInCheck([this] { return signedIn; });
        QObject::connect(mgr.get(), &UserMgr::LoginFinish, dialog.get(),
                         &LoginDialog::OnLoginFinish);
    }

    void cleanup()
    {
        dialog.reset();
        mgr.reset();
        QCOMPARE(toastCount(), 0);
    }

    // Every known code has its own text; anything else is "未知错误".
    void errorTexts()
    {
        QSet<QString> texts;
        for (int code : {1, 2, 3, 4, 5, 6, 7, 8, 0, -1, 9, 1000})
            texts << UserMgr::ErrorText(code);
        QCOMPARE(texts.size(), 9);
        QCOMPARE(UserMgr::ErrorText(9), QString::fromUtf8("未知错误"));
    }

    void validation_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("toast");
        QTest::newRow("both empty")
            << QString() << QString() << QString::fromUtf8("请输入用户名和密码");
        QTest::newRow("name empty") << QString() << "pw" << QString::fromUtf8("请输入用户名");
        QTest::newRow("password empty") << "demo" << QString() << QString::fromUtf8("请输入密码");
    }

    void validation()
    {
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(QString, toast);
        QSignalSpy finish(mgr.get(), &UserMgr::LoginFinish);
        edit("NameEdit")->setText(name);
        edit("PasswordEdit")->setText(password);
        QTest::mouseClick(button(), Qt::LeftButton);

        MessageBox *t = findToast(toast);
        QVERIFY(t);
        QCOMPARE(toastCount(), 1);
        QCOMPARE(t->parentWidget(), dialog.get());
        expectIdle();
        QCoreApplication::processEvents();
        QCOMPARE(finish.count(), 0); // nothing was sent
    }

    void returnKeyActsLikeButtonOnce()
    {
        edit("NameEdit")->setText("demo");
        QTest::keyClick(edit("NameEdit"), Qt::Key_Return);
        QVERIFY(findToast(QString::fromUtf8("请输入密码")));

        QSignalSpy finish(mgr.get(), &UserMgr::LoginFinish);
        edit("PasswordEdit")->setText("pw");
        QTest::keyClick(edit("PasswordEdit"), Qt::Key_Enter);
        expectWaiting();
        // While waiting, neither key nor a direct call sends another request.
        QTest::keyClick(edit("PasswordEdit"), Qt::Key_Return);
        QTest::keyClick(edit("NameEdit"), Qt::Key_Return);
        dialog->Login();
        QVERIFY(finish.wait(30000));
        QCoreApplication::processEvents();
        QCOMPARE(finish.count(), 1);
    }

    void spacesPassAndWaitEndsWithNetworkError()
    {
        QSignalSpy finish(mgr.get(), &UserMgr::LoginFinish);
        edit("NameEdit")->setText("   ");
        edit("PasswordEdit")->setText(" ");
        box("SavePwBox")->setChecked(false);
        box("AutoLoginBox")->setChecked(true);
        QTest::mouseClick(button(), Qt::LeftButton);
        QCOMPARE(toastCount(), 0);
        expectWaiting();
        QVERIFY(!mgr->SavePassword());
        QVERIFY(mgr->AutoLogin());
        // The library never started: the request cannot go out and the dialog hears back, not
        // at once (it switched to waiting first), with nothing signed in nor stored.
        QCOMPARE(finish.count(), 0);
        QVERIFY(finish.wait(30000));
        QCOMPARE(finish.count(), 1);
        QCOMPARE(finish.at(0).at(0).toInt(), 1);
        expectIdle();
        QVERIFY(!mgr->IsLogin());
        QVERIFY(mgr->LastLogin().login_name.isEmpty());
    }

    void showLastLogin_data()
    {
        QTest::addColumn<int>("flag"); // -1: no history at all
        QTest::addColumn<QString>("shownName");
        QTest::addColumn<QString>("shownPassword");
        QTest::newRow("no history") << -1 << "typed"
                                    << "typed pw";
        QTest::newRow("0") << 0 << QString::fromUtf8("王五") << QString();
        QTest::newRow("1") << 1 << QString::fromUtf8("王五") << QString::fromUtf8("密 码'%1");
        QTest::newRow("2") << 2 << QString::fromUtf8("王五") << QString::fromUtf8("密 码'%1");
    }

    // The newest record fills the fields (its password only when remembered); without history
    // the fields stay. The box is checked in every case.
    void showLastLogin()
    {
        QFETCH(int, flag);
        QFETCH(QString, shownName);
        QFETCH(QString, shownPassword);
        if (flag >= 0) {
            AddLoginInfo({"older", "x", 1, 1});
            QTest::qWait(0);
            AddLoginInfo({QString::fromUtf8("王五"), QString::fromUtf8("密 码'%1"), flag, flag});
        }
        edit("NameEdit")->setText("typed");
        edit("PasswordEdit")->setText("typed pw");
        box("SavePwBox")->setChecked(false);
        dialog->ShowLastLogin();
        QCOMPARE(edit("NameEdit")->text(), shownName);
        QCOMPARE(edit("PasswordEdit")->text(), shownPassword);
        QVERIFY(box("SavePwBox")->isChecked());
    }

    void autoLoginOnlyWithFlagOne_data()
    {
        QTest::addColumn<int>("flag");
        for (int flag : {0, 1, 2, -1})
            QTest::addRow("%d", flag) << flag;
    }

    void autoLoginOnlyWithFlagOne()
    {
        QFETCH(int, flag);
        AddLoginInfo({"auto", "pw", flag, 0});
        QSignalSpy finish(mgr.get(), &UserMgr::LoginFinish);
        dialog->AutoLogin();
        // The edits are not touched.
        QVERIFY(edit("NameEdit")->text().isEmpty());
        QVERIFY(edit("PasswordEdit")->text().isEmpty());
        QCOMPARE(mgr->SavePassword(), flag == 1);
        if (flag == 1) {
            expectWaiting();
            QVERIFY(mgr->AutoLogin());
            QVERIFY(finish.wait(30000));
            QVERIFY(button()->isEnabled());
        } else {
            QVERIFY(button()->isEnabled());
            QCoreApplication::processEvents();
            QCOMPARE(finish.count(), 0);
        }
    }

    // With a browser the recovery page opens; without one (as here) a toast gives its address.
    void forgetPasswordOpensRecoveryPage()
    {
        const QString page = "http://127.0.0.1:18555/password_find.html";
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("http", &catcher, "open");
        QTest::mouseClick(button("ForgetPwBtn"), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler("http");
        QCOMPARE(catcher.urls, QList<QUrl>{QUrl(page)});
        QCOMPARE(toastCount(), 0);

        dialog->show();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("openUrl"));
        QTest::mouseClick(button("ForgetPwBtn"), Qt::LeftButton);
        QCOMPARE(toastCount(), 1);
        // Broken into lines that fit the dialog.
        QVERIFY2(MessageBox::queueHead()->text().remove('\n').contains(page),
                 qPrintable(MessageBox::queueHead()->text()));
        QCOMPARE(MessageBox::queueHead()->parentWidget(), dialog.get());
        QVERIFY(dialog->rect().contains(MessageBox::queueHead()->geometry()));
        delete MessageBox::queueHead();
    }

    // Tab walks the two fields and never lands on the check box outside the dialog, so Space
    // never toggles it unseen.
    void tabSkipsHiddenAutoLoginBox()
    {
        dialog->show();
        QApplication::setActiveWindow(dialog.get());
        QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
        edit("NameEdit")->setFocus();
        QSet<QWidget *> reached;
        for (int i = 0; i < 8; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            reached << QApplication::focusWidget();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        }
        QCOMPARE(reached, (QSet<QWidget *>{edit("NameEdit"), edit("PasswordEdit")}));
        QVERIFY(!box("AutoLoginBox")->isChecked());
    }

    void rememberedPasswordStaysWithItsName_data()
    {
        QTest::addColumn<QStringList>("names"); // typed over the name field, one after another
        QTest::addColumn<QString>("typedPassword");
        QTest::addColumn<QString>("password");
        QTest::newRow("another name") << QStringList{"test"} << QString() << QString();
        QTest::newRow("back to the remembered name")
            << QStringList{"test", "demo"} << QString() << "demo123";
        QTest::newRow("password typed for the new name") << QStringList{"test"} << "own"
                                                         << "own";
    }

    // After a switch of account the dialog offers the last account with its password; another
    // name must not take that password along (Return then only asks for one).
    void rememberedPasswordStaysWithItsName()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, typedPassword);
        QFETCH(QString, password);
        AddLoginInfo({"demo", "demo123", 1, 1});
        dialog->ShowLastLogin();
        QCOMPARE(edit("PasswordEdit")->text(), QString("demo123"));
        for (const QString &name : names) {
            edit("NameEdit")->selectAll();
            QTest::keyClicks(edit("NameEdit"), name);
            if (!typedPassword.isEmpty()) {
                edit("PasswordEdit")->selectAll();
                QTest::keyClicks(edit("PasswordEdit"), typedPassword);
            }
        }
        QCOMPARE(edit("PasswordEdit")->text(), password);
        if (password.isEmpty()) {
            QTest::keyClick(edit("NameEdit"), Qt::Key_Return);
            QVERIFY(findToast(QString::fromUtf8("请输入密码")));
            expectIdle();
            delete MessageBox::queueHead();
        }
    }

    void closeWhileSignedInHides()
    {
        signedIn = true;
        dialog->show();
        QSignalSpy rejected(dialog.get(), &QDialog::rejected);
        QTest::mouseClick(button("CloseBtn"), Qt::LeftButton);
        QCOMPARE(rejected.count(), 1);
        QVERIFY(!dialog->isVisible());
    }

    void windowAutomaticSignInReportsNetworkError()
    {
        dialog.reset(); // the window brings its own
        AddLoginInfo({"demo", "demo123", 1, 1});
        MainWidget window;
        QVERIFY(!window.userManager()->IsInitialised());
        LoginDialog *shown = findLoginDialog();
        QVERIFY(shown);
        auto *loginButton = shown->findChild<QPushButton *>("LoginBtn");
        QCOMPARE(loginButton->text(), QString::fromUtf8("登录中 ..."));
        QSignalSpy finish(window.userManager(), &UserMgr::LoginFinish);
        QVERIFY(finish.wait(30000));
        MessageBox *toast = findToast(QString::fromUtf8("登录失败！ 网络错误"));
        QVERIFY(toast);
        QCOMPARE(toast->parentWidget(), shown);
        QCOMPARE(loginButton->text(), QString::fromUtf8("登录"));
        QVERIFY(loginButton->isEnabled());
        QVERIFY(shown->isVisible());
        QVERIFY(!window.isVisible());
        QVERIFY(!window.userIdentity());
    }

private:
    QLineEdit *edit(const char *name) { return dialog->findChild<QLineEdit *>(name); }
    QCheckBox *box(const char *name) { return dialog->findChild<QCheckBox *>(name); }
    QPushButton *button(const char *name = "LoginBtn")
    {
        return dialog->findChild<QPushButton *>(name);
    }
    void expectWaiting()
    {
        QCOMPARE(button()->text(), QString::fromUtf8("登录中 ..."));
        QVERIFY(!button()->isEnabled());
    }
    void expectIdle()
    {
        QCOMPARE(button()->text(), QString::fromUtf8("登录"));
        QVERIFY(button()->isEnabled());
    }

    std::unique_ptr<UserMgr> mgr;
    std::unique_ptr<LoginDialog> dialog;
    bool signedIn = false;
};

QTEST_MAIN(TestLoginDialog)
#include "tst_logindialog.moc"
