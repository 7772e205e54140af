#pragma once

#include <string>
#include <string_view>

namespace ds {

// Escapes a text from a disk or a user for a page: & < > " ' become entities, so an
// ordinary text shows unchanged and a quote or bracket can no longer break the markup.
std::string HtmlEscape(std::string_view text);

}  // namespace ds
