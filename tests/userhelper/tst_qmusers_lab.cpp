// The program's path to the account service end to end: helper library, the lab's account
// component and the lab's own account service (sign-in, wrong password, take-over).
#include "appdirrunner.h"
#include "tests/support/labprocess.h"
#include "userhelper/qmuserhelper.h"

#include <QtTest>

#include <httplib.h>

#include <condition_variable>
#include <mutex>

namespace {

const auto kEventWait = std::chrono::seconds(60); // safety net only

std::mutex g_lock;
std::condition_variable g_changed;
QStringList g_events;

void onFinish(int32_t code, void *)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_events << QStringLiteral("finish:%1").arg(code);
    g_changed.notify_all();
}

void onKickOut(void *)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_events << QStringLiteral("kickout");
    g_changed.notify_all();
}

bool waitForEvents(int count)
{
    std::unique_lock<std::mutex> guard(g_lock);
    return g_changed.wait_for(guard, kEventWait, [&] { return g_events.size() >= count; });
}

} // namespace

// Runs in a copy of this executable next to the real component.
class LabScenario : public QObject
{
    Q_OBJECT

private slots:
    void signInAgainstLab()
    {
        UserInitParams params;
        params.clientId = 81;
        params.version = "1.0.0.0";
        UserEventCallbacks callbacks;
        callbacks.onLoginFinish = onFinish;
        callbacks.onKickOut = onKickOut;
        QCOMPARE(qmuser_init(&params, &callbacks), 0);

        std::string name = "demo", wrong = "nope", password = "demo123";
        QCOMPARE(qmuser_login(&name, &wrong, 0, 0), 0);
        QVERIFY(waitForEvents(1));
        QCOMPARE(g_events.last(), QStringLiteral("finish:3"));
        QCOMPARE(qmuser_islogin(), false);

        QCOMPARE(qmuser_login(&name, &password, 0, 0), 0);
        QVERIFY(waitForEvents(2));
        QCOMPARE(g_events.last(), QStringLiteral("finish:0"));
        QCOMPARE(qmuser_islogin(), true);
        uint64_t id = 0;
        std::string nick, session;
        QCOMPARE(qmuser_get_userid(&id), 0);
        QCOMPARE(qmuser_get_nickname(&nick), 0);
        QCOMPARE(qmuser_get_sessionid(&session), 0);
        QVERIFY(id != 0);
        QVERIFY(!nick.empty());
        QVERIFY(!session.empty());

        // The same account signs in elsewhere.
        httplib::Client other(qgetenv("KELVORA_ACCOUNT_SERVICE").toStdString());
        auto reply = other.Post("/account/login", httplib::Params{{"name", "demo"},
                                                                  {"password", "demo123"},
                                                                  {"client", "81"},
                                                                  {"version", "1.0.0.0"}});
        QVERIFY(reply && reply->status == 200);
        QVERIFY(waitForEvents(3));
        QCOMPARE(g_events.last(), QStringLiteral("kickout"));
        QCOMPARE(qmuser_islogin(), false);
        QCOMPARE(qmuser_uninit(), 0);
    }
};

class TestQmUsersLab : public QObject
{
    Q_OBJECT

private slots:
    void signInAgainstLab()
    {
        LabProcess lab;
        QVERIFY2(lab.startSample(), qPrintable(lab.lastError()));
        AppDirRunner app;
        QVERIFY(app.isValid());
        QVERIFY(app.placeComponent(QStringLiteral(QMUSERS_COMPONENT_PATH)));
        AppDirRunner::Result result =
            app.run(QStringLiteral("signInAgainstLab"),
                    {QStringLiteral("KELVORA_ACCOUNT_SERVICE=") + lab.accountUrl()});
        QVERIFY(result.started);
        QVERIFY2(result.exitCode == 0, qPrintable(result.log + QString::fromLocal8Bit(result.err)));
        QVERIFY2(result.log.contains(QLatin1String("Totals: 3 passed")), qPrintable(result.log));
        QCOMPARE(result.out, QByteArray());
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("QMUSER_TEST_CHILD")) {
        LabScenario scenario;
        return QTest::qExec(&scenario, argc, argv);
    }
    TestQmUsersLab test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_qmusers_lab.moc"
