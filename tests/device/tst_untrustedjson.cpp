// The reader of outside JSON: what it accepts reads as Qt's parser would read it; what it refuses
// (repeated keys, which make Qt's parser leak, and everything past its limits) never gets
// through, and the three device readers refuse it too.
#include "device/bounddevicequery.h"
#include "device/discoveryanswer.h"
#include "device/untrustedjson.h"
#include "device/usbinfo.h"

#include <QtTest>

namespace {

// The value as compact JSON, "refused" when there is none.
QString read(const QByteArray &text, int maxBytes = UntrustedJson::defaultMaxBytes)
{
    const std::optional<QJsonValue> value = UntrustedJson::parse(text, maxBytes);
    if (!value)
        return "refused";
    if (value->isObject())
        return QJsonDocument(value->toObject()).toJson(QJsonDocument::Compact);
    if (value->isArray())
        return QJsonDocument(value->toArray()).toJson(QJsonDocument::Compact);
    return QJsonDocument(QJsonArray{*value}).toJson(QJsonDocument::Compact);
}

QByteArray nested(int depth)
{
    return QByteArray(depth, '[') + QByteArray(depth, ']');
}

QByteArray values(int count)
{
    QByteArray text = "[0";
    for (int i = 1; i < count - 1; ++i)
        text += ",0";
    return text + "]"; // count - 1 numbers and the array
}

} // namespace

class TestUntrustedJson : public QObject
{
    Q_OBJECT

private slots:
    void reads_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const QByteArray &text, const QString &expected) {
            QTest::newRow(name) << text << expected;
        };
        row("reply", R"( {"rtn":0,"path":"/media/相册","filelist":[{"size":536870912000}]} )",
            R"({"filelist":[{"size":536870912000}],"path":"/media/相册","rtn":0})");
        row("scalars", R"([true,false,null,-0,1.5e3,-2E-2,"",{}])",
            R"([true,false,null,0,1500,-0.02,"",{}])");
        row("escapes", "[\"\\\"\\\\\\/\\b\\f\\n\\r\\t\",\"\\u00e9\\u4E2D\\ud83d\\ude00\"]",
            "[\"\\\"\\\\/\\b\\f\\n\\r\\t\",\"é中😀\"]");
        row("string alone", R"("x")", R"(["x"])");
        row("byte-order mark", "\xEF\xBB\xBF{}", "{}");
        row("whole number past 2^53", "[9007199254740993]", "[9007199254740992]");
        row("empty", "", "refused");
        row("blank", " \r\n", "refused");
        // Qt's parser keeps the last of repeated keys and leaks the others when they hold an
        // object or an array; an honest box never repeats one.
        row("repeated key", R"({"id":"a","a":[[]],"a":[[]]})", "refused");
        row("repeated scalar", R"({"rtn":1,"rtn":0})", "refused");
        row("repeated through an escape", R"({"a":1,"\u0061":2})", "refused");
        row("repeated deep down", R"([{"x":{"k":{},"k":{}}}])", "refused");
        row("same key in two objects", R"([{"k":1},{"k":2}])", R"([{"k":1},{"k":2}])");
        row("trailing text", "{} x", "refused");
        row("two documents", "{}{}", "refused");
        row("trailing comma", "[1,]", "refused");
        row("missing colon", R"({"a" 1})", "refused");
        row("unquoted key", "{a:1}", "refused");
        row("single quotes", "['a']", "refused");
        row("leading zero", "[01]", "refused");
        row("bare dot", "[1.]", "refused");
        row("plus sign", "[+1]", "refused");
        row("infinite", "[1e400]", "refused");
        row("nan", "[NaN]", "refused");
        row("cut literal", "[tru]", "refused");
        row("cut string", "[\"abc", "refused");
        row("cut escape", "[\"\\u12\"]", "refused");
        row("unknown escape", "[\"\\x41\"]", "refused");
        row("raw control", "[\"a\tb\"]", "refused");
        row("overlong UTF-8", "[\"\xC0\x80\"]", "refused");
        row("UTF-8 surrogate", "[\"\xED\xA0\x80\"]", "refused");
        row("past U+10FFFF", "[\"\xF4\x90\x80\x80\"]", "refused");
        row("cut UTF-8", "[\"\xE4\xB8\"]", "refused");
        row("stray continuation", "[\"\x80\"]", "refused");
        row("depth 64", nested(64), QString(nested(64)));
        row("depth 65", nested(65), "refused");
        row("value limit", values(UntrustedJson::maxValues),
            QString(values(UntrustedJson::maxValues)));
        row("past the value limit", values(UntrustedJson::maxValues + 1), "refused");
    }
    void reads()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, expected);
        QCOMPARE(read(text), expected);
        if (expected != "refused" && text.startsWith('{'))
            QVERIFY(UntrustedJson::parseObject(text));
        if (text.startsWith('[') || text.startsWith('"'))
            QVERIFY(!UntrustedJson::parseObject(text));
    }

    void unpairedSurrogatesStayDistinct()
    {
        const auto first = UntrustedJson::parseObject(R"({"\ud800":1,"\udbff":2,"?":3})");
        QVERIFY(first);
        QCOMPARE(first->size(), 3);
        QCOMPARE(first->value(QString(QChar(0xD800))).toInt(), 1);
    }

    void byteLimit()
    {
        const QByteArray text = R"({"rtn":0})";
        QCOMPARE(read(text, text.size()), R"({"rtn":0})");
        QCOMPARE(read(text, text.size() - 1), "refused");
    }

    // Each reader of outside replies goes through it: repeated keys and oversize bodies fail.
    void deviceReadersRefuse()
    {
        const QByteArray answer =
            R"({"id":"TVK1","ip":"10.0.0.7","xctl_port":1,"mps_port":2,"http_port":3)";
        QVERIFY(DiscoveryAnswer::parse(answer + "}"));
        QVERIFY(!DiscoveryAnswer::parse(answer + R"(,"a":[[]],"a":[[]]})"));
        QByteArray padded = answer + ",\"pad\":\"" +
                            QByteArray(DiscoveryAnswer::maxBytes - answer.size(), 'x') + "\"}";
        QVERIFY(!DiscoveryAnswer::parse(padded));

        QVERIFY(BoundDeviceQuery::parse(R"({"ret":0,"devices":[{"deviceid":"a"}]})").ok);
        QVERIFY(
            !BoundDeviceQuery::parse(R"({"ret":0,"devices":[{"deviceid":"a","x":[],"x":[]}]})").ok);
        QVERIFY(UsbInfo::parse(R"({"rtn":0,"disklist":[]})"));
        QVERIFY(!UsbInfo::parse(R"({"rtn":0,"disklist":[],"disklist":[]})"));
        QVERIFY(!UsbInfo::parse("{\"rtn\":0,\"disklist\":[],\"pad\":\"" +
                                QByteArray(UntrustedJson::defaultMaxBytes, 'x') + "\"}"));
    }
};

QTEST_GUILESS_MAIN(TestUntrustedJson)
#include "tst_untrustedjson.moc"
