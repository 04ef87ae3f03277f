#include "device/untrustedjson.h"

#include <QJsonArray>
#include <QString>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

class Reader
{
public:
    Reader(const char *begin, const char *end) : p(begin), end(end) {}

    bool document(QJsonValue *out)
    {
        if (!value(out, 0))
            return false;
        skipSpace();
        return p == end;
    }

private:
    void skipSpace()
    {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
            ++p;
    }

    bool literal(const char *word)
    {
        for (; *word; ++word, ++p) {
            if (p == end || *p != *word)
                return false;
        }
        return true;
    }

    bool value(QJsonValue *out, int depth)
    {
        if (++values > UntrustedJson::maxValues)
            return false;
        skipSpace();
        if (p == end)
            return false;
        switch (*p) {
        case '{':
            return object(out, depth + 1);
        case '[':
            return array(out, depth + 1);
        case '"': {
            QString text;
            if (!string(&text))
                return false;
            *out = QJsonValue(text);
            return true;
        }
        case 't':
            *out = QJsonValue(true);
            return literal("true");
        case 'f':
            *out = QJsonValue(false);
            return literal("false");
        case 'n':
            *out = QJsonValue(QJsonValue::Null);
            return literal("null");
        default:
            return number(out);
        }
    }

    bool object(QJsonValue *out, int depth)
    {
        if (depth > UntrustedJson::maxDepth)
            return false;
        ++p; // '{'
        std::vector<std::pair<QString, QJsonValue>> members;
        skipSpace();
        if (p < end && *p == '}') {
            ++p;
            *out = QJsonObject();
            return true;
        }
        for (;;) {
            skipSpace();
            QString key;
            if (p == end || *p != '"' || !string(&key))
                return false;
            skipSpace();
            if (p == end || *p++ != ':')
                return false;
            QJsonValue member;
            if (!value(&member, depth))
                return false;
            members.emplace_back(std::move(key), std::move(member));
            skipSpace();
            if (p == end)
                return false;
            if (*p == '}') {
                ++p;
                break;
            }
            if (*p++ != ',')
                return false;
        }
        // Sorted once, a repeated key sits next to its twin, and QJsonObject (which keeps its
        // keys sorted) only ever appends: no quadratic insertion on huge objects.
        std::sort(members.begin(), members.end(),
                  [](const auto &a, const auto &b) { return a.first < b.first; });
        QJsonObject result;
        for (size_t i = 0; i < members.size(); ++i) {
            if (i > 0 && members[i].first == members[i - 1].first)
                return false;
            result.insert(members[i].first, members[i].second);
        }
        *out = result;
        return true;
    }

    bool array(QJsonValue *out, int depth)
    {
        if (depth > UntrustedJson::maxDepth)
            return false;
        ++p; // '['
        QJsonArray result;
        skipSpace();
        if (p < end && *p == ']') {
            ++p;
            *out = result;
            return true;
        }
        for (;;) {
            QJsonValue element;
            if (!value(&element, depth))
                return false;
            result.append(element);
            skipSpace();
            if (p == end)
                return false;
            if (*p == ']') {
                ++p;
                break;
            }
            if (*p++ != ',')
                return false;
        }
        *out = result;
        return true;
    }

