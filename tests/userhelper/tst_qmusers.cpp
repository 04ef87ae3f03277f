// The lab's account component against a test account service: directly through its COM
// interfaces, and once end to end through the helper library.
#include "appdirrunner.h"
#include "testaccountserver.h"
#include "userhelper/qmuserhelper.h"
#include "userhelper/qmuserscomponent.h"
#include "userhelper/stringconvert.h"

#include <QtTest>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// Generous bound for waiting on an event: a safety net, not a timing check.
const auto kEventWait = std::chrono::seconds(60);

class RecordingSink : public _IVantorUserEvents
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, DIID__IVantorUserEvents)) {
            *ppv = static_cast<_IVantorUserEvents *>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++ref; }
    ULONG STDMETHODCALLTYPE Release() override { return --ref; } // lives on the test's stack

    HRESULT STDMETHODCALLTYPE OnLoginFinish(LONG code) override
    {
        return add("finish:" + std::to_string(code));
    }
    HRESULT STDMETHODCALLTYPE OnEvent2(LONG) override { return add("event2"); }
    HRESULT STDMETHODCALLTYPE OnEvent3(LONG) override { return add("event3"); }
    HRESULT STDMETHODCALLTYPE OnKickOut() override { return add("kickout"); }
    HRESULT STDMETHODCALLTYPE OnEvent5(LONG) override { return add("event5"); }
    HRESULT STDMETHODCALLTYPE OnEvent6(LONG) override { return add("event6"); }
    HRESULT STDMETHODCALLTYPE OnLoginOverTime() override { return add("overtime"); }
    HRESULT STDMETHODCALLTYPE OnEvent8() override { return add("event8"); }
    HRESULT STDMETHODCALLTYPE OnEvent9() override { return add("event9"); }
    HRESULT STDMETHODCALLTYPE OnEvent10() override { return add("event10"); }

    bool waitForCount(size_t n)
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, kEventWait, [&] { return events.size() >= n; });
    }
    std::vector<std::string> snapshot()
    {
        std::lock_guard<std::mutex> guard(lock);
        return events;
    }
    bool firedOnOtherThread()
    {
        std::lock_guard<std::mutex> guard(lock);
        return otherThread;
    }

    std::atomic<ULONG> ref{0};

private:
    HRESULT add(const std::string &event)
    {
        std::lock_guard<std::mutex> guard(lock);
        events.push_back(event);
        otherThread = otherThread || std::this_thread::get_id() != mainThread;
        changed.notify_all();
        return E_NOTIMPL;
    }

    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::string> events;
    std::thread::id mainThread = std::this_thread::get_id();
    bool otherThread = false;
};

struct Component
{
    void *handle = nullptr;
    DllGetClassObjectFunc getClassObject = nullptr;
    DllCanUnloadNowFunc canUnloadNow = nullptr;

    bool load()
    {
        handle = dlopen(QMUSERS_COMPONENT_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return false;
        getClassObject =
            reinterpret_cast<DllGetClassObjectFunc>(dlsym(handle, "DllGetClassObject"));
        canUnloadNow = reinterpret_cast<DllCanUnloadNowFunc>(dlsym(handle, "DllCanUnloadNow"));
        return getClassObject && canUnloadNow;
    }
};

Component component;

// One user object with the sink connected and initialised.
struct UserClient
{
    IVantorUser *user = nullptr;
    DWORD cookie = 0;
    RecordingSink sink;

    bool create()
    {
        IClassFactory *factory = nullptr;
        if (component.getClassObject(CLSID_VantorUser, IID_IClassFactory,
                                     reinterpret_cast<void **>(&factory)) != S_OK)
            return false;
        HRESULT hr =
            factory->CreateInstance(nullptr, IID_IVantorUser, reinterpret_cast<void **>(&user));
        factory->Release();
        if (hr != S_OK)
            return false;
        IConnectionPointContainer *container = nullptr;
        if (FAILED(user->QueryInterface(IID_IConnectionPointContainer,
                                        reinterpret_cast<void **>(&container))))
            return false;
        IConnectionPoint *point = nullptr;
        hr = container->FindConnectionPoint(DIID__IVantorUserEvents, &point);
        container->Release();
        if (FAILED(hr))
            return false;
        hr = point->Advise(&sink, &cookie);
        point->Release();
        if (FAILED(hr))
            return false;
        BSTR version = Utf8ToBstr("1.0.0.0");
        hr = user->Init(version, 81);
        SysFreeString(version);
        return SUCCEEDED(hr);
    }

