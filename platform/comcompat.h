// The COM/Win32 subset used by the user helper library and the account component. On
// Windows this is the real API; elsewhere a small stand-in with the same names, the same
// vtable order for the interfaces and the same BSTR layout, so that the code above it reads
// the same on both.
#ifndef COMCOMPAT_H
#define COMCOMPAT_H

#ifdef _WIN32

#include <objbase.h>
#include <ocidl.h>
#include <oleauto.h>
#include <shlwapi.h>
#include <windows.h>

#else

#include <cstddef>
#include <cstdint>
#include <cstring>

typedef int32_t HRESULT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef int32_t BOOL;
typedef BOOL *LPBOOL;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef char16_t WCHAR;
typedef WCHAR OLECHAR;
typedef WCHAR *LPWSTR;
typedef const WCHAR *LPCWSTR;
typedef OLECHAR *LPOLESTR;
typedef const OLECHAR *LPCOLESTR;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef void *LPVOID;
// Length-prefixed UTF-16: a 32-bit byte count precedes the first character, and a zero
// character follows the last one.
typedef OLECHAR *BSTR;
typedef int16_t VARIANT_BOOL;
typedef void *HMODULE;
typedef HMODULE HINSTANCE;
// Returns nothing, so that casts to the real entry types stay warning-free.
typedef void (*FARPROC)();

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

#define STDMETHODCALLTYPE
#define STDAPICALLTYPE
#define WINAPI
#define STDAPI extern "C" HRESULT STDAPICALLTYPE

#define OLESTR(str) u##str

#define MAX_PATH 260
#define CP_UTF8 65001

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001)
#define E_NOINTERFACE ((HRESULT)0x80004002)
#define E_POINTER ((HRESULT)0x80004003)
#define E_ABORT ((HRESULT)0x80004004)
#define E_FAIL ((HRESULT)0x80004005)
#define E_UNEXPECTED ((HRESULT)0x8000FFFF)
#define E_OUTOFMEMORY ((HRESULT)0x8007000E)
#define E_INVALIDARG ((HRESULT)0x80070057)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110)
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111)
#define CONNECT_E_NOCONNECTION ((HRESULT)0x80040200)
#define CONNECT_E_ADVISELIMIT ((HRESULT)0x80040201)
#define CONNECT_E_CANNOTCONNECT ((HRESULT)0x80040202)

#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

struct GUID
{
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID &REFGUID;
typedef const IID &REFIID;
typedef const CLSID &REFCLSID;

inline bool IsEqualGUID(REFGUID a, REFGUID b)
{
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool IsEqualIID(REFIID a, REFIID b)
{
    return IsEqualGUID(a, b);
}
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b)
{
    return IsEqualGUID(a, b);
}
inline bool operator==(REFGUID a, REFGUID b)
{
    return IsEqualGUID(a, b);
}
inline bool operator!=(REFGUID a, REFGUID b)
{
    return !IsEqualGUID(a, b);
}

extern const GUID GUID_NULL;
extern const IID IID_IUnknown;
extern const IID IID_IClassFactory;
extern const IID IID_IConnectionPointContainer;
extern const IID IID_IConnectionPoint;

// Interfaces: pure virtual classes without a virtual destructor, so that the vtable holds
// exactly the methods in declaration order, as COM lays them out.
struct IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

struct IClassFactory : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *pUnkOuter, REFIID riid,
                                                     void **ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

struct IConnectionPointContainer;
struct IEnumConnections;      // not used: EnumConnections may answer E_NOTIMPL
struct IEnumConnectionPoints; // likewise for EnumConnectionPoints

struct IConnectionPoint : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID *pIID) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    GetConnectionPointContainer(IConnectionPointContainer **ppCPC) = 0;
    virtual HRESULT STDMETHODCALLTYPE Advise(IUnknown *pUnkSink, DWORD *pdwCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections **ppEnum) = 0;
};

struct IConnectionPointContainer : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints **ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint **ppCP) = 0;
};

// BSTR
BSTR SysAllocString(const OLECHAR *psz);
BSTR SysAllocStringLen(const OLECHAR *strIn, UINT ui);
UINT SysStringLen(BSTR pbstr);
UINT SysStringByteLen(BSTR bstr);
void SysFreeString(BSTR bstrString);

// Modules: dlopen/dlsym/dlclose underneath.
HINSTANCE CoLoadLibrary(LPOLESTR lpszLibName, BOOL bAutoFree);
void CoFreeLibrary(HINSTANCE hInst);
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
// A null module gives the executable of the current process (/proc/self/exe). Truncates to
// nSize - 1 characters and then gives nSize, as Windows does.
DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);

// Paths, '/' as the separator; buffers hold MAX_PATH characters.
BOOL PathIsRelativeW(LPCWSTR pszPath);
BOOL PathRemoveFileSpecW(LPWSTR pszPath);
BOOL PathAppendW(LPWSTR pszPath, LPCWSTR pszMore);
BOOL PathFileExistsW(LPCWSTR pszPath);

// Code page 65001 only; any other gives 0. Ill-formed input becomes U+FFFD.
int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar);
int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        LPBOOL lpUsedDefaultChar);

#endif // _WIN32

#endif // COMCOMPAT_H
