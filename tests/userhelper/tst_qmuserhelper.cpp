// The helper library against a scripted component. The scenarios run in a child process, a
// copy of this executable in a directory of its own, since the library keeps one state per
// process and resolves the component next to the executable.
#include "userhelper/qmuserhelper.h"
#include "userhelper/qmuserscomponent.h"

#include <QtTest>

#include <dlfcn.h>

#include <mutex>
#include <thread>

namespace {

// The scripted component's controls, reached through the same file the library loads.
struct TestComponent
{
    void (*set)(const char *, int) = nullptr;
    const char *(*log)() = nullptr;
    IUnknown *(*sink)() = nullptr;
    HRESULT (*fire)(int, int, int) = nullptr;

    bool load()
    {
        const QByteArray path =
            QFile::encodeName(QCoreApplication::applicationDirPath() + "/libQMUserS.so");
        void *handle = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return false;
        set = reinterpret_cast<decltype(set)>(dlsym(handle, "testcomp_set"));
        log = reinterpret_cast<decltype(log)>(dlsym(handle, "testcomp_log"));
        sink = reinterpret_cast<decltype(sink)>(dlsym(handle, "testcomp_sink"));
        fire = reinterpret_cast<decltype(fire)>(dlsym(handle, "testcomp_fire"));
        return set && log && sink && fire;
    }
    void reset() { set(nullptr, 0); } // settings and log
    QStringList lines() const { return QString::fromUtf8(log()).split('\n', Qt::SkipEmptyParts); }
} component;

// What the callbacks saw, marked when on the test's thread or with another context.
std::mutex recorderLock;
QStringList events;
int contextMarker;
const std::thread::id testThread = std::this_thread::get_id();

void record(const QString &event, void *context)
{
    std::lock_guard<std::mutex> guard(recorderLock);
    events << event + (context == &contextMarker ? "" : " other-context") +
                  (std::this_thread::get_id() == testThread ? " here" : "");
}

UserEventCallbacks allCallbacks()
{
    UserEventCallbacks callbacks;
    callbacks.onLoginFinish = [](int32_t code, void *c) {
        record(QString("finish:%1").arg(code), c);
    };
    callbacks.onKickOut = [](void *c) { record("kickout", c); };
    callbacks.onLoginOverTime = [](void *c) { record("overtime", c); };
    callbacks.onEvent8 = [](void *c) { record("event8", c); };
    callbacks.context = &contextMarker;
    return callbacks;
}

int32_t initDefault(const UserEventCallbacks *callbacks)
{
    UserInitParams params;
    params.clientId = -5;
    params.version = "版本 2.0 ✓";
    return qmuser_init(&params, callbacks);
}

// "code value" of each getter, outputs preset to 99 and "keep".
QStringList getterResults()
{
    QStringList results;
    uint64_t id = 99;
    const int32_t rc = qmuser_get_userid(&id);
    results << QString("%1 %2").arg(rc).arg(id);
    for (auto getter : {qmuser_get_sessionid, qmuser_get_jumpkey, qmuser_get_username,
                        qmuser_get_nickname, qmuser_get_image_url}) {
        std::string out = "keep";
        const int32_t code = getter(&out);
        results << QString("%1 %2").arg(code).arg(QString::fromStdString(out));
    }
    return results;
}

// Every call of a library without a usable component.
void expectNoComponentAnswers()
{
    QCOMPARE(qmuser_islogin(), false);
    std::string name = "x", password = "y";
    QCOMPARE(qmuser_login(&name, &password, 0, 0), -1);
    QCOMPARE(qmuser_logout(1, 0), -1);
    QCOMPARE(getterResults(),
             QStringList({"-1 0", "-1 keep", "-1 keep", "-1 keep", "-1 keep", "-1 keep"}));
}

const QString getClassObject("DllGetClassObject VantorUser IClassFactory");

} // namespace

// The child's side without a usable component: no file, a broken one or one without entry.
class WithoutComponent : public QObject
{
    Q_OBJECT

private slots:
    void callsFail()
    {
        expectNoComponentAnswers();
        UserEventCallbacks callbacks = allCallbacks();
        QCOMPARE(initDefault(&callbacks), -1);
        expectNoComponentAnswers();
        QCOMPARE(qmuser_uninit(), 0);
        QCOMPARE(qmuser_uninit(), 0);
    }
};

