#include "web/held_view.h"

#include <charconv>

#include "web/request_text.h"

namespace ds {
namespace {

// The page shown while a slow disk answers: a held view waits past it until it is late.
constexpr const char* kLoadingPage = "loading.html";

// Letters, digits and "._-/" only, no "..", no leading "/": a file of the data folder that
// goes into a Location header as it is.
bool PlainDataPath(const std::string& file) {
  if (file.empty() || file.front() == '/' || file.find("..") != std::string::npos)
    return false;
  for (char c : file) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '_' || c == '-' || c == '/';
    if (!plain)
      return false;
  }
  return true;
}

}  // namespace

HeldViewStep DecideHeldView(const PublishedFrame& frame, std::uint64_t from, bool late) {
  const bool moved = frame.sequence != from && !frame.file.empty();
  if (moved && (late || frame.file != kLoadingPage))
    return HeldViewStep::kShow;
  return late ? HeldViewStep::kUnchanged : HeldViewStep::kWait;
}

std::string HeldViewLocation(const std::string& token, const PublishedFrame& frame) {
  if (!PlainDataPath(frame.file))
    return "";
  return "/" + token + "/data/" + frame.file + "?view=" + std::to_string(frame.sequence);
}

bool ParseHeldViewFrom(const std::string& query, std::uint64_t* from) {
  const auto fields = DecodeFormFields(query);
  const auto it = fields.find("from");
  if (it == fields.end() || it->second.empty())
    return false;
  const std::string& text = it->second;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, *from);
  return error == std::errc() && stop == end;
}

}  // namespace ds
