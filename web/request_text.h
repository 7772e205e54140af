#pragma once

#include <map>
#include <string>
#include <string_view>

// The texts of a request line and body the shell server reads itself: the request target
// split into its decoded path and its query, and the fields of a query or of a form body
// ("a=1&b=x%20y"). Pure functions.
namespace ds {

// Splits `target` ("/a%20b/c?x=1") into its percent-decoded path and its query (after "?",
// still encoded). False for a target that does not start with "/", and for a path with an
// escape that is not two hexadecimal digits or that stands for a NUL byte.
bool SplitRequestTarget(std::string_view target, std::string* path, std::string* query);

// The fields of a query or an application/x-www-form-urlencoded body: names and values
// percent-decoded, "+" read as a space; of a repeated name the first value counts; an item
// without "=" has an empty value. An escape that is not two hexadecimal digits stays as sent.
std::map<std::string, std::string> DecodeFormFields(std::string_view text);

}  // namespace ds