// The child's side with the scripted component; each case ends with the library shut down
// and starts with the component's settings and log cleared.
class HelperScenarios : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(component.load()); }
    void init()
    {
        component.reset();
        std::lock_guard<std::mutex> guard(recorderLock);
        events.clear();
    }
    void cleanup() { QCOMPARE(qmuser_uninit(), 0); }

    // Init stops at the first failing step; uninit undoes what was done, and only once.
    void initAndShutdown_data()
    {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<QStringList>("calls");    // by init
        QTest::addColumn<QStringList>("shutdown"); // then by uninit
        const QStringList created{getClassObject, "CreateInstance IVantorUser", "Factory.Release 0",
                                  "QI IConnectionPointContainer"};
        const QStringList connected = created + QStringList{"FindConnectionPoint", "Advise"};
        const QStringList released{"Uninit", "User.Release 0", "DllCanUnloadNow"};
        const QStringList disconnected{"Uninit",
                                       "QI IConnectionPointContainer",
                                       "FindConnectionPoint",
                                       "Unadvise 42",
                                       "Sink.Release 0",
                                       "User.Release 0",
                                       "DllCanUnloadNow"};
        const QString init = QStringLiteral("Init 版本 2.0 ✓ -5");
        QTest::newRow("succeeds") << QByteArray() << QStringList(connected + QStringList{init})
                                  << disconnected;
        QTest::newRow("classObject")
            << QByteArray("classobject_fail") << QStringList{getClassObject} << QStringList();
        QTest::newRow("classObjectNotExactlySOk")
            << QByteArray("classobject_sfalse")
            << QStringList(created.mid(0, 1) + created.mid(2, 1)) << QStringList();
        QTest::newRow("createInstance")
            << QByteArray("createinstance_fail") << QStringList(created.mid(0, 3)) << QStringList();
        QTest::newRow("noConnectionPointContainer") << QByteArray("no_cpc") << created << released;
        // Never connected, so nothing to disconnect.
        QTest::newRow("advise") << QByteArray("advise_fail") << connected << released;
        QTest::newRow("init") << QByteArray("init_fail")
                              << QStringList(connected + QStringList{init}) << disconnected;
    }
    void initAndShutdown()
    {
        QFETCH(QByteArray, setting);
        QFETCH(QStringList, calls);
        QFETCH(QStringList, shutdown);
        if (!setting.isEmpty())
            component.set(setting.constData(), 1);
        UserEventCallbacks callbacks = allCallbacks();
        QCOMPARE(initDefault(&callbacks), setting.isEmpty() ? 0 : -1);
        QCOMPARE(component.lines(), calls);
        // A failed init keeps no callbacks, even where the sink is connected.
        component.fire(1, 0, 1);
        component.fire(4, 0, 1);
        QCOMPARE(events.size(), setting.isEmpty() ? 2 : 0);
        if (shutdown.isEmpty()) // no user object at all
            expectNoComponentAnswers();
        QCOMPARE(qmuser_uninit(), 0);
        QCOMPARE(qmuser_uninit(), 0);
        expectNoComponentAnswers();
        QCOMPARE(component.lines(), calls + shutdown);
    }

    void sinkAnswersOnlyItsInterfaces()
    {
        QCOMPARE(initDefault(nullptr), 0);
        IUnknown *sink = component.sink();
        QVERIFY(sink);
        // Created at 0: the connection point's reference is the only one.
        QCOMPARE(sink->AddRef(), ULONG(2));
        QCOMPARE(sink->Release(), ULONG(1));
        for (const IID &iid : {IID_IUnknown, DIID__IVantorUserEvents}) {
            void *out = nullptr;
            QCOMPARE(sink->QueryInterface(iid, &out), S_OK);
            QVERIFY(out);
            static_cast<IUnknown *>(out)->Release();
        }
        void *out = &out;
        QCOMPARE(sink->QueryInterface(IID_IConnectionPoint, &out), E_NOINTERFACE);
        QVERIFY(!out);
        QCOMPARE(sink->QueryInterface(IID_IVantorUser, &out), E_NOINTERFACE);
        // Without callbacks every event is taken and dropped.
        for (int event = 1; event <= 10; ++event)
            QCOMPARE(component.fire(event, event, 1), E_NOTIMPL);
        QVERIFY(events.isEmpty());
        QCOMPARE(qmuser_uninit(), 0);
        QVERIFY(component.lines().contains("Sink.Release 0"));
    }

    // Each slot in its place, on the component's thread, with the copied context.
    void eventsReachCallbacks()
    {
        UserEventCallbacks callbacks = allCallbacks();
        QCOMPARE(initDefault(&callbacks), 0);
        int otherContext = 0;
        callbacks.onLoginFinish = [](int32_t, void *c) { record("changed after init", c); };
        callbacks.context = &otherContext;
        for (int event = 1; event <= 10; ++event)
            QCOMPARE(component.fire(event, 10 + event, 1), E_NOTIMPL);
        // A negative code comes through as a signed value.
        QCOMPARE(component.fire(1, -10000, 0), E_NOTIMPL);
        QCOMPARE(events,
                 QStringList({"finish:11", "kickout", "overtime", "event8", "finish:-10000 here"}));
    }

    void eventsDuringInitDropped()
    {
        component.set("fire_during_init", 1);
        UserEventCallbacks callbacks = allCallbacks();
        QCOMPARE(initDefault(&callbacks), 0);
        QVERIFY(events.isEmpty()); // the 77 fired inside Init found no callbacks
        QCOMPARE(component.fire(1, 0, 1), E_NOTIMPL);
        QCOMPARE(events, QStringList({"finish:0"}));
    }

    // Arguments go through as given (a flag as 0 or 1), a missing one or a failed call is -1.
    void callsPassArguments()
    {
        QCOMPARE(initDefault(nullptr), 0);
        component.reset();
        std::string name = "张三", password = "pässwörd 🔑", empty;
        QCOMPARE(qmuser_login(&name, &password, 5, 2), 0);
        QCOMPARE(qmuser_login(&name, &password, -7, 0), 0);
        QCOMPARE(qmuser_login(&empty, &empty, 0, -1), 0);
        QCOMPARE(qmuser_login(nullptr, &password, 0, 0), -1);
        QCOMPARE(qmuser_login(&name, nullptr, 0, 0), -1);
        QCOMPARE(qmuser_logout(UINT64_MAX, 7), 0);
        QCOMPARE(qmuser_islogin(), false); // the out value is preset to 0
        component.set("islogin_value", 0x100);
        QCOMPARE(qmuser_islogin(), true);
        QCOMPARE(component.lines(),
                 QStringList({QStringLiteral("Login 张三 pässwörd 🔑 5 1"),
                              QStringLiteral("Login 张三 pässwörd 🔑 -7 0"), "Login   0 1",
                              "Logout 18446744073709551615 7", "get_IsLogin 0", "get_IsLogin 0"}));
        for (const char *failure : {"login_fail", "logout_fail", "islogin_fail"})
            component.set(failure, 1);
        QCOMPARE(qmuser_login(&name, &password, 0, 0), -1);
        QCOMPARE(qmuser_logout(10001, 0), -1);
        QCOMPARE(qmuser_islogin(), false);
    }

    void getters_data()
    {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<QStringList>("results");
        QTest::addColumn<int>("infoObjects");
        const QString keep = "-1 keep";
        QTest::newRow("answers") << QByteArray("none")
                                 << QStringList{"0 1234567890123",
                                                "0 sess-1",
                                                "0 jk-2",
                                                "0 demo",
                                                QStringLiteral("0 演示用户😀"),
                                                "0 http://127.0.0.1/face.png"}
                                 << 4;
        QTest::newRow("null BSTR")
            << QByteArray("null_bstr")
            << QStringList{"0 1234567890123", "0 ", "0 ", "0 ", "0 ", "0 "} << 4;
        QTest::newRow("getters fail")
            << QByteArray("getter_fail") << QStringList{"-1 0", keep, keep, keep, keep, keep} << 4;
        const QStringList noInfo{"-1 0", "0 sess-1", "0 jk-2", keep, keep, keep};
        QTest::newRow("information fails") << QByteArray("info_fail") << noInfo << 0;
        QTest::newRow("no information object") << QByteArray("info_null") << noInfo << 0;
    }
    void getters()
    {
        QFETCH(QByteArray, setting);
        QFETCH(QStringList, results);
        QFETCH(int, infoObjects);
        QCOMPARE(initDefault(nullptr), 0);
        component.reset();
        component.set(setting.constData(), 1);
        QCOMPARE(getterResults(), results);
        // Each query's information object is released again.
        QCOMPARE(component.lines().count("get_UserInfo"), 4);
        QCOMPARE(component.lines().count("Info.Release 0"), infoObjects);
        // Null outputs are allowed.
        QCOMPARE(qmuser_get_userid(nullptr), results.first().startsWith('0') ? 0 : -1);
        QCOMPARE(qmuser_get_sessionid(nullptr), results.at(1).startsWith('0') ? 0 : -1);
        QCOMPARE(qmuser_get_nickname(nullptr), results.at(4).startsWith('0') ? 0 : -1);
        QCOMPARE(component.lines().count("get_UserId"), infoObjects ? 2 : 0);
    }

    void uninitFromInsideEvent()
    {
        UserEventCallbacks callbacks = allCallbacks();
        callbacks.onKickOut = [](void *c) {
            record("kickout", c);
            qmuser_uninit();
        };
        QCOMPARE(initDefault(&callbacks), 0);
        QCOMPARE(component.fire(4, 0, 1), E_NOTIMPL);
        QCOMPARE(events, QStringList({"kickout"}));
        QCOMPARE(qmuser_islogin(), false);
        QVERIFY(component.lines().contains("Sink.Release 0"));
    }

    void secondInitStartsOver()
    {
        UserEventCallbacks callbacks = allCallbacks();
        QCOMPARE(initDefault(&callbacks), 0);
        component.reset();
        QCOMPARE(initDefault(nullptr), 0);
        const QStringList lines = component.lines();
        QVERIFY2(lines.indexOf("Uninit") >= 0 &&
                     lines.indexOf("Uninit") < lines.indexOf("Unadvise 42") &&
                     lines.indexOf("User.Release 0") < lines.indexOf(getClassObject),
                 qPrintable(lines.join(" | ")));
        // The callbacks of the first init stay; one sink, so one call per event.
        QCOMPARE(component.fire(1, 9, 1), E_NOTIMPL);
        QCOMPARE(events, QStringList({"finish:9"}));
    }
};

