#include "fuzzers.h"

#include "device/untrustedjson.h"
#include "lab/qmusers/flatjson.h"

#include <map>
#include <string>

// The account component reads the account service's replies with its own small reader. Any
// text: no crash, no read past the end, and where both readers accept a document, the strings
// it reports are the ones the client's reader finds.
void fuzzFlatJson(const QByteArray &input)
{
    std::map<std::string, std::string> fields;
    const bool ok = FlatJson::Parse(input.toStdString(), &fields);
    if (!ok)
        return;
    const std::optional<QJsonObject> object = UntrustedJson::parseObject(input);
    if (!object)
        return;
    // FlatJson mends unpaired surrogates; the client's reader keeps them.
    const QStringList keys = object->keys();
    for (const QString &key : keys) {
        if (!key.isValidUtf16())
            return;
    }
    FUZZ_CHECK(fields.size() == size_t(object->size()));
    for (auto it = object->begin(); it != object->end(); ++it) {
        const auto field = fields.find(it.key().toStdString());
        FUZZ_CHECK(field != fields.end());
        if (it.value().isString() && it.value().toString().isValidUtf16())
            FUZZ_CHECK(field->second == it.value().toString().toStdString());
    }
}

KELVORA_FUZZ_TARGET(fuzzFlatJson)
