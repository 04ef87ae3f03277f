#include "usereventpoint.h"

UserEventPoint::UserEventPoint(IUnknown *owner, IConnectionPointContainer *container)
    : m_owner(owner), m_container(container)
{
}

UserEventPoint::~UserEventPoint()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    for (const Connection &c : m_connections)
        c.sink->Release();
    m_connections.clear();
}

HRESULT UserEventPoint::QueryInterface(REFIID riid, void **ppvObject)
{
    if (!ppvObject)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
        *ppvObject = static_cast<IConnectionPoint *>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG UserEventPoint::AddRef()
{
    return m_owner->AddRef();
}

ULONG UserEventPoint::Release()
{
    return m_owner->Release();
}

HRESULT UserEventPoint::GetConnectionInterface(IID *pIID)
{
    if (!pIID)
        return E_POINTER;
    *pIID = DIID__IVantorUserEvents;
    return S_OK;
}

HRESULT UserEventPoint::GetConnectionPointContainer(IConnectionPointContainer **ppCPC)
{
    if (!ppCPC)
        return E_POINTER;
    *ppCPC = m_container;
    m_container->AddRef();
    return S_OK;
}

HRESULT UserEventPoint::Advise(IUnknown *pUnkSink, DWORD *pdwCookie)
{
    if (!pUnkSink || !pdwCookie)
        return E_POINTER;
    *pdwCookie = 0;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    _IVantorUserEvents *sink = nullptr;
    if (FAILED(
            pUnkSink->QueryInterface(DIID__IVantorUserEvents, reinterpret_cast<void **>(&sink))) ||
        !sink)
        return CONNECT_E_CANNOTCONNECT;
    DWORD cookie = m_nextCookie++;
    if (m_nextCookie == 0)
        m_nextCookie = 1; // 0 is never a cookie
    m_connections.push_back(Connection{cookie, sink});
    *pdwCookie = cookie;
    return S_OK;
}

HRESULT UserEventPoint::Unadvise(DWORD dwCookie)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    for (auto it = m_connections.begin(); it != m_connections.end(); ++it) {
        if (it->cookie == dwCookie) {
            _IVantorUserEvents *sink = it->sink;
            m_connections.erase(it);
            sink->Release();
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

HRESULT UserEventPoint::EnumConnections(IEnumConnections **ppEnum)
{
    if (ppEnum)
        *ppEnum = nullptr;
    return E_NOTIMPL;
}

void UserEventPoint::Fire(int event, LONG value)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    // Hold each sink while calling out: an event handler may unadvise it.
    std::vector<_IVantorUserEvents *> sinks;
    for (const Connection &c : m_connections) {
        c.sink->AddRef();
        sinks.push_back(c.sink);
    }
    for (_IVantorUserEvents *sink : sinks) {
        switch (event) {
        case 1:
            sink->OnLoginFinish(value);
            break;
        case 2:
            sink->OnEvent2(value);
            break;
        case 3:
            sink->OnEvent3(value);
            break;
        case 4:
            sink->OnKickOut();
            break;
        case 5:
            sink->OnEvent5(value);
            break;
        case 6:
            sink->OnEvent6(value);
            break;
        case 7:
            sink->OnLoginOverTime();
            break;
        case 8:
            sink->OnEvent8();
            break;
        case 9:
            sink->OnEvent9();
            break;
        case 10:
            sink->OnEvent10();
            break;
        default:
            break;
        }
    }
    for (_IVantorUserEvents *sink : sinks)
        sink->Release();
}