    HRESULT login(const char *name, const char *password)
    {
        BSTR n = Utf8ToBstr(name), p = Utf8ToBstr(password);
        HRESULT hr = user->Login(n, p, 0, 0);
        SysFreeString(n);
        SysFreeString(p);
        return hr;
    }

    bool isLogin()
    {
        VARIANT_BOOL value = 0;
        return SUCCEEDED(user->get_IsLogin(&value)) && value != 0;
    }

    std::string take(HRESULT (STDMETHODCALLTYPE IVantorUser::*getter)(BSTR *))
    {
        BSTR value = nullptr;
        (user->*getter)(&value);
        std::string text = BstrToUtf8(value);
        SysFreeString(value);
        return text;
    }

    void destroy()
    {
        if (!user)
            return;
        user->Uninit();
        IConnectionPointContainer *container = nullptr;
        if (SUCCEEDED(user->QueryInterface(IID_IConnectionPointContainer,
                                           reinterpret_cast<void **>(&container)))) {
            IConnectionPoint *point = nullptr;
            if (SUCCEEDED(container->FindConnectionPoint(DIID__IVantorUserEvents, &point))) {
                point->Unadvise(cookie);
                point->Release();
            }
            container->Release();
        }
        user->Release();
        user = nullptr;
    }

    ~UserClient() { destroy(); }
};

std::string infoText(IVantorUserInfo *info,
                     HRESULT (STDMETHODCALLTYPE IVantorUserInfo::*getter)(BSTR *))
{
    BSTR value = nullptr;
    (info->*getter)(&value);
    std::string text = BstrToUtf8(value);
    SysFreeString(value);
    return text;
}

// A loopback port that nothing listens on (bound once, then closed).
int freePort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = -1;
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

} // namespace

class TestQmUsers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void signInIdentityAndSignOut();
    void wrongPasswordAndUnknownName();
    void serviceDownIsNetworkError();
    void secondSignInKicksOutFirst();
    void noAnswerTimesOut();
    void uninitSignsOutAndAllowsUnload();
    void libraryEndToEnd();

private:
    std::unique_ptr<TestAccountServer> server;
};

void TestQmUsers::initTestCase()
{
    QVERIFY(component.load());
}

void TestQmUsers::init()
{
    server = std::make_unique<TestAccountServer>();
    QVERIFY(server->start());
    qputenv("KELVORA_ACCOUNT_SERVICE", QByteArray::fromStdString(server->url()));
}

void TestQmUsers::cleanup()
{
    server->holdLogins(false);
    server.reset();
}

void TestQmUsers::signInIdentityAndSignOut()
{
    UserClient client;
    QVERIFY(client.create());
    QVERIFY(!client.isLogin());
    QCOMPARE(client.login("demo", "demo123"), S_OK);
    QVERIFY(client.sink.waitForCount(1));
    QCOMPARE(client.sink.snapshot(), std::vector<std::string>{"finish:0"});
    QVERIFY(client.sink.firedOnOtherThread());
    QVERIFY(client.isLogin());

    auto form = server->lastLoginForm();
    QCOMPARE(form["name"], std::string("demo"));
    QCOMPARE(form["password"], std::string("demo123"));
    QCOMPARE(form["client"], std::string("81"));
    QCOMPARE(form["version"], std::string("1.0.0.0"));

    std::string session = server->activeSession("demo");
    QVERIFY(!session.empty());
    QCOMPARE(client.take(&IVantorUser::get_SessionId), session);
    QCOMPARE(client.take(&IVantorUser::get_JumpKey), "jk" + session);
    IVantorUserInfo *info = nullptr;
    QCOMPARE(client.user->get_UserInfo(&info), S_OK);
    QVERIFY(info);
    ULONGLONG id = 0;
    QCOMPARE(info->get_UserId(&id), S_OK);
    QCOMPARE(id, ULONGLONG(10001));
    QCOMPARE(infoText(info, &IVantorUserInfo::get_UserName), std::string("demo"));
    QCOMPARE(infoText(info, &IVantorUserInfo::get_NickName), std::string("演示用户"));
    QCOMPARE(infoText(info, &IVantorUserInfo::get_ImageUrl),
             std::string("http://127.0.0.1/face/demo.png"));
    info->Release();

    QCOMPARE(client.user->Logout(id, 0), S_OK);
    QVERIFY(!client.isLogin()); // at once, not when the service has heard of it
    QVERIFY(server->waitForLogouts(1));
    QCOMPARE(server->logouts().front(), session);
    QCOMPARE(client.take(&IVantorUser::get_SessionId), std::string());
}

