#include "mailer/mail_message.h"

#include <cstdio>
#include <random>

namespace ds {
namespace {

// SMTP allows 998 characters a line; encoded words are at most 75 characters long.
constexpr std::size_t kMaxLineLength = 998;
constexpr std::size_t kEncodedWordBytes = 45;  // 60 base64 characters + "=?UTF-8?B??="
constexpr std::size_t kBase64LineLength = 76;

bool IsPrintableAscii(std::string_view text) {
  for (char c : text) {
    if (c < 0x20 || c > 0x7E)
      return false;
  }
  return true;
}

bool IsDomainName(std::string_view text) {
  if (text.empty())
    return false;
  for (char c : text) {
    bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!alnum && c != '.' && c != '-')
      return false;
  }
  return true;
}

// The last boundary between UTF-8 sequences at or before `end` in a valid UTF-8 text.
std::size_t SequenceStart(std::string_view text, std::size_t end) {
  std::size_t at = end;
  while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
    --at;
  return at;
}

// `text` (valid UTF-8) as RFC 2047 encoded words (UTF-8, base64) on folded lines.
std::string EncodedWords(std::string_view text) {
  std::string encoded;
  while (!text.empty()) {
    std::size_t take = text.size();
    if (take > kEncodedWordBytes)
      take = SequenceStart(text, kEncodedWordBytes);
    if (take == 0)  // cannot happen in valid UTF-8; never loop without progress
      take = kEncodedWordBytes;
    if (!encoded.empty())
      encoded += "\r\n ";
    encoded += "=?UTF-8?B?" + Base64(text.substr(0, take)) + "?=";
    text.remove_prefix(take);
  }
  return encoded;
}

// The text of a display name: a quoted string loses its quotes and backslash escapes.
std::string DisplayNameText(std::string_view name) {
  while (!name.empty() && (name.front() == ' ' || name.front() == '\t'))
    name.remove_prefix(1);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
    name.remove_suffix(1);
  if (name.size() < 2 || name.front() != '"' || name.back() != '"')
    return std::string(name);
  std::string text;
  for (std::size_t at = 1; at + 1 < name.size(); ++at) {
    if (name[at] == '\\' && at + 2 < name.size())
      ++at;
    text += name[at];
  }
  return text;
}

}  // namespace

std::string Base64(std::string_view bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::size_t left = bytes.size() - i;
    unsigned value = static_cast<unsigned char>(bytes[i]) << 16;
    if (left > 1)
      value |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (left > 2)
      value |= static_cast<unsigned char>(bytes[i + 2]);
    out += kDigits[(value >> 18) & 63];
    out += kDigits[(value >> 12) & 63];
    out += left > 1 ? kDigits[(value >> 6) & 63] : '=';
    out += left > 2 ? kDigits[value & 63] : '=';
  }
  return out;
}

MessageStamp StampMessage(std::time_t when, std::string_view sender) {
  MessageStamp stamp;
  std::tm local{};
  ::localtime_r(&when, &local);
  char date[64];
  // The program never sets a locale, so day and month names are the English ones.
  std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S %z", &local);
  stamp.date = date;

  std::string address = EnvelopeAddress(sender);
  std::size_t at = address.rfind('@');
  std::string domain = at == address.npos ? "" : address.substr(at + 1);
  if (!IsDomainName(domain))
    domain = "localhost";
  std::random_device random;
  char unique[64];
  std::snprintf(unique, sizeof unique, "%llx.%08x%08x", static_cast<unsigned long long>(when),
                random(), random());
  stamp.messageId = "<" + std::string(unique) + "@" + domain + ">";
  return stamp;
}

std::string EnvelopeAddress(std::string_view address) {
  std::size_t open = address.rfind('<');
  if (open != address.npos) {
    std::size_t close = address.find('>', open);
    if (close != address.npos)
      return std::string(address.substr(open + 1, close - open - 1));
  }
  return std::string(address);
}

std::string EncodeSubject(std::string_view subject) {
  if (IsPrintableAscii(subject) && subject.size() + 9 <= kMaxLineLength)
    return std::string(subject);
  return EncodedWords(subject);
}

std::string EncodeMailbox(std::string_view mailbox) {
  const std::size_t open = mailbox.rfind('<');
  if (open == mailbox.npos || mailbox.find('>', open) == mailbox.npos ||
      IsPrintableAscii(mailbox.substr(0, open))) {
    return std::string(mailbox);
  }
  return EncodedWords(MendText(DisplayNameText(mailbox.substr(0, open)))) + " " +
         std::string(mailbox.substr(open));
}

std::string ComposeMessage(const MailRequest& request, const MessageStamp& stamp) {
  std::string body;
  bool plain = true;
  for (const std::string& line : request.bodyLines) {
    plain = plain && IsPrintableAscii(line) && line.size() <= kMaxLineLength;
    body += line;
    body += "\r\n";
  }
  if (!plain) {
    std::string encoded = Base64(body);
    body.clear();
    for (std::size_t at = 0; at < encoded.size(); at += kBase64LineLength)
      body += encoded.substr(at, kBase64LineLength) + "\r\n";
  }
  std::string to;
  for (const std::string& recipient : request.recipients)
    to += (to.empty() ? "" : ",\r\n ") + EncodeMailbox(recipient);

  std::string message;
  message += "Date: " + stamp.date + "\r\n";
  message += "Message-ID: " + stamp.messageId + "\r\n";
  message += "From: " + EncodeMailbox(request.from) + "\r\n";
  message += "To: " + to + "\r\n";
  message += "Subject: " + EncodeSubject(request.subject) + "\r\n";
  message += "MIME-Version: 1.0\r\n";
  message += "Content-Type: text/plain; charset=UTF-8\r\n";
  message += std::string("Content-Transfer-Encoding: ") + (plain ? "7bit" : "base64") + "\r\n";
  message += "\r\n";
  message += body;
  return message;
}

}  // namespace ds
