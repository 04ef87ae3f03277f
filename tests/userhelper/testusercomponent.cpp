// A scripted account component for the helper library's tests: records every call, fails
// or answers oddly on request, and fires events on demand through raw vtable slots, so that
// the library's sink layout is checked independently of the shared interface header.
#include "userhelper/qmuserscomponent.h"

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#define TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex g_lock;
std::string g_log; // one line per call
std::string g_logCopy;
std::map<std::string, int> g_settings;
std::atomic<IUnknown *> g_sink{nullptr};

void logCall(const std::string &line)
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_log += line + "\n";
}

int setting(const char *key)
{
    std::lock_guard<std::mutex> lock(g_lock);
    auto it = g_settings.find(key);
    return it == g_settings.end() ? 0 : it->second;
}

std::string narrow(BSTR text)
{
    if (!text)
        return "(null)";
    char out[256] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, nullptr, nullptr);
    return out;
}

// Getter answers: "getter_fail" fails, "null_bstr" gives S_OK with a null string.
HRESULT answer(const char *name, const char *text, BSTR *out)
{
    logCall(name);
    if (setting("getter_fail"))
        return E_FAIL;
    *out = nullptr;
    if (!setting("null_bstr")) {
        std::u16string wide(64, u'\0');
        wide.resize(size_t(MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], 64)));
        *out = SysAllocString(wide.c_str());
    }
    return S_OK;
}

// Calls event method number `event` (1 to 10) of the sink by its vtable slot.
HRESULT fireSlot(IUnknown *sink, int event, int value)
{
    void *entry = (*reinterpret_cast<void ***>(sink))[3 + event - 1];
    static const bool withArgument[] = {true, true,  true,  false, true,
                                        true, false, false, false, false};
    if (withArgument[event - 1])
        return reinterpret_cast<HRESULT (*)(IUnknown *, int32_t)>(entry)(sink, value);
    return reinterpret_cast<HRESULT (*)(IUnknown *)>(entry)(sink);
}

// Drops one reference; the last one logs "<name>.Release 0" and deletes the object.
template <typename T> ULONG releaseLogged(T *object, std::atomic<ULONG> &ref, const char *name)
{
    ULONG n = --ref;
    if (n == 0) {
        logCall(std::string(name) + ".Release 0");
        delete object;
    }
    return n;
}

#define STRING_GETTER(method, text)                                                                \
    HRESULT STDMETHODCALLTYPE method(BSTR *out) override                                           \
    {                                                                                              \
        return answer(#method, text, out);                                                         \
    }

class Info final : public IVantorUserInfo
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **ppv) override
    {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++ref; }
    ULONG STDMETHODCALLTYPE Release() override { return releaseLogged(this, ref, "Info"); }
    HRESULT STDMETHODCALLTYPE get_UserId(ULONGLONG *id) override
    {
        logCall("get_UserId");
        *id = 1234567890123ULL;
        return setting("getter_fail") ? E_FAIL : S_OK;
    }
    STRING_GETTER(get_UserName, "demo")
    STRING_GETTER(get_NickName, "演示用户😀")
    STRING_GETTER(get_ImageUrl, "http://127.0.0.1/face.png")

private:
    std::atomic<ULONG> ref{1};
};

