#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

// Turns a page template of the data folder into a page by plain text substitution.
// Placeholders are literal texts (by convention "STR_..."), replaced in list order: a later
// key also matches text that an earlier value inserted. Values are inserted as markup;
// callers escape texts that come from a disk or a user (HtmlEscape).
namespace ds {

// The keys and values of one page, in replacement order.
class PageFields {
 public:
  void Add(std::string key, std::string value) {
    keys_.push_back(std::move(key));
    values_.push_back(std::move(value));
  }
  const std::vector<std::string>& keys() const { return keys_; }
  const std::vector<std::string>& values() const { return values_; }
  std::size_t count() const { return keys_.size(); }

 private:
  std::vector<std::string> keys_;
  std::vector<std::string> values_;
};

// Replaces every occurrence of each key in turn, in one linear pass per key.
std::string ReplaceFields(std::string text, const PageFields& fields);

// 8-bit pages: reads the template as text (CR LF read as LF, up to the first NUL), replaces
// the fields, keeps everything up to and including the first "</html>", and writes the page
// with CR LF line ends, atomically. True on success; false when the template does not exist
// (nothing is touched) or the page cannot be written (`message` says why). A page that holds
// a secret (the Tool page shows the mail password) is written with FileAccess::kOwnerOnly.
[[nodiscard]] bool ExpandTemplate(const std::string& templatePath, const std::string& outputPath,
                                  const PageFields& fields, std::string* message,
                                  FileAccess access = FileAccess::kShared);

// 16-bit pages: the template is UTF-16LE and each character keeps its low byte only (so a
// byte-order mark arrives as the character 0xFF, as it always has). The fields are replaced
// and the page is written as UTF-16LE with a byte-order mark, 8-bit text taken as
// Windows-1252. No "</html>" cut. True when the template exists and the page was written.
[[nodiscard]] bool ExpandTemplateWide(const std::string& templatePath,
                                      const std::string& outputPath, const PageFields& fields,
                                      std::string* message);

}  // namespace ds
