#pragma once

#include <string>
#include <string_view>

// JSON texts for the event stream of the shell page.
namespace ds {

// `text` as a JSON string literal with its quotes. Control characters, quotes, "\" and
// "<", ">", "&" are escaped; bytes that are not valid UTF-8 become U+FFFD, so a disk's or
// user's text can never break the stream or the page that receives it.
std::string JsonString(std::string_view text);

}  // namespace ds
