#include "qmuserhelper.h"

#include "cqmuserevents.h"
#include "stringconvert.h"
#include "usercomponenthost.h"

#include <cstdio>
#include <new>

std::atomic<UserComponentHost *> g_userComponentHost{nullptr};

namespace {

#ifdef _WIN32
const OLECHAR kComponentName[] = OLESTR("QMUserS.dll");
#else
const OLECHAR kComponentName[] = OLESTR("libQMUserS.so");
#endif

UserComponentHost *Host()
{
    return g_userComponentHost.load();
}

// Resolves the component next to the executable (not next to this library) and loads it.
bool LoadComponent(UserComponentHost *host)
{
    WCHAR path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    // A truncated path names some other file: better not to load anything.
    if (length == 0 || length >= MAX_PATH)
        return false;
    if (PathIsRelativeW(kComponentName)) {
        PathRemoveFileSpecW(path);
        if (!PathAppendW(path, kComponentName))
            return false;
    }
    SysFreeString(host->modulePath);
    host->modulePath = SysAllocString(PathIsRelativeW(kComponentName) ? path : kComponentName);
    if (!host->modulePath)
        return false;

    if (!PathFileExistsW(host->modulePath))
        return false;
    host->module = CoLoadLibrary(host->modulePath, FALSE);
    if (!host->module) {
        std::fputs("qmuserhelp: load module failed \n", stdout);
        std::fflush(stdout);
        return false;
    }
    FARPROC entry = GetProcAddress(host->module, "DllGetClassObject");
    if (!entry) {
        CoFreeLibrary(host->module);
        host->module = nullptr;
        return false;
    }
    host->getClassObject = reinterpret_cast<DllGetClassObjectFunc>(entry);
    return true;
}

void FreeComponentModule(UserComponentHost *host)
{
    CoFreeLibrary(host->module);
    host->module = nullptr;
    host->getClassObject = nullptr;
}

bool CreateUserObject(UserComponentHost *host)
{
    IClassFactory *factory = nullptr;
    HRESULT hr = host->getClassObject(CLSID_VantorUser, IID_IClassFactory,
                                      reinterpret_cast<void **>(&factory));
    if (hr != S_OK || !factory) {
        if (factory)
            factory->Release();
        FreeComponentModule(host);
        return false;
    }
    IVantorUser *user = nullptr;
    hr = factory->CreateInstance(nullptr, IID_IVantorUser, reinterpret_cast<void **>(&user));
    factory->Release();
    if (hr != S_OK || !user) {
        if (user)
            user->Release();
        FreeComponentModule(host);
        return false;
    }
    host->user = user;
    return true;
}

HRESULT FindEventConnectionPoint(IVantorUser *user, IConnectionPoint **point)
{
    *point = nullptr;
    IConnectionPointContainer *container = nullptr;
    HRESULT hr =
        user->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void **>(&container));
    if (FAILED(hr) || !container)
        return FAILED(hr) ? hr : E_NOINTERFACE;
    hr = container->FindConnectionPoint(DIID__IVantorUserEvents, point);
    container->Release();
    if (SUCCEEDED(hr) && !*point)
        hr = E_NOINTERFACE;
    return hr;
}

bool ConnectSink(UserComponentHost *host)
{
    IConnectionPoint *point = nullptr;
    HRESULT hr = FindEventConnectionPoint(host->user, &point);
    DWORD cookie = 0;
    if (SUCCEEDED(hr)) {
        hr = point->Advise(host->sink, &cookie);
        point->Release();
    }
    if (FAILED(hr)) {
        // Nobody took a reference: a count of 0 would otherwise leak the sink.
        host->sink->AddRef();
        host->sink->Release();
        host->sink = nullptr;
        return false;
    }
    host->adviseCookie = cookie;
    return true;
}

// Shuts the component down, disconnects the sink and drops the user object; unloads the
// module only when the component agrees.
void ReleaseComponent(UserComponentHost *host)
{
    if (host->user) {
        host->user->Uninit();
        if (host->sink) {
            IConnectionPoint *point = nullptr;
            if (SUCCEEDED(FindEventConnectionPoint(host->user, &point))) {
                point->Unadvise(host->adviseCookie);
                point->Release();
            }
        }
        host->user->Release();
        host->user = nullptr;
    }
    host->sink = nullptr; // the connection point released it
    host->adviseCookie = 0;
    if (host->module) {
        auto canUnloadNow =
            reinterpret_cast<DllCanUnloadNowFunc>(GetProcAddress(host->module, "DllCanUnloadNow"));
        if (canUnloadNow && canUnloadNow() == S_OK)
            FreeComponentModule(host);
    }
}

// Pattern of the five string getters: store the converted text on success only.
int32_t StoreString(HRESULT hr, BSTR value, std::string *out)
{
    if (FAILED(hr)) {
        SysFreeString(value);
        return -1;
    }
    if (out)
        *out = BstrToUtf8(value);
    SysFreeString(value);
    return 0;
}

