#ifndef KELVORA_UNTRUSTEDJSON_H
#define KELVORA_UNTRUSTEDJSON_H

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <optional>

// The one way to read JSON that comes from outside: device replies, the device-management
// server, any host that answers discovery. Qt 5.15's QJsonDocument::fromJson leaks memory for
// every repeated key whose value is an object or an array, so outside text never reaches it;
// this strict reader (RFC 8259) builds the QJson values itself and bounds what it builds.
//
//     const std::optional<QJsonObject> object = UntrustedJson::parseObject(reply->readAll());
//     if (!object)
//         return; // not one JSON object within the limits: treat as a malformed reply
//     const QJsonValue rtn = object->value(QLatin1String("rtn"));
//
// Refused (nullopt): more than maxBytes of text, nesting deeper than maxDepth, more than
// maxValues values in all, a key repeated within one object, invalid UTF-8, control characters
// in strings, numbers beyond the range of a double, anything but whitespace after the value.
// Numbers read as QJsonValue does (whole numbers exact up to 2^53). A leading UTF-8 byte-order
// mark is skipped. \u escapes that leave a surrogate unpaired keep it as it is, so different
// texts never become equal strings.
class UntrustedJson
{
public:
    // Far above any honest reply (a page of 999 entries is a few hundred KB and 5000 values),
    // and low enough that what a hostile reply makes the reader build stays a few MB.
    static constexpr int defaultMaxBytes = 4 * 1024 * 1024;
    static constexpr int maxDepth = 64;
    static constexpr int maxValues = 200000;

    static std::optional<QJsonValue> parse(const QByteArray &text, int maxBytes = defaultMaxBytes);
    static std::optional<QJsonObject> parseObject(const QByteArray &text,
                                                  int maxBytes = defaultMaxBytes);
};

#endif
