#ifndef VANTORUSERFACTORY_H
#define VANTORUSERFACTORY_H

#include "userhelper/qmuserscomponent.h"

#include <atomic>

// Class factory of the user class.
class VantorUserFactory : public IClassFactory
{
public:
    VantorUserFactory();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *pUnkOuter, REFIID riid,
                                             void **ppvObject) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

private:
    virtual ~VantorUserFactory();

    std::atomic<ULONG> m_ref{1};
};

#endif // VANTORUSERFACTORY_H
