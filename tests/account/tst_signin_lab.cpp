// The sign-in flow of the main window and the login dialog against the lab, through the user
// manager, the helper library and the account component (libQMUserS.so next to this binary).
#include "account/logindialog.h"
#include "account/useridentity.h"
#include "account/usermgr.h"
#include "app/mainwidget.h"
#include "app/pages.h"
#include "device/deviceitem.h"
#include "device/userdevicelistwidget.h"
#include "platform/settingsstore.h"
#include "store/database.h"
#include "tests/support/httpsync.h"
#include "tests/support/labprocess.h"
#include "toastprobe.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QThread>
#include <QToolButton>
#include <QtTest>

namespace {

const int eventWaitMs = 30000;

// A signal may already have come while another wait ran the event loop.
bool arrived(QSignalSpy &spy, int timeoutMs = eventWaitMs)
{
    return spy.count() > 0 || spy.wait(timeoutMs);
}

} // namespace

class TestSignInLab : public QObject
{
    Q_OBJECT

public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private slots:
    void initTestCase()
    {
        QVERIFY2(lab.startSample(), qPrintable(lab.lastError()));
        qputenv("KELVORA_ACCOUNT_SERVICE", lab.accountUrl().toUtf8());
        qputenv("KELVORA_DEVICE_MANAGER", lab.accountUrl().toUtf8());
        InitDatabase();
    }

    void init()
    {
        QSqlQuery q;
        QVERIFY(q.exec("DELETE FROM login_history"));
        signalThreads.clear();
    }

    void cleanup()
    {
        // Direct connections run in the emitting thread: it must be the GUI thread, the only one
        // where the database and the widgets may be touched.
        for (QThread *t : signalThreads)
            QCOMPARE(t, QCoreApplication::instance()->thread());
        delete window;
        window = nullptr;
        dialog = nullptr;
        QVERIFY(!findLoginDialog());
        QVERIFY(lab.setFaults(QJsonObject()));
    }

    void manualSignIn()
    {
        build();
        QVERIFY(dialog->isVisible() && !window->isVisible());
        QVERIFY(edit("NameEdit")->text().isEmpty());
        QCOMPARE(mgr()->Init("other", 99), 0); // already initialised: kept as it is
        typeAndSubmit("demo", "demo123");
        QVERIFY(waitSignedIn());

        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QVERIFY(loginButton()->isEnabled());
        QCOMPARE(userButtonText(), QString::fromUtf8("演示用户"));
        const UserIdentity *id = window->userIdentity();
        QCOMPARE(id->userId, quint64(880000001));
        QCOMPARE(id->userName, QString("demo"));
        QVERIFY(!id->sessionId.isEmpty());
        QCOMPARE(mgr()->UserName(), QString("demo"));

        // Recorded on the GUI thread (the database refuses other threads), flags from the box.
        QCOMPARE(history(), QStringList{"demo 1 1"});
        QCOMPARE(mgr()->LastLogin().pw, QString("demo123"));
        QCOMPARE(signalThreads.size(), 1);
    }

