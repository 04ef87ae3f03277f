#include "vantoruserinfo.h"

#include "componentmodule.h"
#include "userhelper/stringconvert.h"

namespace {

HRESULT copyOut(const std::string &text, BSTR *out)
{
    if (!out)
        return E_POINTER;
    *out = Utf8ToBstr(text);
    return *out ? S_OK : E_OUTOFMEMORY;
}

} // namespace

VantorUserInfo::VantorUserInfo(const AccountSession::Identity &identity) : m_identity(identity)
{
    ComponentModule::Lock();
}

VantorUserInfo::~VantorUserInfo()
{
    ComponentModule::Unlock();
}

HRESULT VantorUserInfo::QueryInterface(REFIID riid, void **ppvObject)
{
    if (!ppvObject)
        return E_POINTER;
    // The user-information object has no IID of its own that callers ask for.
    if (IsEqualIID(riid, IID_IUnknown)) {
        *ppvObject = static_cast<IVantorUserInfo *>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG VantorUserInfo::AddRef()
{
    return ++m_ref;
}

ULONG VantorUserInfo::Release()
{
    ULONG count = --m_ref;
    if (count == 0)
        delete this;
    return count;
}

HRESULT VantorUserInfo::get_UserId(ULONGLONG *userId)
{
    if (!userId)
        return E_POINTER;
    *userId = m_identity.userId;
    return S_OK;
}

HRESULT VantorUserInfo::get_UserName(BSTR *name)
{
    return copyOut(m_identity.userName, name);
}

HRESULT VantorUserInfo::get_NickName(BSTR *name)
{
    return copyOut(m_identity.nickName, name);
}

HRESULT VantorUserInfo::get_ImageUrl(BSTR *url)
{
    return copyOut(m_identity.imageUrl, url);
}
