#include "helperscenarios.h"

#include "userhelper/qmuserhelper.h"
#include "userhelper/qmuserscomponent.h"

#include <QCoreApplication>
#include <QtTest>

#include <dlfcn.h>

#include <mutex>
#include <thread>

namespace {

// The scripted component's controls, reached through the same file the library loads.
struct TestComponent
{
    void *handle = nullptr;
    void (*set)(const char *, int) = nullptr;
    const char *(*log)() = nullptr;
    void (*clearLog)() = nullptr;
    IUnknown *(*sink)() = nullptr;
    HRESULT (*fire)(int, int, int) = nullptr;

    bool load()
    {
        QByteArray path = (QCoreApplication::applicationDirPath() + "/libQMUserS.so").toLocal8Bit();
        handle = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return false;
        set = reinterpret_cast<decltype(set)>(dlsym(handle, "testcomp_set"));
        log = reinterpret_cast<decltype(log)>(dlsym(handle, "testcomp_log"));
        clearLog = reinterpret_cast<decltype(clearLog)>(dlsym(handle, "testcomp_clear_log"));
        sink = reinterpret_cast<decltype(sink)>(dlsym(handle, "testcomp_sink"));
        fire = reinterpret_cast<decltype(fire)>(dlsym(handle, "testcomp_fire"));
        return set && log && clearLog && sink && fire;
    }

