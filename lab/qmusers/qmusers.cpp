// Entry points of the account component.
#include "componentmodule.h"
#include "userhelper/qmuserscomponent.h"
#include "vantoruserfactory.h"

#include <new>

#ifdef _WIN32
#define QMUSERS_EXPORT
#else
#define QMUSERS_EXPORT __attribute__((visibility("default")))
#endif

extern "C" QMUSERS_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid,
                                                                   LPVOID *ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_VantorUser))
        return CLASS_E_CLASSNOTAVAILABLE;
    VantorUserFactory *factory = new (std::nothrow) VantorUserFactory;
    if (!factory)
        return E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

extern "C" QMUSERS_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return ComponentModule::CanUnload() ? S_OK : S_FALSE;
}
