// The COM shim, the library's string conversions and the component's JSON reader.
#include "lab/qmusers/flatjson.h"
#include "platform/comcompat.h"
#include "userhelper/stringconvert.h"

#include <QCoreApplication>
#include <QtTest>

#include <cstring>
#include <string>

class TestComCompat : public QObject
{
    Q_OBJECT

private slots:
    void bstrEmbeddedZeroAndNull();
    void ill_formedUtf8BecomesReplacement();
    void tooSmallBuffersFail();
    void bstrToUtf8EdgeCases();
    void pathAppendRefusesOverflow();
    void moduleFileNameTruncates();
    void flatJson();
};

namespace {
std::u16string wide(const char *utf8)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::u16string out(size_t(n), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &out[0], n);
    out.resize(size_t(n) - 1);
    return out;
}
} // namespace

void TestComCompat::bstrEmbeddedZeroAndNull()
{
    const char16_t data[] = {u'a', 0, u'b'};
    BSTR text = SysAllocStringLen(data, 3);
    QCOMPARE(SysStringLen(text), UINT(3));
    QCOMPARE(text[2], u'b');
    QCOMPARE(text[3], char16_t(0));
    SysFreeString(text);
    BSTR blank = SysAllocStringLen(nullptr, 4);
    QVERIFY(blank);
    for (int i = 0; i <= 4; ++i)
        QCOMPARE(blank[i], char16_t(0));
    SysFreeString(blank);
    QVERIFY(!SysAllocString(nullptr));
    QCOMPARE(SysStringLen(nullptr), UINT(0));
    SysFreeString(nullptr);
    QVERIFY(!SysAllocStringLen(nullptr, 0xFFFFFFF0u)); // byte count would overflow
}

void TestComCompat::ill_formedUtf8BecomesReplacement()
{
    QCOMPARE(wide("a\xff"
                  "b"),
             std::u16string(u"a\uFFFDb"));
    QCOMPARE(wide("\xe4\xb8"
                  "x"),
             std::u16string(u"\uFFFDx"));                                  // truncated sequence
    QCOMPARE(wide("\xc0\xaf"), std::u16string(u"\uFFFD\uFFFD"));           // overlong
    QCOMPARE(wide("\xed\xa0\x80"), std::u16string(u"\uFFFD\uFFFD\uFFFD")); // encoded surrogate
    QCOMPARE(wide("\xf4\x90\x80\x80"), std::u16string(u"\uFFFD\uFFFD\uFFFD\uFFFD"));
    QCOMPARE(wide("\xe4\xb8"), std::u16string(u"\uFFFD")); // cut at the end
}

void TestComCompat::tooSmallBuffersFail()
{
    WCHAR wideBuffer[2];
    QCOMPARE(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, wideBuffer, 2), 0);
    char narrowBuffer[3];
    QCOMPARE(WideCharToMultiByte(CP_UTF8, 0, u"中", -1, narrowBuffer, 3, nullptr, nullptr), 0);
    QCOMPARE(MultiByteToWideChar(CP_UTF8, 0, nullptr, -1, nullptr, 0), 0);
    QCOMPARE(WideCharToMultiByte(CP_UTF8, 0, nullptr, -1, nullptr, 0, nullptr, nullptr), 0);
}

void TestComCompat::bstrToUtf8EdgeCases()
{
    QCOMPARE(BstrToUtf8(nullptr), std::string());
    BSTR empty = SysAllocString(u"");
    QCOMPARE(BstrToUtf8(empty), std::string());
    SysFreeString(empty);
    // Converted up to the first zero character.
    const char16_t data[] = {u'a', u'b', 0, u'c'};
    BSTR zero = SysAllocStringLen(data, 4);
    std::string out = BstrToUtf8(zero);
    QCOMPARE(out, std::string("ab"));
    QCOMPARE(out.size(), size_t(2));
    SysFreeString(zero);
    // Text cut at an interior NUL when it goes the other way too.
    BSTR cut = Utf8ToBstr(std::string("pw\0rest", 7));
    QCOMPARE(SysStringLen(cut), UINT(2));
    SysFreeString(cut);
}

void TestComCompat::pathAppendRefusesOverflow()
{
    WCHAR path[MAX_PATH];
    std::u16string longDir = u"/" + std::u16string(MAX_PATH - 10, u'd');
    std::memcpy(path, longDir.c_str(), (longDir.size() + 1) * sizeof(WCHAR));
    QVERIFY(!PathAppendW(path, u"libQMUserS.so"));
    QCOMPARE(std::u16string(path), longDir); // left as it was
    QVERIFY(PathAppendW(path, u"ab"));       // 251 + 1 + 2 + 1 fits in 260
}

void TestComCompat::moduleFileNameTruncates()
{
    WCHAR path[4] = {u'x', u'x', u'x', u'x'};
    QCOMPARE(GetModuleFileNameW(nullptr, path, 4), DWORD(4));
    QCOMPARE(path[3], char16_t(0));
    QCOMPARE(path[0], u'/');
    QCOMPARE(GetModuleFileNameW(nullptr, path, 0), DWORD(0));
}

void TestComCompat::flatJson()
{
    std::map<std::string, std::string> f;
    QVERIFY(FlatJson::Parse(R"({"code":0,"sessionid":"ab12","userid":"18446744073709551615",)"
                            R"("nickname":"\u6f14\u793a","raw":"演示","nested":{"a":[1,{"b":2}]},)"
                            R"("flag":true,"none":null,"esc":"a\"b\\c\/\n","pair":"\ud83d\ude00"})",
                            &f));
    QCOMPARE(f["code"], std::string("0"));
    QCOMPARE(f["sessionid"], std::string("ab12"));
    QCOMPARE(f["userid"], std::string("18446744073709551615"));
    QCOMPARE(f["nickname"], std::string("演示"));
    QCOMPARE(f["raw"], std::string("演示"));
    QCOMPARE(f["flag"], std::string("true"));
    QCOMPARE(f["esc"], std::string("a\"b\\c/\n"));
    QCOMPARE(f["pair"], std::string("😀"));
    QVERIFY(f.count("nested"));
    QVERIFY(FlatJson::Parse(" { } ", &f));
    QVERIFY(f.empty());
    const char *broken[] = {"",
                            "[]",
                            "{",
                            R"({"a":})",
                            R"({"a":"x)",
                            R"({"a":1} x)",
                            R"({"a":"\q"})",
                            R"({"a":{"b":[1,2})",
                            "{\"a\":\"\x01\"}"};
    for (const char *text : broken)
        QVERIFY2(!FlatJson::Parse(text, &f), text);
    std::string deep = "{\"a\":" + std::string(100, '[') + std::string(100, ']') + "}";
    QVERIFY(!FlatJson::Parse(deep, &f)); // nesting is bounded
}

QTEST_GUILESS_MAIN(TestComCompat)
#include "tst_comcompat.moc"
