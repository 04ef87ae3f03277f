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
    void bstrLayout();
    void bstrEmbeddedZeroAndNull();
    void utf8ToWideSizesAndContent();
    void ill_formedUtf8BecomesReplacement();
    void wideToUtf8PairsAndLoneSurrogates();
    void tooSmallBuffersFail();
    void otherCodePagesRefused();
    void utf8BstrRoundTrip();
    void bstrToUtf8EdgeCases();
    void pathHelpers();
    void pathAppendRefusesOverflow();
    void moduleFileNameIsExecutable();
    void moduleFileNameTruncates();
    void loadLibraryFailures();
    void guidsCompare();
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

void TestComCompat::bstrLayout()
{
    BSTR text = SysAllocString(u"abc");
    QVERIFY(text);
    uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<char *>(text) - 4, 4);
    QCOMPARE(prefix, uint32_t(6)); // byte count, terminator excluded
    QCOMPARE(SysStringLen(text), UINT(3));
    QCOMPARE(SysStringByteLen(text), UINT(6));
    QCOMPARE(text[3], char16_t(0));
    SysFreeString(text);
    BSTR empty = SysAllocString(u"");
    QVERIFY(empty);
    QCOMPARE(SysStringLen(empty), UINT(0));
    QCOMPARE(empty[0], char16_t(0));
    SysFreeString(empty);
}

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

void TestComCompat::utf8ToWideSizesAndContent()
{
    const char *text = "a中😀";
    // Terminator counted with -1; the emoji takes a surrogate pair.
    QCOMPARE(MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0), 5);
    QCOMPARE(MultiByteToWideChar(CP_UTF8, 0, text, int(std::strlen(text)), nullptr, 0), 4);
    WCHAR buffer[8] = {};
    QCOMPARE(MultiByteToWideChar(CP_UTF8, 0, text, -1, buffer, 8), 5);
    QCOMPARE(buffer[0], u'a');
    QCOMPARE(buffer[1], char16_t(0x4E2D));
    QCOMPARE(buffer[2], char16_t(0xD83D));
    QCOMPARE(buffer[3], char16_t(0xDE00));
    QCOMPARE(buffer[4], char16_t(0));
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

void TestComCompat::wideToUtf8PairsAndLoneSurrogates()
{
    const char16_t text[] = {u'x', 0xD83D, 0xDE00, 0xD800, u'y', 0xDC00, 0};
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    QCOMPARE(n, 1 + 4 + 3 + 1 + 3 + 1);
    std::string out(size_t(n), '\0');
    QCOMPARE(WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr), n);
    QCOMPARE(out, std::string("x\xf0\x9f\x98\x80\xef\xbf\xbdy\xef\xbf\xbd", size_t(n - 1)) +
                      std::string(1, '\0'));
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

void TestComCompat::otherCodePagesRefused()
{
    QCOMPARE(MultiByteToWideChar(936, 0, "abc", -1, nullptr, 0), 0);
    QCOMPARE(WideCharToMultiByte(1252, 0, u"abc", -1, nullptr, 0, nullptr, nullptr), 0);
}

void TestComCompat::utf8BstrRoundTrip()
{
    const std::string samples[] = {"", "demo", "张三", "pässwörd 🔑", std::string(5000, 'x')};
    for (const std::string &sample : samples) {
        BSTR text = Utf8ToBstr(sample);
        QVERIFY(text);
        QCOMPARE(BstrToUtf8(text), sample);
        SysFreeString(text);
    }
    BSTR chinese = Utf8ToBstr("中文");
    QCOMPARE(SysStringLen(chinese), UINT(2));
    SysFreeString(chinese);
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

void TestComCompat::pathHelpers()
{
    QVERIFY(PathIsRelativeW(u"QMUserS.dll"));
    QVERIFY(PathIsRelativeW(u"lib/x.so"));
    QVERIFY(!PathIsRelativeW(u"/usr/lib"));

    WCHAR path[MAX_PATH] = u"/opt/kelvora/bin/kelvora";
    QVERIFY(PathRemoveFileSpecW(path));
    QCOMPARE(std::u16string(path), std::u16string(u"/opt/kelvora/bin"));
    QVERIFY(PathAppendW(path, u"libQMUserS.so"));
    QCOMPARE(std::u16string(path), std::u16string(u"/opt/kelvora/bin/libQMUserS.so"));

    WCHAR root[MAX_PATH] = u"/kelvora";
    QVERIFY(PathRemoveFileSpecW(root));
    QCOMPARE(std::u16string(root), std::u16string(u"/"));
    QVERIFY(!PathRemoveFileSpecW(root));
    QVERIFY(PathAppendW(root, u"x"));
    QCOMPARE(std::u16string(root), std::u16string(u"/x"));

    WCHAR slash[MAX_PATH] = u"/a/";
    QVERIFY(PathAppendW(slash, u"/b"));
    QCOMPARE(std::u16string(slash), std::u16string(u"/a/b"));

    QVERIFY(PathFileExistsW(
        wide(QCoreApplication::applicationFilePath().toUtf8().constData()).c_str()));
    QVERIFY(!PathFileExistsW(u"/no/such/file/anywhere"));
    QVERIFY(!PathFileExistsW(u""));
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

void TestComCompat::moduleFileNameIsExecutable()
{
    WCHAR path[MAX_PATH] = {};
    QString expected = QCoreApplication::applicationFilePath();
    if (expected.toUtf8().size() >= MAX_PATH)
        QSKIP("build directory too deep for a MAX_PATH buffer");
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    QVERIFY(n > 0 && n < MAX_PATH);
    QCOMPARE(QString::fromUtf16(path, int(n)), expected);
}

void TestComCompat::moduleFileNameTruncates()
{
    WCHAR path[4] = {u'x', u'x', u'x', u'x'};
    QCOMPARE(GetModuleFileNameW(nullptr, path, 4), DWORD(4));
    QCOMPARE(path[3], char16_t(0));
    QCOMPARE(path[0], u'/');
    QCOMPARE(GetModuleFileNameW(nullptr, path, 0), DWORD(0));
}

void TestComCompat::loadLibraryFailures()
{
    QTemporaryDir dir;
    QString garbage = dir.filePath(QStringLiteral("garbage.so"));
    QFile file(garbage);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(1000, 'g'));
    file.close();
    BSTR path = Utf8ToBstr(garbage.toStdString());
    QVERIFY(!CoLoadLibrary(path, FALSE));
    SysFreeString(path);
    QVERIFY(!CoLoadLibrary(nullptr, FALSE));
    QVERIFY(!GetProcAddress(nullptr, "DllGetClassObject"));
    CoFreeLibrary(nullptr);
}

void TestComCompat::guidsCompare()
{
    QVERIFY(IsEqualIID(IID_IUnknown, IID_IUnknown));
    QVERIFY(!IsEqualIID(IID_IUnknown, IID_IClassFactory));
    QVERIFY(IID_IConnectionPoint != IID_IConnectionPointContainer);
    QCOMPARE(IID_IClassFactory.Data1, uint32_t(1));
    QCOMPARE(IID_IConnectionPointContainer.Data1, uint32_t(0xB196B284));
    QCOMPARE(IID_IConnectionPoint.Data1, uint32_t(0xB196B286));
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
