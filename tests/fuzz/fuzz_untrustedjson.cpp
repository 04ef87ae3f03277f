#include "fuzzers.h"

#include "device/untrustedjson.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

// Equal as the readers of replies see them: numbers by value (Qt keeps whole numbers past 2^53
// exact, a QJsonValue built from one does not), everything else exactly.
bool same(const QJsonValue &a, const QJsonValue &b)
{
    if (a.type() != b.type())
        return false;
    if (a.isDouble())
        return a.toDouble() == b.toDouble();
    if (a.isArray()) {
        const QJsonArray x = a.toArray(), y = b.toArray();
        if (x.size() != y.size())
            return false;
        for (int i = 0; i < x.size(); ++i) {
            if (!same(x.at(i), y.at(i)))
                return false;
        }
        return true;
    }
    if (a.isObject()) {
        const QJsonObject x = a.toObject(), y = b.toObject();
        if (x.keys() != y.keys())
            return false;
        for (auto it = x.begin(); it != x.end(); ++it) {
            if (!same(it.value(), y.value(it.key())))
                return false;
        }
        return true;
    }
    return a == b;
}

} // namespace

// Whatever the reader accepts, Qt's own parser reads the same way (so every caller may rely on
// the QJson classes' usual meaning); the text Qt writes back reads the same again. Qt only ever
// sees documents the reader accepted, which never repeat a key: it must stay leak-free here.
void fuzzUntrustedJson(const QByteArray &text)
{
    const std::optional<QJsonValue> value = UntrustedJson::parse(text);
    const std::optional<QJsonObject> object = UntrustedJson::parseObject(text);
    FUZZ_CHECK(bool(object) == (value && value->isObject()));
    if (!value || !(value->isObject() || value->isArray()))
        return;
    // Qt drops a byte-order mark written as such at the start of any string ({"<BOM>k":1} reads
    // as {"k":1}); the reader keeps it. No common ground there.
    if (text.indexOf("\xEF\xBB\xBF", 1) >= 0)
        return;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    FUZZ_CHECK(error.error == QJsonParseError::NoError);
    FUZZ_CHECK(same(*value, document.isObject() ? QJsonValue(document.object())
                                                : QJsonValue(document.array())));
    const QByteArray written = document.toJson(QJsonDocument::Compact);
    const std::optional<QJsonValue> again = UntrustedJson::parse(written);
    FUZZ_CHECK(again && same(*again, *value));
}

KELVORA_FUZZ_TARGET(fuzzUntrustedJson)
