#include "signinreply.h"

#include "flatjson.h"

#include <limits>
#include <map>

namespace {

// A whole number written as the service writes one: decimal digits without leading zeros,
// '-' in front where allowed (not of 0), nothing else, within the bounds.
bool readWhole(const std::string &text, bool allowNegative, uint64_t limit, uint64_t *magnitude,
               bool *negative)
{
    size_t i = 0;
    *negative = allowNegative && !text.empty() && text[0] == '-';
    if (*negative)
        ++i;
    if (i == text.size() || (text[i] == '0' && (*negative || i + 1 < text.size())))
        return false;
    uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return false;
        const unsigned digit = unsigned(c - '0');
        if (value > (limit - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    *magnitude = value;
    return true;
}

} // namespace

SignInReply SignInReply::Read(const std::string &body)
{
    SignInReply reply;
    std::map<std::string, std::string> fields;
    if (!FlatJson::Parse(body, &fields) || !fields.count("code"))
        return reply;
    uint64_t magnitude = 0;
    bool negative = false;
    const uint64_t intMax = uint64_t(std::numeric_limits<int32_t>::max());
    if (!readWhole(fields["code"], true, intMax + 1, &magnitude, &negative) ||
        (!negative && magnitude > intMax))
        return reply;
    reply.code = negative ? int32_t(-int64_t(magnitude)) : int32_t(magnitude);
    if (reply.code != 0)
        return reply;
    if (fields["sessionid"].empty()) {
        reply.code = kServerError;
        return reply;
    }
    AccountSession::Identity &id = reply.identity;
    id.sessionId = fields["sessionid"];
    uint64_t userId = 0;
    if (readWhole(fields["userid"], false, std::numeric_limits<uint64_t>::max(), &userId,
                  &negative))
        id.userId = userId;
    id.userName = fields["username"];
    id.nickName = fields["nickname"];
    id.jumpKey = fields["jumpkey"];
    id.imageUrl = fields["imageurl"];
    return reply;
}