void TestQmUsers::wrongPasswordAndUnknownName()
{
    UserClient client;
    QVERIFY(client.create());
    QCOMPARE(client.login("demo", "nope"), S_OK);
    QVERIFY(client.sink.waitForCount(1));
    QCOMPARE(client.login("nobody", "x"), S_OK);
    QVERIFY(client.sink.waitForCount(2));
    QCOMPARE(client.sink.snapshot(), (std::vector<std::string>{"finish:3", "finish:2"}));
    QVERIFY(!client.isLogin());
}

void TestQmUsers::serviceDownIsNetworkError()
{
    int port = freePort();
    QVERIFY(port > 0);
    qputenv("KELVORA_ACCOUNT_SERVICE", QByteArray("http://127.0.0.1:") + QByteArray::number(port));
    UserClient client;
    QVERIFY(client.create());
    QCOMPARE(client.login("demo", "demo123"), S_OK);
    QVERIFY(client.sink.waitForCount(1));
    QCOMPARE(client.sink.snapshot().front(), std::string("finish:1"));
    QVERIFY(!client.isLogin());
}

void TestQmUsers::secondSignInKicksOutFirst()
{
    UserClient first, second;
    QVERIFY(first.create());
    QVERIFY(second.create());
    QCOMPARE(first.login("demo", "demo123"), S_OK);
    QVERIFY(first.sink.waitForCount(1));
    QCOMPARE(first.sink.snapshot().front(), std::string("finish:0"));
    QCOMPARE(second.login("demo", "demo123"), S_OK);
    QVERIFY(second.sink.waitForCount(1));
    QVERIFY(first.sink.waitForCount(2));
    QCOMPARE(first.sink.snapshot(), (std::vector<std::string>{"finish:0", "kickout"}));
    QVERIFY(first.sink.firedOnOtherThread());
    QVERIFY(!first.isLogin());
    QVERIFY(second.isLogin());
    QCOMPARE(second.sink.snapshot(), std::vector<std::string>{"finish:0"});
    QCOMPARE(second.take(&IVantorUser::get_SessionId), server->activeSession("demo"));
}

void TestQmUsers::noAnswerTimesOut()
{
    server->holdLogins(true);
    UserClient client;
    QVERIFY(client.create());
    QCOMPARE(client.login("demo", "demo123"), S_OK);
    QVERIFY(client.sink.waitForCount(1));
    QCOMPARE(client.sink.snapshot(), std::vector<std::string>{"overtime"});
    QVERIFY(!client.isLogin());
    server->holdLogins(false);
}

void TestQmUsers::uninitSignsOutAndAllowsUnload()
{
    {
        UserClient client;
        QVERIFY(client.create());
        QCOMPARE(client.login("test", "test123"), S_OK);
        QVERIFY(client.sink.waitForCount(1));
        QCOMPARE(client.sink.snapshot(), std::vector<std::string>{"finish:0"});
        IVantorUserInfo *info = nullptr;
        QCOMPARE(client.user->get_UserInfo(&info), S_OK);
        ULONGLONG id = 0;
        info->get_UserId(&id);
        info->Release();
        QCOMPARE(id, ULONGLONG(18446744073709551615ULL));
        std::string session = server->activeSession("test");
        QCOMPARE(client.user->Uninit(), S_OK);
        QVERIFY(server->waitForLogouts(1));
        QCOMPARE(server->logouts().front(), session);
        QCOMPARE(component.canUnloadNow(), S_FALSE); // the user object still lives
        client.destroy();
        QCOMPARE(client.sink.ref.load(), ULONG(0)); // the connection point let go
    }
    QCOMPARE(component.canUnloadNow(), S_OK);
}

