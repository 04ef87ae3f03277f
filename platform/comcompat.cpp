#include "platform/comcompat.h"

#ifndef _WIN32

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

const GUID GUID_NULL = {0x00000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 0}};
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IConnectionPointContainer = {
    0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IConnectionPoint = {
    0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

namespace {

const char16_t kSeparator = u'/';
const char32_t kReplacement = 0xFFFD;

size_t wideLength(const WCHAR *s)
{
    size_t n = 0;
    while (s[n])
        ++n;
    return n;
}

// Decodes UTF-8, handing each code point to emit. An ill-formed sequence gives one U+FFFD
// for its longest valid prefix, so that decoding never skips good bytes after bad ones.
template <class Emit> void decodeUtf8(const unsigned char *s, size_t n, Emit emit)
{
    size_t i = 0;
    while (i < n) {
        unsigned char b = s[i];
        if (b < 0x80) {
            emit(char32_t(b));
            ++i;
            continue;
        }
        int need = 0;
        char32_t cp = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            cp = b & 0x0F;
            if (b == 0xE0)
                lo = 0xA0;
            else if (b == 0xED)
                hi = 0x9F; // no encoded surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            cp = b & 0x07;
            if (b == 0xF0)
                lo = 0x90;
            else if (b == 0xF4)
                hi = 0x8F;
        } else {
            emit(kReplacement);
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < need; ++k, ++j) {
            unsigned char c = j < n ? s[j] : 0;
            unsigned char cl = k == 0 ? lo : 0x80, ch = k == 0 ? hi : 0xBF;
            if (j >= n || c < cl || c > ch) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        emit(ok ? cp : kReplacement);
        i = j;
    }
}

// Decodes UTF-16; an unpaired surrogate becomes U+FFFD.
template <class Emit> void decodeUtf16(const WCHAR *s, size_t n, Emit emit)
{
    for (size_t i = 0; i < n; ++i) {
        char32_t u = s[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            emit(0x10000 + ((u - 0xD800) << 10) + (char32_t(s[i + 1]) - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            emit(kReplacement);
        } else {
            emit(u);
        }
    }
}

std::string toUtf8(const WCHAR *s)
{
    std::string out;
    if (!s)
        return out;
    int n = WideCharToMultiByte(CP_UTF8, 0, s, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return out;
    out.resize(size_t(n));
    WideCharToMultiByte(CP_UTF8, 0, s, -1, &out[0], n, nullptr, nullptr);
    out.resize(size_t(n) - 1);
    return out;
}

// Copies text (UTF-8) into a caller's wide buffer with GetModuleFileNameW's truncation rule.
DWORD copyPath(const std::string &text, LPWSTR buffer, DWORD size)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (n <= 0)
        return 0;
    std::u16string wide(size_t(n), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], n);
    DWORD length = DWORD(n - 1);
    if (length + 1 > size) {
        std::memcpy(buffer, wide.data(), (size - 1) * sizeof(WCHAR));
        buffer[size - 1] = 0;
        return size;
    }
    std::memcpy(buffer, wide.data(), (length + 1) * sizeof(WCHAR));
    return length;
}

} // namespace

BSTR SysAllocStringLen(const OLECHAR *strIn, UINT ui)
{
    // The 32-bit byte count must hold the length.
    if (ui > (UINT32_MAX - sizeof(uint32_t) - sizeof(OLECHAR)) / sizeof(OLECHAR))
        return nullptr;
    size_t bytes = size_t(ui) * sizeof(OLECHAR);
    char *block = static_cast<char *>(std::malloc(sizeof(uint32_t) + bytes + sizeof(OLECHAR)));
    if (!block)
        return nullptr;
    uint32_t prefix = uint32_t(bytes);
    std::memcpy(block, &prefix, sizeof prefix);
    BSTR text = reinterpret_cast<BSTR>(block + sizeof(uint32_t));
    if (strIn)
        std::memcpy(text, strIn, bytes);
    else
        std::memset(text, 0, bytes);
    text[ui] = 0;
    return text;
}

BSTR SysAllocString(const OLECHAR *psz)
{
    if (!psz)
        return nullptr;
    size_t n = wideLength(psz);
    if (n > UINT32_MAX)
        return nullptr;
    return SysAllocStringLen(psz, UINT(n));
}

UINT SysStringByteLen(BSTR bstr)
{
    if (!bstr)
        return 0;
    uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<char *>(bstr) - sizeof(uint32_t), sizeof prefix);
    return prefix;
}

UINT SysStringLen(BSTR pbstr)
{
    return SysStringByteLen(pbstr) / sizeof(OLECHAR);
}

void SysFreeString(BSTR bstrString)
{
    if (bstrString)
        std::free(reinterpret_cast<char *>(bstrString) - sizeof(uint32_t));
}

HINSTANCE CoLoadLibrary(LPOLESTR lpszLibName, BOOL bAutoFree)
{
    if (!lpszLibName || !*lpszLibName)
        return nullptr;
    std::string path = toUtf8(lpszLibName);
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void CoFreeLibrary(HINSTANCE hInst)
{
    if (hInst)
        dlclose(hInst);
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    if (!hModule || !lpProcName)
        return nullptr;
    return reinterpret_cast<FARPROC>(dlsym(hModule, lpProcName));
}

DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize)
{
    if (!lpFilename || nSize == 0)
        return 0;
    std::string path;
    if (!hModule) {
        std::string buffer(4096, '\0');
        ssize_t n = readlink("/proc/self/exe", &buffer[0], buffer.size());
        if (n <= 0 || size_t(n) >= buffer.size())
            return 0;
        path.assign(buffer.data(), size_t(n));
    } else {
        struct link_map *map = nullptr;
        if (dlinfo(hModule, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name)
            return 0;
        path = map->l_name;
        if (path.empty())
            return GetModuleFileNameW(nullptr, lpFilename, nSize); // the main program
    }
    return copyPath(path, lpFilename, nSize);
}

BOOL PathIsRelativeW(LPCWSTR pszPath)
{
    return !pszPath || pszPath[0] != kSeparator;
}

BOOL PathRemoveFileSpecW(LPWSTR pszPath)
{
    if (!pszPath || !*pszPath)
        return FALSE;
    size_t n = wideLength(pszPath);
    size_t slash = n;
    for (size_t i = n; i-- > 0;) {
        if (pszPath[i] == kSeparator) {
            slash = i;
            break;
        }
    }
    size_t keep = slash == n ? 0 : (slash == 0 ? 1 : slash); // the root stays "/"
    if (keep >= n)
        return FALSE;
    pszPath[keep] = 0;
    return TRUE;
}

BOOL PathAppendW(LPWSTR pszPath, LPCWSTR pszMore)
{
    if (!pszPath || !pszMore)
        return FALSE;
    while (*pszMore == kSeparator)
        ++pszMore;
    size_t n = wideLength(pszPath);
    size_t more = wideLength(pszMore);
    bool separator = n > 0 && pszPath[n - 1] != kSeparator && more > 0;
    if (n + (separator ? 1 : 0) + more + 1 > MAX_PATH)
        return FALSE; // would not fit: leave the path untouched
    if (separator)
        pszPath[n++] = kSeparator;
    std::memcpy(pszPath + n, pszMore, (more + 1) * sizeof(WCHAR));
    return TRUE;
}

BOOL PathFileExistsW(LPCWSTR pszPath)
{
    if (!pszPath || !*pszPath)
        return FALSE;
    struct stat st;
    return stat(toUtf8(pszPath).c_str(), &st) == 0;
}

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar)
{
    if (CodePage != CP_UTF8 || !lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 ||
        cchWideChar < 0 || (cchWideChar > 0 && !lpWideCharStr))
        return 0;
    size_t n = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : size_t(cbMultiByte);
    const unsigned char *s = reinterpret_cast<const unsigned char *>(lpMultiByteStr);
    size_t count = 0;
    decodeUtf8(s, n, [&](char32_t cp) { count += cp >= 0x10000 ? 2 : 1; });
    if (count > size_t(INT32_MAX))
        return 0;
    if (cchWideChar == 0)
        return int(count);
    if (count > size_t(cchWideChar))
        return 0; // buffer too small
    size_t at = 0;
    decodeUtf8(s, n, [&](char32_t cp) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            lpWideCharStr[at++] = WCHAR(0xD800 + (cp >> 10));
            lpWideCharStr[at++] = WCHAR(0xDC00 + (cp & 0x3FF));
        } else {
            lpWideCharStr[at++] = WCHAR(cp);
        }
    });
    return int(count);
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        LPBOOL lpUsedDefaultChar)
{
    if (lpUsedDefaultChar)
        *lpUsedDefaultChar = FALSE;
    if (CodePage != CP_UTF8 || !lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 ||
        cbMultiByte < 0 || (cbMultiByte > 0 && !lpMultiByteStr))
        return 0;
    size_t n = cchWideChar == -1 ? wideLength(lpWideCharStr) + 1 : size_t(cchWideChar);
    auto width = [](char32_t cp) -> size_t {
        return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
    };
    size_t count = 0;
    decodeUtf16(lpWideCharStr, n, [&](char32_t cp) { count += width(cp); });
    if (count > size_t(INT32_MAX))
        return 0;
    if (cbMultiByte == 0)
        return int(count);
    if (count > size_t(cbMultiByte))
        return 0; // buffer too small
    unsigned char *out = reinterpret_cast<unsigned char *>(lpMultiByteStr);
    size_t at = 0;
    decodeUtf16(lpWideCharStr, n, [&](char32_t cp) {
        switch (width(cp)) {
        case 1:
            out[at++] = static_cast<unsigned char>(cp);
            break;
        case 2:
            out[at++] = static_cast<unsigned char>(0xC0 | (cp >> 6));
            out[at++] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            break;
        case 3:
            out[at++] = static_cast<unsigned char>(0xE0 | (cp >> 12));
            out[at++] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            out[at++] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            break;
        default:
            out[at++] = static_cast<unsigned char>(0xF0 | (cp >> 18));
            out[at++] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
            out[at++] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            out[at++] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            break;
        }
    });
    return int(count);
}

#endif // _WIN32
