#include "fuzzers.h"

#include "lab/qmusers/flatjson.h"
#include "lab/qmusers/signinreply.h"

#include <map>
#include <string>

// The account component's reading of the service's sign-in answer: a code is the number the
// answer wrote or the server error, and only a success with a session carries an identity,
// the one the answer holds.
void fuzzSignInReply(const QByteArray &input)
{
    const std::string body = input.toStdString();
    const SignInReply reply = SignInReply::Read(body);
    std::map<std::string, std::string> fields;
    const bool parsed = FlatJson::Parse(body, &fields);
    const auto field = [&](const char *name) {
        const auto it = fields.find(name);
        return it == fields.end() ? std::string() : it->second;
    };
    if (reply.code != SignInReply::kServerError)
        FUZZ_CHECK(parsed && std::to_string(reply.code) == field("code"));
    if (reply.code != 0) {
        FUZZ_CHECK(reply.identity.sessionId.empty() && reply.identity.userId == 0 &&
                   reply.identity.userName.empty());
        return;
    }
    const AccountSession::Identity &id = reply.identity;
    FUZZ_CHECK(!id.sessionId.empty() && id.sessionId == field("sessionid"));
    FUZZ_CHECK(id.userName == field("username") && id.nickName == field("nickname") &&
               id.jumpKey == field("jumpkey") && id.imageUrl == field("imageurl"));
    FUZZ_CHECK(id.userId == 0 || std::to_string(id.userId) == field("userid"));
}

KELVORA_FUZZ_TARGET(fuzzSignInReply)