    QStringList lines() const
    {
        return QString::fromUtf8(log()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
};

TestComponent component;

struct Recorder
{
    std::mutex lock;
    QStringList events;
    QList<void *> contexts;
    QList<std::thread::id> threads;

    void add(const QString &event, void *context)
    {
        std::lock_guard<std::mutex> guard(lock);
        events << event;
        contexts << context;
        threads << std::this_thread::get_id();
    }
};

Recorder recorder;
int contextMarker;

void onLoginFinish(int32_t code, void *context)
{
    recorder.add(QStringLiteral("finish:%1").arg(code), context);
}
void onKickOut(void *context)
{
    recorder.add(QStringLiteral("kickout"), context);
}
void onLoginOverTime(void *context)
{
    recorder.add(QStringLiteral("overtime"), context);
}
void onEvent8(void *context)
{
    recorder.add(QStringLiteral("event8"), context);
}
void onOtherFinish(int32_t code, void *context)
{
    recorder.add(QStringLiteral("other:%1").arg(code), context);
}
void uninitInside(void *context)
{
    recorder.add(QStringLiteral("kickout"), context);
    qmuser_uninit();
}

UserEventCallbacks allCallbacks()
{
    UserEventCallbacks callbacks;
    callbacks.onLoginFinish = onLoginFinish;
    callbacks.onKickOut = onKickOut;
    callbacks.onLoginOverTime = onLoginOverTime;
    callbacks.onEvent8 = onEvent8;
    callbacks.context = &contextMarker;
    return callbacks;
}

int32_t initDefault(const UserEventCallbacks *callbacks)
{
    UserInitParams params;
    params.clientId = 81;
    params.version = "1.0.0.0";
    return qmuser_init(&params, callbacks);
}

// Every call of a library without a usable component.
void expectNoComponentAnswers()
{
    QCOMPARE(qmuser_islogin(), false);
    std::string name = "x", password = "y", out = "keep";
    QCOMPARE(qmuser_login(&name, &password, 0, 0), -1);
    QCOMPARE(qmuser_logout(1, 0), -1);
    uint64_t id = 99;
    QCOMPARE(qmuser_get_userid(&id), -1);
    QCOMPARE(id, uint64_t(0));
    QCOMPARE(qmuser_get_sessionid(&out), -1);
    QCOMPARE(qmuser_get_jumpkey(&out), -1);
    QCOMPARE(qmuser_get_username(&out), -1);
    QCOMPARE(qmuser_get_nickname(&out), -1);
    QCOMPARE(qmuser_get_image_url(&out), -1);
    QCOMPARE(out, std::string("keep"));
}

} // namespace

void HelperScenarios::init()
{
    std::lock_guard<std::mutex> guard(recorder.lock);
    recorder.events.clear();
    recorder.contexts.clear();
    recorder.threads.clear();
}

void HelperScenarios::withoutComponent()
{
    expectNoComponentAnswers();
    UserEventCallbacks callbacks = allCallbacks();
    QCOMPARE(initDefault(&callbacks), -1);
    expectNoComponentAnswers();
    QCOMPARE(qmuser_uninit(), 0);
    QCOMPARE(qmuser_uninit(), 0);
}

void HelperScenarios::initCallSequence()
{
    QVERIFY(component.load());
    UserEventCallbacks callbacks = allCallbacks();
    QCOMPARE(initDefault(&callbacks), 0);
    QCOMPARE(component.lines(), QStringList({"DllGetClassObject VantorUser IClassFactory",
                                             "CreateInstance IVantorUser", "Factory.Release 0",
                                             "QI IConnectionPointContainer", "FindConnectionPoint",
                                             "Advise", "Init 1.0.0.0 81"}));
    QCOMPARE(qmuser_uninit(), 0);
}

void HelperScenarios::sinkAnswersOnlyItsInterfaces()
{
    QVERIFY(component.load());
    QCOMPARE(initDefault(nullptr), 0);
    IUnknown *sink = component.sink();
    QVERIFY(sink);
    // Created at 0: the connection point's reference is the only one.
    QCOMPARE(sink->AddRef(), ULONG(2));
    QCOMPARE(sink->Release(), ULONG(1));
    void *out = nullptr;
    QCOMPARE(sink->QueryInterface(IID_IUnknown, &out), S_OK);
    QVERIFY(out);
    static_cast<IUnknown *>(out)->Release();
    out = nullptr;
    QCOMPARE(sink->QueryInterface(DIID__IVantorUserEvents, &out), S_OK);
    QVERIFY(out);
    static_cast<IUnknown *>(out)->Release();
    out = &out;
    QCOMPARE(sink->QueryInterface(IID_IConnectionPoint, &out), E_NOINTERFACE);
    QVERIFY(!out);
    QCOMPARE(sink->QueryInterface(IID_IVantorUser, &out), E_NOINTERFACE);
    QCOMPARE(qmuser_uninit(), 0);
    QVERIFY(component.lines().contains("Sink.Release 0"));
}

void HelperScenarios::initVersionUtf8()
{
    QVERIFY(component.load());
    UserInitParams params;
    params.clientId = -5;
    params.version = "版本 2.0 ✓";
    QCOMPARE(qmuser_init(&params, nullptr), 0);
    QVERIFY(component.lines().contains(QStringLiteral("Init 版本 2.0 ✓ -5")));
    QCOMPARE(qmuser_uninit(), 0);
}

void HelperScenarios::createFails_data()
{
    QTest::addColumn<QByteArray>("setting");
    QTest::addColumn<QStringList>("calls");
    const QString getClassObject = QStringLiteral("DllGetClassObject VantorUser IClassFactory");
    QTest::newRow("classObject") << QByteArray("classobject_fail") << QStringList{getClassObject};
    QTest::newRow("classObjectNotExactlySOk")
        << QByteArray("classobject_sfalse") << QStringList{getClassObject, "Factory.Release 0"};
    QTest::newRow("createInstance")
        << QByteArray("createinstance_fail")
        << QStringList{getClassObject, "CreateInstance IVantorUser", "Factory.Release 0"};
}

void HelperScenarios::createFails()
{
    QFETCH(QByteArray, setting);
    QFETCH(QStringList, calls);
    QVERIFY(component.load());
    component.set(setting.constData(), 1);
    QCOMPARE(initDefault(nullptr), -1);
    QCOMPARE(component.lines(), calls);
    expectNoComponentAnswers();
    QCOMPARE(qmuser_uninit(), 0);
    QCOMPARE(component.lines(), calls); // no user object, nothing to shut down
}

void HelperScenarios::noConnectionPointContainer()
{
    QVERIFY(component.load());
    component.set("no_cpc", 1);
    QCOMPARE(initDefault(nullptr), -1);
    QVERIFY(!component.lines().contains("Advise"));
    QVERIFY(!component.lines().join(' ').contains("Init"));
    QCOMPARE(qmuser_uninit(), 0);
    QVERIFY(component.lines().contains("User.Release 0"));
}

void HelperScenarios::adviseFailure()
{
    QVERIFY(component.load());
    component.set("advise_fail", 1);
    QCOMPARE(initDefault(nullptr), -1);
    QVERIFY(component.lines().contains("Advise"));
    QVERIFY(!component.lines().join(' ').contains("Init"));
    QCOMPARE(qmuser_uninit(), 0);
    QStringList lines = component.lines();
    QVERIFY(lines.contains("Uninit"));
    QVERIFY(!lines.join(' ').contains("Unadvise")); // never connected
    QVERIFY(lines.contains("User.Release 0"));
}

void HelperScenarios::initFailureStoresNoCallbacks()
{
    QVERIFY(component.load());
    component.set("init_fail", 1);
    UserEventCallbacks callbacks = allCallbacks();
    QCOMPARE(initDefault(&callbacks), -1);
    QCOMPARE(component.fire(1, 0, 1), E_NOTIMPL);
    QCOMPARE(component.fire(4, 0, 1), E_NOTIMPL);
    QVERIFY(recorder.events.isEmpty());
    QCOMPARE(qmuser_uninit(), 0);
    QStringList lines = component.lines();
    int uninit = lines.indexOf("Uninit");
    int unadvise = lines.indexOf("Unadvise 42");
    QVERIFY(uninit >= 0 && unadvise > uninit);
    QVERIFY(lines.contains("Sink.Release 0"));
    QVERIFY(lines.indexOf("User.Release 0") > unadvise);
}

void HelperScenarios::nullCallbacks()
{
    QVERIFY(component.load());
    QCOMPARE(initDefault(nullptr), 0);
    for (int event = 1; event <= 10; ++event)
        QCOMPARE(component.fire(event, event, 1), E_NOTIMPL);
    QVERIFY(recorder.events.isEmpty());
    QCOMPARE(qmuser_uninit(), 0);
}

void HelperScenarios::eventsFromOtherThread()
{
    QVERIFY(component.load());
    UserEventCallbacks callbacks = allCallbacks();
    QCOMPARE(initDefault(&callbacks), 0);
    QCOMPARE(component.fire(1, 3, 1), E_NOTIMPL);
    QCOMPARE(component.fire(7, 0, 1), E_NOTIMPL);
    QCOMPARE(recorder.events, QStringList({"finish:3", "overtime"}));
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(recorder.contexts.at(i), static_cast<void *>(&contextMarker));
        QVERIFY(recorder.threads.at(i) != std::this_thread::get_id());
    }
    QCOMPARE(qmuser_uninit(), 0);
}

void HelperScenarios::tenSlotsInOrder()
{
    QVERIFY(component.load());
    UserEventCallbacks callbacks = allCallbacks();
    QCOMPARE(initDefault(&callbacks), 0);
    for (int event = 1; event <= 10; ++event)
        QCOMPARE(component.fire(event, 10 + event, 0), E_NOTIMPL);
    QCOMPARE(recorder.events, QStringList({"finish:11", "kickout", "overtime", "event8"}));
    // A negative code comes through as a signed value.
    QCOMPARE(component.fire(1, -10000, 0), E_NOTIMPL);
    QCOMPARE(recorder.events.last(), QStringLiteral("finish:-10000"));
    QCOMPARE(qmuser_uninit(), 0);
}

void HelperScenarios::callbacksAreCopied()
{
    QVERIFY(component.load());
    UserEventCallbacks callbacks = allCallbacks();
    QCOMPARE(initDefault(&callbacks), 0);
    int otherContext = 0;
    callbacks.onLoginFinish = onOtherFinish;
    callbacks.context = &otherContext;
    QCOMPARE(component.fire(1, 5, 1), E_NOTIMPL);
    QCOMPARE(recorder.events, QStringList({"finish:5"}));
    QCOMPARE(recorder.contexts.first(), static_cast<void *>(&contextMarker));
    QCOMPARE(qmuser_uninit(), 0);
}

void HelperScenarios::eventsDuringInitDropped()
{
    QVERIFY(component.load());
    component.set("fire_during_init", 1);
    UserEventCallbacks callbacks = allCallbacks();
    QCOMPARE(initDefault(&callbacks), 0);
    QVERIFY(recorder.events.isEmpty()); // the 77 fired inside Init found no callbacks
    QCOMPARE(component.fire(1, 0, 1), E_NOTIMPL);
    QCOMPARE(recorder.events, QStringList({"finish:0"}));
    QCOMPARE(qmuser_uninit(), 0);
}

void HelperScenarios::loginPassesArguments()
{
    QVERIFY(component.load());
    QCOMPARE(initDefault(nullptr), 0);
    component.clearLog();
    std::string name = "张三", password = "pässwörd 🔑";
    QCOMPARE(qmuser_login(&name, &password, 5, 2), 0);
    QCOMPARE(qmuser_login(&name, &password, 0, 0), 0);
    QCOMPARE(qmuser_login(&name, &password, -7, -1), 0);
    QCOMPARE(qmuser_login(&name, &password, 0, 1), 0);
    std::string empty;
    QCOMPARE(qmuser_login(&empty, &empty, 0, 0), 0);
    QCOMPARE(qmuser_login(nullptr, &password, 0, 0), -1);
    QCOMPARE(qmuser_login(&name, nullptr, 0, 0), -1);
    QCOMPARE(component.lines(),
             QStringList({QStringLiteral("Login 张三 pässwörd 🔑 5 1"),
                          QStringLiteral("Login 张三 pässwörd 🔑 0 0"),
                          QStringLiteral("Login 张三 pässwörd 🔑 -7 1"),
                          QStringLiteral("Login 张三 pässwörd 🔑 0 1"), "Login   0 0"}));
    QCOMPARE(qmuser_uninit(), 0);
}

void HelperScenarios::loginFailure()
{
    QVERIFY(component.load());
    component.set("login_fail", 1);
    QCOMPARE(initDefault(nullptr), 0);
    std::string name = "demo", password = "demo123";
    QCOMPARE(qmuser_login(&name, &password, 0, 0), -1);
    QCOMPARE(qmuser_uninit(), 0);
}

void HelperScenarios::logoutPassesArguments()
{
    QVERIFY(component.load());
    QCOMPARE(initDefault(nullptr), 0);
    QCOMPARE(qmuser_logout(UINT64_MAX, 7), 0);
    QCOMPARE(qmuser_logout(10001, 0), 0);
    QVERIFY(component.lines().contains("Logout 18446744073709551615 7"));
    QVERIFY(component.lines().contains("Logout 10001 0"));
    component.set("logout_fail", 1);
    QCOMPARE(qmuser_logout(10001, 0), -1);
    QCOMPARE(qmuser_uninit(), 0);
}

void HelperScenarios::gettersConvert()
{
    QVERIFY(component.load());
    QCOMPARE(initDefault(nullptr), 0);
    component.clearLog();
    uint64_t id = 0;
    std::string session, jump, name, nick, url;
    QCOMPARE(qmuser_get_userid(&id), 0);
    QCOMPARE(qmuser_get_sessionid(&session), 0);
    QCOMPARE(qmuser_get_jumpkey(&jump), 0);
    QCOMPARE(qmuser_get_username(&name), 0);
    QCOMPARE(qmuser_get_nickname(&nick), 0);
    QCOMPARE(qmuser_get_image_url(&url), 0);
    QCOMPARE(id, uint64_t(1234567890123ULL));
    QCOMPARE(session, std::string("sess-1"));
    QCOMPARE(jump, std::string("jk-2"));
    QCOMPARE(name, std::string("demo"));
    QCOMPARE(nick, std::string("演示用户😀"));
    QCOMPARE(nick.size(), std::strlen("演示用户😀")); // no terminator in the length
    QCOMPARE(url, std::string("http://127.0.0.1/face.png"));
    // Each query's information object is released again.
    QStringList lines = component.lines();
    QCOMPARE(lines.count("get_UserInfo"), 4);
    QCOMPARE(lines.count("Info.Release 0"), 4);
    QCOMPARE(qmuser_uninit(), 0);
}

void HelperScenarios::nullBstrGivesEmptyString()
{
    QVERIFY(component.load());
    component.set("null_bstr", 1);
    QCOMPARE(initDefault(nullptr), 0);
    std::string out = "junk";
    QCOMPARE(qmuser_get_sessionid(&out), 0);
    QCOMPARE(out, std::string());
    out = "junk";
    QCOMPARE(qmuser_get_jumpkey(&out), 0);
    QCOMPARE(out, std::string());
    out = "junk";
    QCOMPARE(qmuser_get_username(&out), 0);
    QCOMPARE(out, std::string());
    out = "junk";
    QCOMPARE(qmuser_get_nickname(&out), 0);
    QCOMPARE(out, std::string());
    out = "junk";
    QCOMPARE(qmuser_get_image_url(&out), 0);
    QCOMPARE(out, std::string());
    QCOMPARE(qmuser_uninit(), 0);
}

void HelperScenarios::failedGettersLeaveOutput()
{
    QVERIFY(component.load());
    component.set("getter_fail", 1);
    QCOMPARE(initDefault(nullptr), 0);
    std::string out = "keep";
    QCOMPARE(qmuser_get_sessionid(&out), -1);
    QCOMPARE(qmuser_get_jumpkey(&out), -1);
    QCOMPARE(qmuser_get_username(&out), -1);
    QCOMPARE(qmuser_get_nickname(&out), -1);
    QCOMPARE(qmuser_get_image_url(&out), -1);
    QCOMPARE(out, std::string("keep"));
    uint64_t id = 99;
    QCOMPARE(qmuser_get_userid(&id), -1);
    QCOMPARE(id, uint64_t(0));
    QCOMPARE(component.lines().count("get_UserInfo"), component.lines().count("Info.Release 0"));
    QCOMPARE(qmuser_uninit(), 0);
}

void HelperScenarios::userInfoFailures()
{
    QVERIFY(component.load());
    component.set("info_fail", 1);
    QCOMPARE(initDefault(nullptr), 0);
    uint64_t id = 99;
    std::string out = "keep";
    QCOMPARE(qmuser_get_userid(&id), -1);
    QCOMPARE(id, uint64_t(0));
    QCOMPARE(qmuser_get_username(&out), -1);
    QCOMPARE(qmuser_get_nickname(&out), -1);
    QCOMPARE(qmuser_get_image_url(&out), -1);
    component.set("info_fail", 0);
    component.set("info_null", 1); // success, but no object
    id = 99;
    QCOMPARE(qmuser_get_userid(&id), -1);
    QCOMPARE(id, uint64_t(0));
    QCOMPARE(qmuser_get_username(&out), -1);
    QCOMPARE(qmuser_get_nickname(&out), -1);
    QCOMPARE(qmuser_get_image_url(&out), -1);
    QCOMPARE(out, std::string("keep"));
    QCOMPARE(qmuser_uninit(), 0);
}

void HelperScenarios::nullOutPointers()
{
    QVERIFY(component.load());
    QCOMPARE(initDefault(nullptr), 0);
    QCOMPARE(qmuser_get_userid(nullptr), 0);
    QCOMPARE(qmuser_get_sessionid(nullptr), 0);
    QCOMPARE(qmuser_get_nickname(nullptr), 0);
    QVERIFY(component.lines().contains("Info.get_UserId"));
    QCOMPARE(qmuser_uninit(), 0);
}

void HelperScenarios::isLoginValues()
{
    QVERIFY(component.load());
    QCOMPARE(initDefault(nullptr), 0);
    component.clearLog();
    component.set("islogin_value", 0);
    QCOMPARE(qmuser_islogin(), false);
    QCOMPARE(component.lines(), QStringList({"get_IsLogin 0"})); // out value preset to 0
    component.set("islogin_value", -1);
    QCOMPARE(qmuser_islogin(), true);
    component.set("islogin_value", 1);
    QCOMPARE(qmuser_islogin(), true);
    component.set("islogin_value", 0x100);
    QCOMPARE(qmuser_islogin(), true);
    component.set("islogin_value", -1);
    component.set("islogin_fail", 1);
    QCOMPARE(qmuser_islogin(), false);
    QCOMPARE(qmuser_uninit(), 0);
}

void HelperScenarios::uninitSequence()
{
    QVERIFY(component.load());
    QCOMPARE(initDefault(nullptr), 0);
    component.clearLog();
    QCOMPARE(qmuser_uninit(), 0);
    QStringList lines = component.lines();
    int uninit = lines.indexOf("Uninit");
    int unadvise = lines.indexOf("Unadvise 42");
    int released = lines.indexOf("User.Release 0");
    int canUnload = lines.indexOf("DllCanUnloadNow");
    QVERIFY2(uninit == 0 && unadvise > uninit && released > unadvise && canUnload > released,
             qPrintable(lines.join(" | ")));
    QVERIFY(lines.contains("Sink.Release 0"));
    component.clearLog();
    QCOMPARE(qmuser_uninit(), 0);
    QVERIFY(component.lines().isEmpty());
    expectNoComponentAnswers();
    QVERIFY(component.lines().isEmpty());
}

void HelperScenarios::uninitFromInsideEvent()
{
    QVERIFY(component.load());
    UserEventCallbacks callbacks = allCallbacks();
    callbacks.onKickOut = uninitInside;
    QCOMPARE(initDefault(&callbacks), 0);
    QCOMPARE(component.fire(4, 0, 1), E_NOTIMPL);
    QCOMPARE(recorder.events, QStringList({"kickout"}));
    QCOMPARE(qmuser_islogin(), false);
    QVERIFY(component.lines().contains("Sink.Release 0"));
    QCOMPARE(qmuser_uninit(), 0);
}

void HelperScenarios::secondInitStartsOver()
{
    QVERIFY(component.load());
    UserEventCallbacks callbacks = allCallbacks();
    QCOMPARE(initDefault(&callbacks), 0);
    component.clearLog();
    QCOMPARE(initDefault(nullptr), 0);
    QStringList lines = component.lines();
    QVERIFY2(lines.indexOf("Uninit") >= 0 &&
                 lines.indexOf("Uninit") < lines.indexOf("Unadvise 42") &&
                 lines.indexOf("User.Release 0") <
                     lines.indexOf("DllGetClassObject VantorUser IClassFactory"),
             qPrintable(lines.join(" | ")));
    // The callbacks of the first init stay; one sink, so one call per event.
    QCOMPARE(component.fire(1, 9, 1), E_NOTIMPL);
    QCOMPARE(recorder.events, QStringList({"finish:9"}));
    QCOMPARE(qmuser_uninit(), 0);
}
