#include "mailer/mail_request.h"

#include <optional>

namespace ds {
namespace {

// A count field: decimal digits only, at most kMaxListedItems.
std::optional<int> CountField(std::string_view text) {
  if (text.empty() || text.size() > 4)
    return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > kMaxListedItems)
    return std::nullopt;
  return value;
}

// A TCP port: decimal digits giving 1-65535.
std::optional<int> PortNumber(std::string_view text) {
  while (text.size() > 1 && text.front() == '0')
    text.remove_prefix(1);
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != text.npos)
    return std::nullopt;
  int value = std::stoi(std::string(text));
  if (value < 1 || value > 65535)
    return std::nullopt;
  return value;
}

bool IsControl(unsigned char c) {
  return c < 0x20 || c == 0x7F;
}

bool HasControl(std::string_view text) {
  for (char c : text) {
    if (IsControl(static_cast<unsigned char>(c)))
      return true;
  }
  return false;
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != text.npos;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
    text.remove_suffix(1);
  return text;
}

// Length of the UTF-8 sequence starting at text[at], or 0 when it is not one (overlong
// forms, surrogates and values above U+10FFFF included).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(at);
  if (lead < 0x80)
    return 1;
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0)
      low = 0xA0;
    if (lead == 0xED)
      high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0)
      low = 0x90;
    if (lead == 0xF4)
      high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high)
    return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF)
      return 0;
  }
  return length;
}

bool IsHostName(std::string_view host) {
  if (host.empty() || host.size() > 253)
    return false;
  if (host.find(':') != host.npos) {  // an IPv6 address
    for (char c : host) {
      bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
      if (!hex && c != ':' && c != '.')
        return false;
    }
    return true;
  }
  for (char c : host) {
    bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!alnum && c != '.' && c != '-' && c != '_')
      return false;
  }
  return host.front() != '-' && host.front() != '.';
}

}  // namespace

std::vector<std::string> SplitNulFields(std::string_view input) {
  std::vector<std::string> fields;
  while (!input.empty()) {
    std::size_t end = input.find('\0');
    fields.emplace_back(input.substr(0, end));
    input.remove_prefix(end == input.npos ? input.size() : end + 1);
  }
  return fields;
}

bool ParseMailFields(const std::vector<std::string>& fields, MailRequest* request,
                     std::string* message) {
  constexpr std::size_t kFixed = 11;  // up to and including the recipient count
  if (fields.size() < kFixed + 1) {
    *message = "expected at least 12 fields, got " + std::to_string(fields.size());
    return false;
  }
  std::optional<int> ssl = CountField(fields[0]);
  if (!ssl) {
    *message = "field 1 (EnableSSL) is not a number";
    return false;
  }
  std::optional<int> recipientCount = CountField(fields[10]);
  if (!recipientCount) {
    *message = "field 11 (recipient count) is not a number";
    return false;
  }
  // The recipients present, the body count and exactly that many body lines must follow.
  // Field texts are never echoed: a password split by a blank may sit anywhere.
  const std::size_t rest = fields.size() - kFixed;
  std::optional<std::size_t> present;
  for (std::size_t m = std::min<std::size_t>(*recipientCount, rest - 1) + 1; m-- > 0;) {
    std::optional<int> bodyCount = CountField(fields[kFixed + m]);
    if (bodyCount && rest == m + 1 + static_cast<std::size_t>(*bodyCount)) {
      present = m;
      break;
    }
  }
  if (!present) {
    *message =
        "the fields after the recipient count do not match the counts given (a blank "
        "inside a field splits it in two on a command line)";
    return false;
  }
  request->enableSsl = *ssl != 0;
  request->host = fields[1];
  request->port = fields[2];
  request->login = fields[3];
  request->password = fields[4];
  request->from = fields[6];
  request->subject = fields[8];
  request->resultPath = fields[9];
  request->recipients.assign(fields.begin() + kFixed, fields.begin() + kFixed + *present);
  request->recipients.resize(*recipientCount);  // the ones a shell dropped were empty
  request->bodyLines.assign(fields.begin() + kFixed + *present + 1, fields.end());
  if (request->resultPath.empty()) {
    *message = "field 10 (result file path) is empty";
    return false;
  }
  return true;
}

std::string MendText(std::string_view text) {
  std::string mended;
  mended.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    std::size_t length = Utf8SequenceLength(text, at);
    if (length == 0) {
      mended += '?';
      ++at;
    } else if (length == 1 && IsControl(static_cast<unsigned char>(text[at]))) {
      mended += ' ';
      ++at;
    } else {
      mended.append(text.substr(at, length));
      at += length;
    }
  }
  return mended;
}

bool CheckMailRequest(MailRequest* request, std::string* error) {
  if (!IsHostName(request->host)) {
    *error =
        "Error: the mail server \"" + MendText(request->host) + "\" is not a host name or address";
    return false;
  }
  std::optional<int> portNumber = PortNumber(request->port);
  if (!portNumber) {
    *error = "Error: the port \"" + MendText(request->port) + "\" is not a number from 1 to 65535";
    return false;
  }
  request->port = std::to_string(*portNumber);

  request->from = std::string(TrimBlanks(request->from));
  if (HasControl(request->from)) {
    *error = "Error: the sender address holds a line break or control character";
    return false;
  }
  if (request->from.empty()) {
    *error = "Error: no sender address";
    return false;
  }
  std::vector<std::string> recipients;
  for (const std::string& recipient : request->recipients) {
    std::string_view address = TrimBlanks(recipient);
    if (HasControl(address)) {
      *error = "Error: a recipient address holds a line break or control character";
      return false;
    }
    if (!address.empty())
      recipients.emplace_back(address);
  }
  if (recipients.empty()) {
    *error = "Error: no recipient";
    return false;
  }
  request->recipients = std::move(recipients);

  if (HasLineBreak(request->subject)) {
    *error = "Error: the subject holds a line break";
    return false;
  }
  request->subject = MendText(request->subject);
  for (std::string& line : request->bodyLines)
    line = MendText(line);
  return true;
}

}  // namespace ds
