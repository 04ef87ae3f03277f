#ifndef VANTORUSER_H
#define VANTORUSER_H

#include "accountsession.h"
#include "usereventpoint.h"
#include "userhelper/qmuserscomponent.h"

#include <atomic>

// The user class: sign-in, sign-out and identity queries over an AccountSession, with the
// event connection point as part of the object.
class VantorUser : public IVantorUser, public IConnectionPointContainer
{
public:
    static HRESULT Create(REFIID riid, void **ppvObject);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE Init(BSTR version, LONG clientId) override;
    HRESULT STDMETHODCALLTYPE Login(BSTR userName, BSTR password, LONG option,
                                    VARIANT_BOOL flag) override;
    HRESULT STDMETHODCALLTYPE Logout(ULONGLONG userId, LONG value) override;
    HRESULT STDMETHODCALLTYPE get_UserInfo(IVantorUserInfo **info) override;
    HRESULT STDMETHODCALLTYPE get_SessionId(BSTR *sessionId) override;
    HRESULT STDMETHODCALLTYPE get_IsLogin(VARIANT_BOOL *isLogin) override;
    HRESULT STDMETHODCALLTYPE Uninit() override;
    HRESULT STDMETHODCALLTYPE get_JumpKey(BSTR *jumpKey) override;

    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints **ppEnum) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint **ppCP) override;

private:
    VantorUser();
    virtual ~VantorUser();
    void fire(int event, int32_t value);

    std::atomic<ULONG> m_ref{1};
    UserEventPoint m_events;
    AccountSession m_session;
};

#endif // VANTORUSER_H
