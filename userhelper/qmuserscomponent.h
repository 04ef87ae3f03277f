// Identifiers and interfaces of the account component QMUserS, as the helper library calls
// them and as the lab's stand-in implements them. Slots that nobody calls are kept as
// placeholders (answering E_NOTIMPL) so that every method sits at its fixed vtable index.
#ifndef QMUSERSCOMPONENT_H
#define QMUSERSCOMPONENT_H

#include "platform/comcompat.h"

// {ADCA70A2-431F-4A76-AF60-6FDA0E5D34B5}
inline constexpr CLSID CLSID_VantorUser = {
    0xADCA70A2, 0x431F, 0x4A76, {0xAF, 0x60, 0x6F, 0xDA, 0x0E, 0x5D, 0x34, 0xB5}};
// {3F15F4F2-197F-4B47-BD28-5641246BC6D7}
inline constexpr IID IID_IVantorUser = {
    0x3F15F4F2, 0x197F, 0x4B47, {0xBD, 0x28, 0x56, 0x41, 0x24, 0x6B, 0xC6, 0xD7}};
// {86BE7E89-4245-4881-BB33-1564CF93A3EB}
inline constexpr IID DIID__IVantorUserEvents = {
    0x86BE7E89, 0x4245, 0x4881, {0xBB, 0x33, 0x15, 0x64, 0xCF, 0x93, 0xA3, 0xEB}};

typedef HRESULT(STDAPICALLTYPE *DllGetClassObjectFunc)(REFCLSID rclsid, REFIID riid, LPVOID *ppv);
typedef HRESULT(STDAPICALLTYPE *DllCanUnloadNowFunc)();

// User-information object, as handed out by IVantorUser::get_UserInfo.
struct IVantorUserInfo : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE get_UserId(ULONGLONG *userId) = 0; // 3
    virtual HRESULT STDMETHODCALLTYPE get_UserName(BSTR *name) = 0;      // 4
    virtual HRESULT STDMETHODCALLTYPE Reserved5() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE Reserved6() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE get_NickName(BSTR *name) = 0; // 7
    virtual HRESULT STDMETHODCALLTYPE Reserved8() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE Reserved9() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE Reserved10() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE Reserved11() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE Reserved12() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE Reserved13() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE Reserved14() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE Reserved15() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE Reserved16() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE Reserved17() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE Reserved18() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE Reserved19() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE get_ImageUrl(BSTR *url) = 0; // 20
};

// The user class's interface.
struct IVantorUser : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Init(BSTR version, LONG clientId) = 0; // 3
    virtual HRESULT STDMETHODCALLTYPE Login(BSTR userName, BSTR password, LONG option,
                                            VARIANT_BOOL flag) = 0; // 4
    virtual HRESULT STDMETHODCALLTYPE Reserved5() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE Logout(ULONGLONG userId, LONG value) = 0; // 6
    virtual HRESULT STDMETHODCALLTYPE Reserved7() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE get_UserInfo(IVantorUserInfo **info) = 0; // 8
    virtual HRESULT STDMETHODCALLTYPE Reserved9() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE get_SessionId(BSTR *sessionId) = 0; // 10
    virtual HRESULT STDMETHODCALLTYPE Reserved11() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE get_IsLogin(VARIANT_BOOL *isLogin) = 0; // 12
    virtual HRESULT STDMETHODCALLTYPE Reserved13() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE Reserved14() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE Reserved15() { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE Uninit() = 0;                   // 16
    virtual HRESULT STDMETHODCALLTYPE get_JumpKey(BSTR *jumpKey) = 0; // 17
};

// Events the component fires through its connection point, in slot order after IUnknown.
struct _IVantorUserEvents : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE OnLoginFinish(LONG code) = 0; // 1: sign-in result
    virtual HRESULT STDMETHODCALLTYPE OnEvent2(LONG value) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnEvent3(LONG value) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnKickOut() = 0; // 4: session taken over elsewhere
    virtual HRESULT STDMETHODCALLTYPE OnEvent5(LONG value) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnEvent6(LONG value) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnLoginOverTime() = 0; // 7: sign-in timed out
    virtual HRESULT STDMETHODCALLTYPE OnEvent8() = 0;
    virtual HRESULT STDMETHODCALLTYPE OnEvent9() = 0;
    virtual HRESULT STDMETHODCALLTYPE OnEvent10() = 0;
};

#endif // QMUSERSCOMPONENT_H
