#include "flatjson.h"

#include <cctype>

namespace {

class Reader
{
public:
    explicit Reader(const std::string &text) : s(text) {}

    void skipSpace()
    {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r'))
            ++i;
    }

    bool eat(char c)
    {
        skipSpace();
        if (i < s.size() && s[i] == c) {
            ++i;
            return true;
        }
        return false;
    }

    bool atEnd()
    {
        skipSpace();
        return i == s.size();
    }

    static void appendUtf8(std::string &out, unsigned long cp)
    {
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }

    bool hex4(unsigned long *value)
    {
        if (i + 4 > s.size())
            return false;
        *value = 0;
        for (int k = 0; k < 4; ++k) {
            char c = s[i++];
            int d = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
            if (d < 0)
                return false;
            *value = *value * 16 + unsigned(d);
        }
        return true;
    }

    bool string(std::string *out)
    {
        if (!eat('"'))
            return false;
        out->clear();
        while (i < s.size()) {
            char c = s[i++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                *out += c;
                continue;
            }
            if (i >= s.size())
                return false;
            char e = s[i++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                *out += e;
                break;
            case 'b':
                *out += '\b';
                break;
            case 'f':
                *out += '\f';
                break;
            case 'n':
                *out += '\n';
                break;
            case 'r':
                *out += '\r';
                break;
            case 't':
                *out += '\t';
                break;
            case 'u': {
                unsigned long cp;
                if (!hex4(&cp))
                    return false;
                if (cp >= 0xD800 && cp <= 0xDBFF && i + 6 <= s.size() && s[i] == '\\' &&
                    s[i + 1] == 'u') {
                    size_t back = i;
                    i += 2;
                    unsigned long low;
                    if (hex4(&low) && low >= 0xDC00 && low <= 0xDFFF)
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    else
                        i = back;
                }
                if (cp >= 0xD800 && cp <= 0xDFFF)
                    cp = 0xFFFD; // lone surrogate
                appendUtf8(*out, cp);
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }

    // Numbers and the literals true, false, null, kept as written.
    bool scalar(std::string *out)
    {
        skipSpace();
        size_t start = i;
        while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '-' ||
                                s[i] == '+' || s[i] == '.'))
            ++i;
        if (i == start)
            return false;
        *out = s.substr(start, i - start);
        return true;
    }

    bool skipValue(int depth)
    {
        if (depth > 64)
            return false;
        skipSpace();
        if (i >= s.size())
            return false;
        std::string ignored;
        if (s[i] == '"')
            return string(&ignored);
        if (s[i] == '{' || s[i] == '[') {
            char close = s[i] == '{' ? '}' : ']';
            bool object = s[i] == '{';
            ++i;
            if (eat(close))
                return true;
            do {
                if (object && (!string(&ignored) || !eat(':')))
                    return false;
                if (!skipValue(depth + 1))
                    return false;
            } while (eat(','));
            return eat(close);
        }
        return scalar(&ignored);
    }

    bool value(std::string *out)
    {
        skipSpace();
        if (i >= s.size())
            return false;
        if (s[i] == '"')
            return string(out);
        if (s[i] == '{' || s[i] == '[') {
            out->clear();
            return skipValue(0);
        }
        return scalar(out);
    }

private:
    const std::string &s;
    size_t i = 0;
};

} // namespace

bool FlatJson::Parse(const std::string &text, std::map<std::string, std::string> *fields)
{
    Reader reader(text);
    fields->clear();
    if (!reader.eat('{'))
        return false;
    if (!reader.eat('}')) {
        do {
            std::string name, value;
            if (!reader.string(&name) || !reader.eat(':') || !reader.value(&value))
                return false;
            (*fields)[name] = value;
        } while (reader.eat(','));
        if (!reader.eat('}'))
            return false;
    }
    return reader.atEnd();
}
