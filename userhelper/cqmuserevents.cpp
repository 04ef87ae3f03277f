#include "cqmuserevents.h"

#include "usercomponenthost.h"

#include <new>

namespace {

// Copies the table before calling, so that a callback that shuts the library down does not
// pull the state from under the caller.
UserEventCallbacks currentCallbacks()
{
    UserComponentHost *host = g_userComponentHost.load();
    return host ? host->callbacks : UserEventCallbacks{};
}

// Forwards an event without argument to its callback, if set.
HRESULT Notify(void (*UserEventCallbacks::*callback)(void *))
{
    const UserEventCallbacks callbacks = currentCallbacks();
    if (callbacks.*callback)
        (callbacks.*callback)(callbacks.context);
    return E_NOTIMPL;
}

} // namespace

HRESULT CQMUserEvents::CreateInstance(CQMUserEvents **object)
{
    if (!object)
        return E_POINTER;
    *object = new (std::nothrow) CQMUserEvents;
    return *object ? S_OK : E_OUTOFMEMORY;
}

HRESULT CQMUserEvents::QueryInterface(REFIID riid, void **ppvObject)
{
    if (!ppvObject)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, DIID__IVantorUserEvents)) {
        *ppvObject = static_cast<_IVantorUserEvents *>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG CQMUserEvents::AddRef()
{
    return ++m_dwRef;
}

ULONG CQMUserEvents::Release()
{
    ULONG count = --m_dwRef;
    if (count == 0)
        delete this;
    return count;
}

HRESULT CQMUserEvents::OnLoginFinish(LONG code)
{
    UserEventCallbacks callbacks = currentCallbacks();
    if (callbacks.onLoginFinish)
        callbacks.onLoginFinish(code, callbacks.context);
    return E_NOTIMPL;
}

HRESULT CQMUserEvents::OnEvent2(LONG)
{
    return E_NOTIMPL;
}

HRESULT CQMUserEvents::OnEvent3(LONG)
{
    return E_NOTIMPL;
}

HRESULT CQMUserEvents::OnKickOut()
{
    return Notify(&UserEventCallbacks::onKickOut);
}

HRESULT CQMUserEvents::OnEvent5(LONG)
{
    return E_NOTIMPL;
}

HRESULT CQMUserEvents::OnEvent6(LONG)
{
    return E_NOTIMPL;
}

HRESULT CQMUserEvents::OnLoginOverTime()
{
    return Notify(&UserEventCallbacks::onLoginOverTime);
}

HRESULT CQMUserEvents::OnEvent8()
{
    return Notify(&UserEventCallbacks::onEvent8);
}

HRESULT CQMUserEvents::OnEvent9()
{
    return E_NOTIMPL;
}

HRESULT CQMUserEvents::OnEvent10()
{
    return E_NOTIMPL;
}
