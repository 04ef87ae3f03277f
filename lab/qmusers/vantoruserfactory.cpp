#include "vantoruserfactory.h"

#include "componentmodule.h"
#include "vantoruser.h"

VantorUserFactory::VantorUserFactory()
{
    ComponentModule::Lock();
}

VantorUserFactory::~VantorUserFactory()
{
    ComponentModule::Unlock();
}

HRESULT VantorUserFactory::QueryInterface(REFIID riid, void **ppvObject)
{
    if (!ppvObject)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppvObject = static_cast<IClassFactory *>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG VantorUserFactory::AddRef()
{
    return ++m_ref;
}

ULONG VantorUserFactory::Release()
{
    ULONG count = --m_ref;
    if (count == 0)
        delete this;
    return count;
}

HRESULT VantorUserFactory::CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppvObject)
{
    if (!ppvObject)
        return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter)
        return CLASS_E_NOAGGREGATION;
    return VantorUser::Create(riid, ppvObject);
}

HRESULT VantorUserFactory::LockServer(BOOL fLock)
{
    if (fLock)
        ComponentModule::Lock();
    else
        ComponentModule::Unlock();
    return S_OK;
}
