#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "mailer/mail_request.h"

// The message text the mail program hands to the SMTP server: RFC 5322 headers and a
// UTF-8 text/plain MIME body, every line ended by CR LF.
namespace ds {

// What sets one message apart from every other: when it was written and its identifier.
struct MessageStamp {
  std::string date;       // "Tue, 04 Jun 2024 10:11:12 +0200"
  std::string messageId;  // "<...@example.com>"
};

// The stamp of a message written at `when` (local time) from `sender`: the identifier
// takes the sender's domain and a random part.
MessageStamp StampMessage(std::time_t when, std::string_view sender);

// The bare address of "Name <user@example.com>" or of "user@example.com".
std::string EnvelopeAddress(std::string_view address);

// The value of the Subject header: the text as it is when it is printable ASCII, else
// RFC 2047 encoded words (UTF-8, base64) on folded lines.
std::string EncodeSubject(std::string_view subject);

// A mailbox for the From and To headers: "Name <user@example.com>" with a display name that
// is not printable ASCII gets the name as encoded words as the Subject does (quotes of a
// quoted name dropped), the address as written; any other mailbox stays as it is.
std::string EncodeMailbox(std::string_view mailbox);

// Base64 of `bytes`, without line breaks.
std::string Base64(std::string_view bytes);

// The whole message of a request that passed CheckMailRequest. Body lines are sent in
// order; ASCII lines as they are (7bit), any other body as base64. The SMTP transfer
// itself doubles a leading "." of a line, so such lines arrive unchanged.
std::string ComposeMessage(const MailRequest& request, const MessageStamp& stamp);

}  // namespace ds
