#ifndef USEREVENTPOINT_H
#define USEREVENTPOINT_H

#include "userhelper/qmuserscomponent.h"

#include <mutex>
#include <vector>

// The connection point for _IVantorUserEvents, a part of the user object: its reference
// count is the owner's. Events are fired from the account worker thread; one recursive lock
// serialises firing with Advise and Unadvise, so a sink is never touched by two threads at
// once (sinks may count references without atomics) and may be unadvised from inside an
// event.
class UserEventPoint : public IConnectionPoint
{
public:
    UserEventPoint(IUnknown *owner, IConnectionPointContainer *container);
    ~UserEventPoint();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID *pIID) override;
    HRESULT STDMETHODCALLTYPE
    GetConnectionPointContainer(IConnectionPointContainer **ppCPC) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown *pUnkSink, DWORD *pdwCookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections **ppEnum) override;

    // Calls event method number `event` (1 to 10) on every connected sink.
    void Fire(int event, LONG value);

private:
    struct Connection
    {
        DWORD cookie;
        _IVantorUserEvents *sink;
    };

    IUnknown *m_owner;
    IConnectionPointContainer *m_container;
    std::recursive_mutex m_lock;
    std::vector<Connection> m_connections;
    DWORD m_nextCookie = 1;
};

#endif // USEREVENTPOINT_H