// The user object, its own connection point container and its one connection point.
class User final : public IVantorUser, public IConnectionPointContainer, public IConnectionPoint
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IConnectionPointContainer)) {
            logCall("QI IConnectionPointContainer");
            if (setting("no_cpc"))
                return E_NOINTERFACE;
            *ppv = static_cast<IConnectionPointContainer *>(this);
        } else if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IVantorUser)) {
            *ppv = static_cast<IVantorUser *>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++ref; }
    ULONG STDMETHODCALLTYPE Release() override { return releaseLogged(this, ref, "User"); }
    HRESULT STDMETHODCALLTYPE Init(BSTR version, LONG clientId) override
    {
        logCall("Init " + narrow(version) + " " + std::to_string(clientId));
        if (setting("fire_during_init") && g_sink.load())
            fireSlot(g_sink.load(), 1, 77);
        return setting("init_fail") ? E_FAIL : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Login(BSTR name, BSTR password, LONG option,
                                    VARIANT_BOOL flag) override
    {
        logCall("Login " + narrow(name) + " " + narrow(password) + " " + std::to_string(option) +
                " " + std::to_string(flag));
        return setting("login_fail") ? E_FAIL : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Logout(ULONGLONG userId, LONG value) override
    {
        logCall("Logout " + std::to_string(userId) + " " + std::to_string(value));
        return setting("logout_fail") ? E_FAIL : S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_UserInfo(IVantorUserInfo **info) override
    {
        logCall("get_UserInfo");
        *info = setting("info_fail") || setting("info_null") ? nullptr : new Info;
        return setting("info_fail") ? E_FAIL : S_OK;
    }
    STRING_GETTER(get_SessionId, "sess-1")
    STRING_GETTER(get_JumpKey, "jk-2")
    HRESULT STDMETHODCALLTYPE get_IsLogin(VARIANT_BOOL *value) override
    {
        logCall("get_IsLogin " + std::to_string(*value));
        *value = VARIANT_BOOL(setting("islogin_value"));
        return setting("islogin_fail") ? E_FAIL : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Uninit() override
    {
        logCall("Uninit");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints **) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint **cp) override
    {
        logCall("FindConnectionPoint");
        *cp = nullptr;
        if (!IsEqualIID(riid, DIID__IVantorUserEvents))
            return CONNECT_E_NOCONNECTION;
        AddRef();
        *cp = this;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer **) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown *sink, DWORD *cookie) override
    {
        logCall("Advise");
        IUnknown *events = nullptr;
        if (setting("advise_fail"))
            return E_FAIL;
        if (FAILED(
                sink->QueryInterface(DIID__IVantorUserEvents, reinterpret_cast<void **>(&events))))
            return CONNECT_E_CANNOTCONNECT;
        g_sink = events;
        *cookie = 42;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override
    {
        logCall("Unadvise " + std::to_string(cookie));
        if (cookie != 42 || !g_sink.load())
            return CONNECT_E_NOCONNECTION;
        logCall("Sink.Release " + std::to_string(g_sink.exchange(nullptr)->Release()));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections **) override { return E_NOTIMPL; }

private:
    std::atomic<ULONG> ref{1};
};

class Factory final : public IClassFactory
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **ppv) override
    {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++ref; }
    ULONG STDMETHODCALLTYPE Release() override { return releaseLogged(this, ref, "Factory"); }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID riid, void **ppv) override
    {
        logCall(std::string("CreateInstance") + (outer ? " outer" : "") +
                (IsEqualIID(riid, IID_IVantorUser) ? " IVantorUser" : " other"));
        *ppv = nullptr;
        if (setting("createinstance_fail"))
            return E_FAIL;
        *ppv = static_cast<IVantorUser *>(new User);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    std::atomic<ULONG> ref{1};
};

} // namespace

TEST_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID *ppv)
{
    logCall(std::string("DllGetClassObject") +
            (IsEqualCLSID(clsid, CLSID_VantorUser) ? " VantorUser" : " other") +
            (IsEqualIID(riid, IID_IClassFactory) ? " IClassFactory" : " other"));
    *ppv = nullptr;
    if (setting("classobject_fail"))
        return E_FAIL;
    *ppv = static_cast<IClassFactory *>(new Factory);
    // Success, but not S_OK: the library insists on exactly S_OK.
    return setting("classobject_sfalse") ? S_FALSE : S_OK;
}

// Never agrees to be unloaded, so the test's own handle sees the same log throughout.
TEST_EXPORT HRESULT DllCanUnloadNow()
{
    logCall("DllCanUnloadNow");
    return S_FALSE;
}

// Test controls.
// A null key clears every setting and the log.
TEST_EXPORT void testcomp_set(const char *key, int value)
{
    std::lock_guard<std::mutex> lock(g_lock);
    if (key) {
        g_settings[key] = value;
    } else {
        g_settings.clear();
        g_log.clear();
    }
}

TEST_EXPORT const char *testcomp_log()
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_logCopy = g_log;
    return g_logCopy.c_str();
}

TEST_EXPORT IUnknown *testcomp_sink()
{
    return g_sink.load();
}

// Fires event `event` (1 to 10), on a thread of its own when asked; gives the sink's answer.
TEST_EXPORT HRESULT testcomp_fire(int event, int value, int onOwnThread)
{
    IUnknown *sink = g_sink.load();
    if (!sink || event < 1 || event > 10)
        return E_UNEXPECTED;
    if (!onOwnThread)
        return fireSlot(sink, event, value);
    HRESULT hr = E_FAIL;
    std::thread([&] { hr = fireSlot(sink, event, value); }).join();
    return hr;
}
