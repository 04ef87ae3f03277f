#include "vantoruser.h"

#include "componentmodule.h"
#include "userhelper/stringconvert.h"
#include "vantoruserinfo.h"

#include <cstdlib>
#include <new>

namespace {

const char kDefaultAccountService[] = "http://127.0.0.1:18080";

std::string accountServiceUrl()
{
    const char *url = std::getenv("KELVORA_ACCOUNT_SERVICE");
    return url && *url ? url : kDefaultAccountService;
}

} // namespace

VantorUser::VantorUser()
    : m_events(static_cast<IVantorUser *>(this), this),
      m_session([this](int event, int32_t value) { fire(event, value); })
{
    ComponentModule::Lock();
}

VantorUser::~VantorUser()
{
    m_session.Stop();
    ComponentModule::Unlock();
}

HRESULT VantorUser::Create(REFIID riid, void **ppvObject)
{
    if (!ppvObject)
        return E_POINTER;
    *ppvObject = nullptr;
    VantorUser *user = new (std::nothrow) VantorUser;
    if (!user)
        return E_OUTOFMEMORY;
    HRESULT hr = user->QueryInterface(riid, ppvObject);
    user->Release();
    return hr;
}

HRESULT VantorUser::QueryInterface(REFIID riid, void **ppvObject)
{
    if (!ppvObject)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IVantorUser))
        *ppvObject = static_cast<IVantorUser *>(this);
    else if (IsEqualIID(riid, IID_IConnectionPointContainer))
        *ppvObject = static_cast<IConnectionPointContainer *>(this);
    else {
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG VantorUser::AddRef()
{
    return ++m_ref;
}

ULONG VantorUser::Release()
{
    ULONG count = --m_ref;
    if (count == 0)
        delete this;
    return count;
}

HRESULT VantorUser::Init(BSTR version, LONG clientId)
{
    m_session.Start(accountServiceUrl(), BstrToUtf8(version), clientId);
    return S_OK;
}

HRESULT VantorUser::Login(BSTR userName, BSTR password, LONG option, VARIANT_BOOL flag)
{
    if (!m_session.Started())
        return E_UNEXPECTED;
    m_session.Login(BstrToUtf8(userName), BstrToUtf8(password));
    return S_OK;
}

HRESULT VantorUser::Logout(ULONGLONG userId, LONG value)
{
    if (!m_session.Started())
        return E_UNEXPECTED;
    m_session.Logout();
    return S_OK;
}

HRESULT VantorUser::get_UserInfo(IVantorUserInfo **info)
{
    if (!info)
        return E_POINTER;
    *info = new (std::nothrow) VantorUserInfo(m_session.Current());
    return *info ? S_OK : E_OUTOFMEMORY;
}

HRESULT VantorUser::get_SessionId(BSTR *sessionId)
{
    if (!sessionId)
        return E_POINTER;
    *sessionId = Utf8ToBstr(m_session.Current().sessionId);
    return *sessionId ? S_OK : E_OUTOFMEMORY;
}

HRESULT VantorUser::get_IsLogin(VARIANT_BOOL *isLogin)
{
    if (!isLogin)
        return E_POINTER;
    *isLogin = m_session.IsSignedIn() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT VantorUser::Uninit()
{
    m_session.Stop();
    return S_OK;
}

HRESULT VantorUser::get_JumpKey(BSTR *jumpKey)
{
    if (!jumpKey)
        return E_POINTER;
    *jumpKey = Utf8ToBstr(m_session.Current().jumpKey);
    return *jumpKey ? S_OK : E_OUTOFMEMORY;
}

HRESULT VantorUser::EnumConnectionPoints(IEnumConnectionPoints **ppEnum)
{
    if (ppEnum)
        *ppEnum = nullptr;
    return E_NOTIMPL;
}

HRESULT VantorUser::FindConnectionPoint(REFIID riid, IConnectionPoint **ppCP)
{
    if (!ppCP)
        return E_POINTER;
    if (!IsEqualIID(riid, DIID__IVantorUserEvents)) {
        *ppCP = nullptr;
        return CONNECT_E_NOCONNECTION;
    }
    *ppCP = &m_events;
    m_events.AddRef();
    return S_OK;
}

void VantorUser::fire(int event, int32_t value)
{
    // An event handler may drop the last outside reference; stay alive until firing ends.
    AddRef();
    m_events.Fire(event, value);
    Release();
}