    static int hexDigit(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    bool hex4(char16_t *unit)
    {
        if (end - p < 4)
            return false;
        unsigned v = 0;
        for (int i = 0; i < 4; ++i) {
            const int d = hexDigit(*p++);
            if (d < 0)
                return false;
            v = v << 4 | unsigned(d);
        }
        *unit = char16_t(v);
        return true;
    }

    // One UTF-8 sequence starting at p (a byte >= 0x80): no overlong forms, no encoded
    // surrogates, nothing past U+10FFFF.
    bool utf8(QString *out)
    {
        const auto byte = [this](ptrdiff_t i) { return static_cast<unsigned char>(p[i]); };
        const unsigned char lead = byte(0);
        int length;
        char32_t cp;
        char32_t min;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, cp = lead & 0x1F, min = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, cp = lead & 0x0F, min = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, cp = lead & 0x07, min = 0x10000;
        } else {
            return false;
        }
        if (end - p < length)
            return false;
        for (int i = 1; i < length; ++i) {
            if ((byte(i) & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (byte(i) & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        p += length;
        if (cp >= 0x10000) {
            out->append(QChar::highSurrogate(cp));
            out->append(QChar::lowSurrogate(cp));
        } else {
            out->append(QChar(char16_t(cp)));
        }
        return true;
    }

    bool string(QString *out)
    {
        ++p; // '"'
        out->clear();
        const char *run = p;
        const auto flush = [&] {
            if (p > run)
                out->append(QLatin1String(run, int(p - run)));
        };
        while (p < end) {
            const unsigned char c = static_cast<unsigned char>(*p);
            if (c == '"') {
                flush();
                ++p;
                return true;
            }
            if (c < 0x20)
                return false;
            if (c < 0x80 && c != '\\') {
                ++p;
                continue;
            }
            flush();
            if (c >= 0x80) {
                if (!utf8(out))
                    return false;
            } else if (!escape(out)) {
                return false;
            }
            run = p;
        }
        return false;
    }

    bool escape(QString *out)
    {
        ++p; // '\\'
        if (p == end)
            return false;
        const char c = *p++;
        switch (c) {
        case '"':
        case '\\':
        case '/':
            out->append(QLatin1Char(c));
            return true;
        case 'b':
            out->append(QLatin1Char('\b'));
            return true;
        case 'f':
            out->append(QLatin1Char('\f'));
            return true;
        case 'n':
            out->append(QLatin1Char('\n'));
            return true;
        case 'r':
            out->append(QLatin1Char('\r'));
            return true;
        case 't':
            out->append(QLatin1Char('\t'));
            return true;
        case 'u': {
            char16_t unit;
            if (!hex4(&unit))
                return false;
            out->append(QChar(unit));
            return true;
        }
        default:
            return false;
        }
    }

    static bool isDigit(const char *q, const char *end)
    {
        return q < end && *q >= '0' && *q <= '9';
    }

    bool number(QJsonValue *out)
    {
        const char *start = p;
        bool whole = true;
        if (p < end && *p == '-')
            ++p;
        if (!isDigit(p, end))
            return false;
        if (*p == '0')
            ++p;
        else
            while (isDigit(p, end))
                ++p;
        if (p < end && *p == '.') {
            whole = false;
            ++p;
            if (!isDigit(p, end))
                return false;
            while (isDigit(p, end))
                ++p;
        }
        if (p < end && (*p == 'e' || *p == 'E')) {
            whole = false;
            ++p;
            if (p < end && (*p == '+' || *p == '-'))
                ++p;
            if (!isDigit(p, end))
                return false;
            while (isDigit(p, end))
                ++p;
        }
        const QByteArray text = QByteArray::fromRawData(start, int(p - start));
        bool ok = false;
        if (whole) {
            const qint64 n = text.toLongLong(&ok);
            if (ok) {
                *out = QJsonValue(n);
                return true;
            }
        }
        const double d = text.toDouble(&ok);
        if (!ok || !std::isfinite(d))
            return false;
        *out = QJsonValue(d);
        return true;
    }

    const char *p;
    const char *const end;
    int values = 0;
};

} // namespace

std::optional<QJsonValue> UntrustedJson::parse(const QByteArray &text, int maxBytes)
{
    if (text.size() > maxBytes)
        return std::nullopt;
    QJsonValue result;
    const char *begin = text.constData();
    if (text.startsWith("\xEF\xBB\xBF"))
        begin += 3;
    Reader reader(begin, text.constData() + text.size());
    if (!reader.document(&result))
        return std::nullopt;
    return result;
}

std::optional<QJsonObject> UntrustedJson::parseObject(const QByteArray &text, int maxBytes)
{
    const std::optional<QJsonValue> value = parse(text, maxBytes);
    if (!value || !value->isObject())
        return std::nullopt;
    return value->toObject();
}