// The user-information object for one query (an owned reference), or null on any failure.
IVantorUserInfo *AcquireUserInfo()
{
    UserComponentHost *host = Host();
    if (!host || !host->user)
        return nullptr;
    IVantorUserInfo *info = nullptr;
    if (FAILED(host->user->get_UserInfo(&info)) && info) {
        info->Release();
        info = nullptr;
    }
    return info;
}

typedef HRESULT (STDMETHODCALLTYPE IVantorUser::*UserStringGetter)(BSTR *);
typedef HRESULT (STDMETHODCALLTYPE IVantorUserInfo::*InfoStringGetter)(BSTR *);

int32_t GetUserString(UserStringGetter getter, std::string *out)
{
    UserComponentHost *host = Host();
    if (!host || !host->user)
        return -1;
    BSTR value = nullptr;
    HRESULT hr = (host->user->*getter)(&value);
    return StoreString(hr, value, out);
}

int32_t GetInfoString(InfoStringGetter getter, std::string *out)
{
    IVantorUserInfo *info = AcquireUserInfo();
    if (!info)
        return -1;
    BSTR value = nullptr;
    HRESULT hr = (info->*getter)(&value);
    info->Release();
    return StoreString(hr, value, out);
}

} // namespace

int32_t qmuser_init(const UserInitParams *params, const UserEventCallbacks *callbacks)
{
    if (!params)
        return -1;
    UserComponentHost *host = Host();
    if (!host) {
        host = new (std::nothrow) UserComponentHost;
        if (!host)
            return -1;
        g_userComponentHost.store(host);
    } else if (host->user || host->module) {
        // A repeated init starts over instead of leaking the earlier component objects.
        ReleaseComponent(host);
    }

    if (!LoadComponent(host))
        return -1;
    if (!CreateUserObject(host))
        return -1;
    if (FAILED(CQMUserEvents::CreateInstance(&host->sink)))
        return -1;
    if (!ConnectSink(host))
        return -1;

    BSTR version = Utf8ToBstr(params->version);
    HRESULT hr = host->user->Init(version, params->clientId);
    SysFreeString(version);
    if (FAILED(hr))
        return -1;

    if (callbacks)
        host->callbacks = *callbacks;
    return 0;
}

int32_t qmuser_uninit(void)
{
    UserComponentHost *host = Host();
    if (!host)
        return 0;
    ReleaseComponent(host);
    SysFreeString(host->modulePath);
    host->modulePath = nullptr;
    // Unpublish before deleting, so that nothing can reach a freed state.
    g_userComponentHost.store(nullptr);
    delete host;
    return 0;
}

int32_t qmuser_login(const std::string *userName, const std::string *password, int32_t option,
                     int32_t flag)
{
    UserComponentHost *host = Host();
    if (!host || !host->user || !userName || !password)
        return -1;
    BSTR name = Utf8ToBstr(*userName);
    BSTR secret = Utf8ToBstr(*password);
    HRESULT hr = host->user->Login(name, secret, option, VARIANT_BOOL(flag ? 1 : 0));
    SysFreeString(name);
    SysFreeString(secret);
    return SUCCEEDED(hr) ? 0 : -1;
}

int32_t qmuser_logout(uint64_t userId, int32_t value)
{
    UserComponentHost *host = Host();
    if (!host || !host->user)
        return -1;
    return SUCCEEDED(host->user->Logout(userId, value)) ? 0 : -1;
}

bool qmuser_islogin(void)
{
    UserComponentHost *host = Host();
    if (!host || !host->user)
        return false;
    VARIANT_BOOL isLogin = 0;
    HRESULT hr = host->user->get_IsLogin(&isLogin);
    // A failed call is no evidence of a sign-in, whatever it left in the out value.
    return SUCCEEDED(hr) && isLogin != 0;
}

int32_t qmuser_get_userid(uint64_t *userId)
{
    if (userId)
        *userId = 0;
    IVantorUserInfo *info = AcquireUserInfo();
    if (!info)
        return -1;
    ULONGLONG id = 0;
    HRESULT hr = info->get_UserId(&id);
    info->Release();
    if (FAILED(hr))
        return -1;
    if (userId)
        *userId = id;
    return 0;
}

int32_t qmuser_get_sessionid(std::string *out)
{
    return GetUserString(&IVantorUser::get_SessionId, out);
}

int32_t qmuser_get_jumpkey(std::string *out)
{
    return GetUserString(&IVantorUser::get_JumpKey, out);
}

int32_t qmuser_get_username(std::string *out)
{
    return GetInfoString(&IVantorUserInfo::get_UserName, out);
}

int32_t qmuser_get_nickname(std::string *out)
{
    return GetInfoString(&IVantorUserInfo::get_NickName, out);
}

int32_t qmuser_get_image_url(std::string *out)
{
    return GetInfoString(&IVantorUserInfo::get_ImageUrl, out);
}