void TestQmUsers::libraryEndToEnd()
{
    AppDirRunner app;
    QVERIFY(app.isValid());
    QVERIFY(app.placeComponent(QStringLiteral(QMUSERS_COMPONENT_PATH)));
    AppDirRunner::Result result =
        app.run(QStringLiteral("libraryRoundTrip"), {QStringLiteral("KELVORA_ACCOUNT_SERVICE=") +
                                                     QString::fromStdString(server->url())});
    QVERIFY(result.started);
    QVERIFY2(result.exitCode == 0, qPrintable(result.log + QString::fromLocal8Bit(result.err)));
    QVERIFY2(result.log.contains(QLatin1String("Totals: 3 passed")), qPrintable(result.log));
    QCOMPARE(result.out, QByteArray());
    QVERIFY(server->waitForLogouts(1));
}

// The library's side of libraryEndToEnd, run in a copy of this executable placed next to
// the real component.
class LibraryScenario : public QObject
{
    Q_OBJECT

private slots:
    void libraryRoundTrip();
};

namespace {
std::mutex g_lock;
std::condition_variable g_changed;
std::vector<int> g_codes;
void *g_context = nullptr;
bool g_otherThread = false;
const std::thread::id g_mainThread = std::this_thread::get_id();

void recordFinish(int32_t code, void *context)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_codes.push_back(code);
    g_context = context;
    g_otherThread = std::this_thread::get_id() != g_mainThread;
    g_changed.notify_all();
}
} // namespace

void LibraryScenario::libraryRoundTrip()
{
    int marker = 0;
    UserInitParams params;
    params.clientId = 81;
    params.version = "1.0.0.0";
    UserEventCallbacks callbacks;
    callbacks.onLoginFinish = recordFinish;
    callbacks.context = &marker;
    QCOMPARE(qmuser_init(&params, &callbacks), 0);
    QCOMPARE(qmuser_islogin(), false);
    std::string name = "demo", password = "demo123";
    QCOMPARE(qmuser_login(&name, &password, 0, 0), 0);
    {
        std::unique_lock<std::mutex> guard(g_lock);
        QVERIFY(g_changed.wait_for(guard, kEventWait, [] { return !g_codes.empty(); }));
        QCOMPARE(g_codes, std::vector<int>{0});
        QCOMPARE(g_context, static_cast<void *>(&marker));
        QVERIFY(g_otherThread);
    }
    QCOMPARE(qmuser_islogin(), true);
    uint64_t id = 0;
    std::string session, user, nick, jump, url;
    QCOMPARE(qmuser_get_userid(&id), 0);
    QCOMPARE(qmuser_get_sessionid(&session), 0);
    QCOMPARE(qmuser_get_username(&user), 0);
    QCOMPARE(qmuser_get_nickname(&nick), 0);
    QCOMPARE(qmuser_get_jumpkey(&jump), 0);
    QCOMPARE(qmuser_get_image_url(&url), 0);
    QCOMPARE(id, uint64_t(10001));
    QCOMPARE(session.size(), size_t(16));
    QCOMPARE(user, std::string("demo"));
    QCOMPARE(nick, std::string("演示用户"));
    QCOMPARE(jump, "jk" + session);
    QCOMPARE(url, std::string("http://127.0.0.1/face/demo.png"));
    QCOMPARE(qmuser_logout(id, 0), 0);
    QCOMPARE(qmuser_islogin(), false);
    QCOMPARE(qmuser_uninit(), 0);
    QCOMPARE(qmuser_uninit(), 0);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("QMUSER_TEST_CHILD")) {
        LibraryScenario scenario;
        return QTest::qExec(&scenario, argc, argv);
    }
    TestQmUsers test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_qmusers.moc"
