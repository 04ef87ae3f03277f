#include "stringconvert.h"

#include <cstring>
#include <vector>

BSTR Utf8ToBstr(const std::string &text)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (n <= 0)
        return SysAllocString(OLESTR(""));
    std::vector<WCHAR> buffer(size_t(n) + 1, 0);
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, buffer.data(), n);
    return SysAllocString(buffer.data());
}

std::string BstrToUtf8(BSTR text)
{
    if (!text)
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::vector<char> buffer(size_t(n), 0);
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer.data(), n, nullptr, nullptr) <= 0)
        return std::string();
    // n counts the terminator, which is no part of the text.
    return std::string(buffer.data(), std::strlen(buffer.data()));
}
