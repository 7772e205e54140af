#pragma once

#include <string>
#include <string_view>
#include <vector>

// The fields of one mail as the program hands them to the mail program, in this order:
//
//   1 EnableSSL (0 or 1)   2 server   3 port   4 login   5 password   6 login again
//   7 sender   8 sender again   9 subject   10 result file path
//   11 recipient count N, then N recipients   then body line count B, then B body lines
//
// Fields 6 and 8 repeat 4 and 7 and are not used. They arrive either as the words of the
// command line or, with --fields-from-stdin, on standard input, each ended by a NUL byte.
namespace ds {

// One mail to send, checked and mended: every recipient non-empty and without control
// characters, the sender likewise, the subject without line breaks, the body lines free of
// control characters and valid UTF-8.
struct MailRequest {
  bool enableSsl = false;
  std::string host;
  std::string port;  // decimal digits 1-65535 once checked
  std::string login;
  std::string password;
  std::string from;
  std::string subject;
  std::string resultPath;
  std::vector<std::string> recipients;
  std::vector<std::string> bodyLines;
};

// Field counts and lines beyond these are refused.
inline constexpr std::size_t kMaxMailFieldsBytes = 1u << 20;
inline constexpr int kMaxListedItems = 1000;

// Splits standard input into fields: each field ends at a NUL byte; text after the last NUL
// is one more field.
std::vector<std::string> SplitNulFields(std::string_view input);

// Reads the field list into `request`. Returns false with `message` set when the list does
// not have the shape above; the result path is then not known and no result is written.
//
// The recipient count may exceed the recipients present by the empty ones a shell drops
// from a command line ("2 a@x.com" then the body count): those are taken as empty.
bool ParseMailFields(const std::vector<std::string>& fields, MailRequest* request,
                     std::string* message);

// Checks and mends a parsed request: drops empty recipients, trims blanks around the
// addresses, replaces control characters in the subject and body by blanks and bytes that
// are not UTF-8 by "?". Refuses (false, `error` set to the result line "Error: ...") a
// line break or other control character in the sender or a recipient, a line break in the
// subject, no recipient at all, a server name that is not a host name or address, and a
// port outside 1-65535.
bool CheckMailRequest(MailRequest* request, std::string* error);

// `text` with every byte sequence that is not UTF-8 replaced by "?" and every control
// character (below 0x20, 0x7F) by a blank.
std::string MendText(std::string_view text);

}  // namespace ds
