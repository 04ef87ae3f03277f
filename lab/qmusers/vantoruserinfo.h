#ifndef VANTORUSERINFO_H
#define VANTORUSERINFO_H

#include "accountsession.h"
#include "userhelper/qmuserscomponent.h"

#include <atomic>

// A snapshot of the signed-in identity, handed out by the user object (empty when nobody is
// signed in).
class VantorUserInfo : public IVantorUserInfo
{
public:
    explicit VantorUserInfo(const AccountSession::Identity &identity);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE get_UserId(ULONGLONG *userId) override;
    HRESULT STDMETHODCALLTYPE get_UserName(BSTR *name) override;
    HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_NickName(BSTR *name) override;
    HRESULT STDMETHODCALLTYPE Reserved8() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved9() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved10() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved11() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved12() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved13() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved14() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved15() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved16() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved17() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved18() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reserved19() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ImageUrl(BSTR *url) override;

private:
    virtual ~VantorUserInfo();

    std::atomic<ULONG> m_ref{1};
    AccountSession::Identity m_identity;
};

#endif // VANTORUSERINFO_H
