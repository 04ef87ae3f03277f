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
    HRESULT STDMETHODCALLTYPE get_NickName(BSTR *name) override;
    HRESULT STDMETHODCALLTYPE get_ImageUrl(BSTR *url) override;

private:
    virtual ~VantorUserInfo();

    std::atomic<ULONG> m_ref{1};
    AccountSession::Identity m_identity;
};

#endif // VANTORUSERINFO_H
