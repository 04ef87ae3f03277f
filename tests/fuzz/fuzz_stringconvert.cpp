#include "fuzzers.h"

#include "userhelper/stringconvert.h"

#include <QTextCodec>

#include <string>
#include <vector>

namespace {

// QString::fromUtf8 would drop a leading byte-order mark, which is valid text all the same.
bool isValidUtf8(const std::string &text)
{
    QTextCodec::ConverterState state(QTextCodec::IgnoreHeader);
    QTextCodec::codecForMib(106)->toUnicode(text.data(), int(text.size()), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

std::string beforeZero(const std::string &text)
{
    return text.substr(0, text.find('\0'));
}

} // namespace

// Strings cross to and from the account component: the user's name and password one way, the
// names, keys and addresses the component reports the other. Any bytes and any UTF-16 (lone
// surrogates too) convert without reading or writing past a buffer; valid text round-trips.
void fuzzStringConvert(const QByteArray &input)
{
    const std::string text = input.toStdString();
    BSTR wide = Utf8ToBstr(text);
    FUZZ_CHECK(wide);
    const std::string back = BstrToUtf8(wide);
    FUZZ_CHECK(isValidUtf8(back));
    if (isValidUtf8(beforeZero(text)))
        FUZZ_CHECK(back == beforeZero(text));
    SysFreeString(wide);

    // The same bytes as UTF-16 code units in a BSTR of exactly that length.
    const UINT units = UINT(input.size() / 2);
    std::vector<OLECHAR> raw(units + 1);
    memcpy(raw.data(), input.constData(), units * sizeof(OLECHAR));
    BSTR bstr = SysAllocStringLen(raw.data(), units);
    FUZZ_CHECK(bstr && SysStringLen(bstr) == units && bstr[units] == 0);
    const std::string utf8 = BstrToUtf8(bstr);
    FUZZ_CHECK(isValidUtf8(utf8));
    const QString asQt = QString(reinterpret_cast<const QChar *>(bstr)); // up to the first zero
    if (asQt.isValidUtf16() || asQt.isEmpty())
        FUZZ_CHECK(utf8 == asQt.toStdString());

    // Explicit lengths and buffers one unit too small: counted, refused, nothing written past.
    const int needed =
        WideCharToMultiByte(CP_UTF8, 0, bstr, int(units), nullptr, 0, nullptr, nullptr);
    if (units > 0) {
        FUZZ_CHECK(needed >= int(units));
        std::vector<char> small(size_t(needed) - 1);
        if (!small.empty())
            FUZZ_CHECK(WideCharToMultiByte(CP_UTF8, 0, bstr, int(units), small.data(),
                                           int(small.size()), nullptr, nullptr) == 0);
        std::vector<char> exact(static_cast<size_t>(needed));
        FUZZ_CHECK(WideCharToMultiByte(CP_UTF8, 0, bstr, int(units), exact.data(), needed, nullptr,
                                       nullptr) == needed);
    }
    SysFreeString(bstr);
    if (!input.isEmpty()) {
        const int count =
            MultiByteToWideChar(CP_UTF8, 0, input.constData(), input.size(), nullptr, 0);
        FUZZ_CHECK(count > 0 && count <= input.size());
        std::vector<WCHAR> small(size_t(count) - 1);
        if (!small.empty())
            FUZZ_CHECK(MultiByteToWideChar(CP_UTF8, 0, input.constData(), input.size(),
                                           small.data(), int(small.size())) == 0);
        std::vector<WCHAR> exact(static_cast<size_t>(count));
        FUZZ_CHECK(MultiByteToWideChar(CP_UTF8, 0, input.constData(), input.size(), exact.data(),
                                       count) == count);
    }
}

KELVORA_FUZZ_TARGET(fuzzStringConvert)
