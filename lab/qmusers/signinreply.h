#ifndef SIGNINREPLY_H
#define SIGNINREPLY_H

#include "accountsession.h"

#include <cstdint>
#include <string>

// The account service's answer to a sign-in, as the login event reports it: the result code
// and, for code 0 only, the identity. A body that is no object, has no "code", or whose code
// is not a whole 32-bit number reads as the server error (8); a success without a session id
// too. Numbers are taken as written, and only as the service writes them: "4294967296" is no
// disguised 0.
struct SignInReply
{
    static const int32_t kServerError = 8;

    int32_t code = kServerError;
    AccountSession::Identity identity;

    static SignInReply Read(const std::string &body);
};

#endif // SIGNINREPLY_H
