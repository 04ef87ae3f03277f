#ifndef CQMUSEREVENTS_H
#define CQMUSEREVENTS_H

#include "qmuserscomponent.h"

// The library's event sink, connected to the component's connection point. Built like an
// ATL CComObject over the single-threaded model: a plain reference count that starts at 0,
// the only reference being the one the connection point takes in Advise. Every event method
// returns E_NOTIMPL to the component, whether it forwards the event or not.
class CQMUserEvents : public _IVantorUserEvents
{
public:
    static HRESULT CreateInstance(CQMUserEvents **object);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE OnLoginFinish(LONG code) override;
    HRESULT STDMETHODCALLTYPE OnEvent2(LONG value) override;
    HRESULT STDMETHODCALLTYPE OnEvent3(LONG value) override;
    HRESULT STDMETHODCALLTYPE OnKickOut() override;
    HRESULT STDMETHODCALLTYPE OnEvent5(LONG value) override;
    HRESULT STDMETHODCALLTYPE OnEvent6(LONG value) override;
    HRESULT STDMETHODCALLTYPE OnLoginOverTime() override;
    HRESULT STDMETHODCALLTYPE OnEvent8() override;
    HRESULT STDMETHODCALLTYPE OnEvent9() override;
    HRESULT STDMETHODCALLTYPE OnEvent10() override;

    // Comes after the event methods in the vtable, as the deleting destructor does in ATL.
    virtual ~CQMUserEvents() = default;

private:
    CQMUserEvents() = default;
    CQMUserEvents(const CQMUserEvents &) = delete;
    CQMUserEvents &operator=(const CQMUserEvents &) = delete;

    ULONG m_dwRef = 0;
};

#endif // CQMUSEREVENTS_H
