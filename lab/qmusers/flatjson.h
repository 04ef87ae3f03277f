#ifndef FLATJSON_H
#define FLATJSON_H

#include <map>
#include <string>

// Reads the top level of a JSON object into name -> text: strings unescaped (UTF-8), numbers
// and literals as written, nested objects and arrays skipped. Enough for the account
// service's flat replies without pulling a JSON library into the component.
class FlatJson
{
public:
    static bool Parse(const std::string &text, std::map<std::string, std::string> *fields);
};

#endif // FLATJSON_H