    void signInRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("toast");
        QTest::newRow("wrong password")
            << "demo" << 3 << QString::fromUtf8("登录失败！ 密码错误,请核对密码后登录");
        QTest::newRow("unknown user")
            << "nobody" << 2 << QString::fromUtf8("登录失败！ 用户名不存在");
    }

    void signInRefused()
    {
        QFETCH(QString, name);
        QFETCH(int, code);
        QFETCH(QString, toast);
        build();
        QSignalSpy finish(mgr(), &UserMgr::LoginFinish);
        typeAndSubmit(name, "not-the-password");
        QVERIFY(finish.wait(eventWaitMs));
        QCOMPARE(finish.first().first().toInt(), code);

        expectToast(toast, 2000);
        expectSignedOut();
        QVERIFY(mgr()->LastLogin().login_name.isEmpty());
    }

    // Signed in by itself from the stored record, then taken over by a sign-in elsewhere.
    void kickOutBySecondSignIn()
    {
        AddLoginInfo({"demo", "demo123", 1, 1});
        build();
        QCOMPARE(loginButton()->text(), QString::fromUtf8("登录中 ..."));
        QVERIFY(waitSignedIn());
        QSignalSpy kick(mgr(), &UserMgr::KickOut);
        QVERIFY(signInElsewhere("demo", "demo123"));
        QVERIFY2(arrived(kick), qPrintable(lab.requestLog().join('\n')));
        QCOMPARE(kick.count(), 1);
        const MessageBox *toast = findToast(QString::fromUtf8("已在其他地方登录"));
        QVERIFY(toast && toast->parentWidget() == dialog);
        expectSignedOut();
        QCOMPARE(userButtonText(), QString::fromUtf8("登录"));
        QCOMPARE(edit("NameEdit")->text(), QString("demo"));
        QCOMPARE(edit("PasswordEdit")->text(), QString("demo123"));
    }

    void passwordNotRememberedAndSignOut()
    {
        AddLoginInfo({"test", "test123", 0, 0});
        build();
        QVERIFY(loginButton()->isEnabled()); // flag 0: no automatic sign-in
        QVERIFY(edit("PasswordEdit")->text().isEmpty());
        auto *savePw = dialog->findChild<QCheckBox *>("SavePwBox");
        savePw->setChecked(false);
        typeAndSubmit("test", "test123");
        QVERIFY(waitSignedIn());
        // Recorded with both flags 0 and no password kept.
        QCOMPARE(history(), QStringList{"test 0 0"});
        QCOMPARE(mgr()->LastLogin().pw, QString());

        window->switchAccount();
        expectSignedOut();
        QCOMPARE(mgr()->Logout(), 0); // nobody signed in: nothing to do
        // Refilled from the history: the password was not remembered.
        QCOMPARE(edit("NameEdit")->text(), QString("test"));
        QVERIFY(edit("PasswordEdit")->text().isEmpty());
        QVERIFY(savePw->isChecked());
        // A signed-out session is not taken over.
        QSignalSpy kick(mgr(), &UserMgr::KickOut);
        QVERIFY(signInElsewhere("test", "test123"));
        QVERIFY(!arrived(kick, 4000));
    }

    // demo's current device is not test's: after the switch nothing is current, also after a
    // refresh. Before it, a refresh of the list keeps the mark on the current device's card.
    void switchToAccountWithoutDevices()
    {
        build();
        QSignalSpy changed(window, &MainWidget::currentDeviceChanged);
        typeAndSubmit("demo", "demo123");
        QVERIFY(waitSignedIn());
        QVERIFY(arrived(changed));
        QCOMPARE(window->currentDeviceId(), QString("TVK0000000001"));
        QVERIFY(deviceName().startsWith(QString::fromUtf8("客厅的盒子")));

        window->topButtonClicked(MainPage::Settings);
        window->settingLeftButtonClicked(SettingsPage::BoundDevices);
        QVERIFY(reloadDevices());
        QCOMPARE(devices()->count(), 2);
        QVERIFY(devices()->findDevice("TVK0000000001")->selected);
        QVERIFY(!devices()->findDevice("TVK0000000002")->selected);

        window->switchAccount();
        changed.clear();
        typeAndSubmit("test", "test123");
        QVERIFY(waitSignedIn());
        QVERIFY(arrived(changed));
        QVERIFY(!window->currentDevice());
        QCOMPARE(deviceName(), QString::fromUtf8("未知"));
        QVERIFY(reloadDevices());
        QCOMPARE(devices()->count(), 0);
        QVERIFY(!window->currentDevice());
        QCOMPARE(deviceName(), QString::fromUtf8("未知"));
    }

    // A device list still on its way at sign-out is dropped: no rows, no current device, nothing
    // remembered, no message.
    void signOutDuringDeviceLoad()
    {
        QVERIFY(lab.setFaults(
            QJsonObject{{"account", QJsonObject{{"delay_ms", 2000}, {"only", "querydevice"}}}}));
        build();
        std::unique_ptr<QSettings> settings(openSettingsStore(nullptr));
        settings->remove("settings/curr_devid");
        QSignalSpy finished(devices(), &UserDeviceListWidget::finished);
        typeAndSubmit("demo", "demo123");
        QVERIFY(waitSignedIn());
        QVERIFY(devices()->isLoading());
        window->switchAccount();
        QVERIFY(!devices()->isLoading());
        QTRY_VERIFY_WITH_TIMEOUT(!lab.requestLog().filter("/tovrik/user/querydevice").isEmpty(),
                                 eventWaitMs);
        QTest::qWait(200);
        QCOMPARE(finished.count(), 0);
        QCOMPARE(devices()->count(), 0);
        QVERIFY(!window->currentDevice());
        settings->sync();
        QVERIFY(!settings->contains("settings/curr_devid"));
        QVERIFY(!findToast(QString::fromUtf8("加载设备列表失败: ")) && toastCount() <= 1);
    }

    // Last: the lab still sits on the delayed request for a while.
    void timeOut()
    {
        QVERIFY(lab.setFaults(
            QJsonObject{{"account", QJsonObject{{"delay_ms", 14000}, {"only", "login"}}}}));
        build();
        QSignalSpy over(mgr(), &UserMgr::LoginOverTime);
        QSignalSpy finish(mgr(), &UserMgr::LoginFinish);
        typeAndSubmit("demo", "demo123");
        QVERIFY(over.wait(eventWaitMs + 15000));
        QCOMPARE(over.count(), 1);
        QCOMPARE(finish.count(), 0);
        expectToast(QString::fromUtf8("登录失败，请检查网络"), 100000);
        expectSignedOut();
        QVERIFY(history().isEmpty());
    }