class TestQmUserHelper : public QObject
{
    Q_OBJECT

private slots:
    void scenario_data()
    {
        QTest::addColumn<QString>("component"); // a file to copy, "garbage" or nothing
        QTest::addColumn<QByteArray>("child");  // the child's test class
        QTest::addColumn<QByteArray>("expectedOutput");
        QTest::newRow("missingComponent") << QString() << QByteArray("without") << QByteArray();
        QTest::newRow("garbageComponent") << "garbage" << QByteArray("without")
                                          << QByteArray("qmuserhelp: load module failed \n");
        QTest::newRow("componentWithoutEntry")
            << EMPTY_COMPONENT_PATH << QByteArray("without") << QByteArray();
        QTest::newRow("scriptedComponent")
            << TEST_COMPONENT_PATH << QByteArray("scripted") << QByteArray();
    }

    void scenario()
    {
        QFETCH(QString, component);
        QFETCH(QByteArray, child);
        QFETCH(QByteArray, expectedOutput);
        // A real copy of the executable: the library looks for the component next to it.
        QTemporaryDir dir;
        const QString executable = dir.filePath("tst_qmuserhelper");
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), executable));
        QFile target(dir.filePath("libQMUserS.so"));
        if (component == "garbage") {
            QVERIFY(target.open(QIODevice::WriteOnly));
            target.write(QByteArray("\x7f"
                                    "ELF this is not a shared object") +
                         QByteArray(4096, '\xa5'));
            target.close();
        } else if (!component.isEmpty()) {
            QVERIFY(QFile::copy(component, target.fileName()));
        }
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QMUSER_TEST_CHILD", QString::fromLatin1(child));
        process.setProcessEnvironment(env);
        const QString logPath = dir.filePath("scenario.log");
        // The test log goes to a file, so that standard output holds only the library's lines.
        process.start(executable, {"-o", logPath + ",txt"});
        QVERIFY(process.waitForStarted(60000));
        // Generous: only a hung child ever gets near it.
        if (!process.waitForFinished(180000)) {
            process.kill();
            process.waitForFinished(10000);
        }
        QFile logFile(logPath);
        QVERIFY(logFile.open(QIODevice::ReadOnly));
        const QString log = QString::fromUtf8(logFile.readAll());
        QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
                 qPrintable(log + QString::fromLocal8Bit(process.readAllStandardError())));
        QVERIFY2(log.contains("Totals: "), qPrintable(log));
        QCOMPARE(process.readAllStandardOutput(), expectedOutput);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QByteArray child = qgetenv("QMUSER_TEST_CHILD");
    if (child == "without") {
        WithoutComponent test;
        return QTest::qExec(&test, argc, argv);
    }
    if (child == "scripted") {
        HelperScenarios test;
        return QTest::qExec(&test, argc, argv);
    }
    TestQmUserHelper test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_qmuserhelper.moc"
