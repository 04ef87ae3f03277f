#ifndef STRINGCONVERT_H
#define STRINGCONVERT_H

#include "platform/comcompat.h"

#include <string>

// UTF-8 text to a new BSTR (never null unless memory runs out); the caller frees it.
BSTR Utf8ToBstr(const std::string &text);

// BSTR to UTF-8: a null or unconvertible BSTR gives an empty string. The text ends at the
// first zero character, as the -1 length of the conversion implies.
std::string BstrToUtf8(BSTR text);

#endif // STRINGCONVERT_H