private:
    void build()
    {
        window = new MainWidget;
        dialog = findLoginDialog();
        QVERIFY(dialog);
        QVERIFY(mgr()->IsInitialised());
        auto record = [this] { signalThreads << QThread::currentThread(); };
        connect(mgr(), &UserMgr::LoginFinish, record);
        connect(mgr(), &UserMgr::KickOut, record);
        connect(mgr(), &UserMgr::LoginOverTime, record);
    }

    void typeAndSubmit(const QString &name, const QString &password)
    {
        edit("NameEdit")->setText(name);
        edit("PasswordEdit")->setText(password);
        QTest::mouseClick(loginButton(), Qt::LeftButton);
        QCOMPARE(loginButton()->text(), QString::fromUtf8("登录中 ..."));
        QVERIFY(!loginButton()->isEnabled());
    }

    // A failure toast over the dialog; a long one can be closed by hand.
    void expectToast(const QString &text, int duration)
    {
        MessageBox *toast = findToast(text);
        QVERIFY2(toast, qPrintable(text));
        QCOMPARE(toast->parentWidget(), dialog);
        QCOMPARE(toast->duration(), duration);
        QCOMPARE(!toast->findChild<QPushButton *>("closeButton")->isHidden(), duration > 2000);
        const QLabel *icon = toast->findChild<QLabel *>("iconLabel");
        QCOMPARE(icon->pixmap(Qt::ReturnByValue).toImage(),
                 QPixmap(":/image/msgbox_error.png").toImage());
    }
    // The dialog ready for the next try, nobody signed in, the window hidden.
    void expectSignedOut()
    {
        QCOMPARE(loginButton()->text(), QString::fromUtf8("登录"));
        QVERIFY(loginButton()->isEnabled());
        QVERIFY(dialog->isVisible() && !window->isVisible());
        QVERIFY(!window->userIdentity() && !mgr()->IsLogin());
    }
    QLineEdit *edit(const char *name) { return dialog->findChild<QLineEdit *>(name); }
    QPushButton *loginButton() { return dialog->findChild<QPushButton *>("LoginBtn"); }
    QString userButtonText() { return window->findChild<QToolButton *>("userButton")->text(); }
    bool waitSignedIn()
    {
        QSignalSpy finish(mgr(), &UserMgr::LoginFinish);
        if (!window->userIdentity())
            finish.wait(eventWaitMs);
        return window->userIdentity() && window->isVisible();
    }

    // A sign-in of the same account from somewhere else, straight at the account service.
    bool signInElsewhere(const QString &name, const QString &password)
    {
        const QString form =
            "name=" + name + "&password=" + password + "&client=81&version=9.9.9.9";
        return HttpSync().post(QUrl(lab.accountUrl() + "/account/login"), form.toUtf8()).status ==
               200;
    }

    UserMgr *mgr() { return window->userManager(); }
    UserDeviceListWidget *devices()
    {
        return window->findChild<UserDeviceListWidget *>("userDeviceListWidget");
    }
    QString deviceName() { return window->findChild<QLabel *>("deviceNameLabel")->text(); }
    bool reloadDevices()
    {
        QSignalSpy finished(devices(), &UserDeviceListWidget::finished);
        devices()->LoadDevices();
        return finished.wait(eventWaitMs);
    }
    // The login history, "name auto-login-flag save-password-flag" per row.
    QStringList history()
    {
        QStringList rows;
        QSqlQuery q("select login_name || ' ' || autologinflag || ' ' || savepwflag from "
                    "login_history");
        while (q.next())
            rows << q.value(0).toString();
        return rows;
    }

    LabProcess lab;
    MainWidget *window = nullptr;
    LoginDialog *dialog = nullptr;
    QList<QThread *> signalThreads;
};

QTEST_MAIN(TestSignInLab)
#include "tst_signin_lab.moc"
