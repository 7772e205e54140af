#pragma once

#include <chrono>
#include <string>

#include "mailer/mail_request.h"

// Hands one composed message to an SMTP server with libcurl.
//
//  - EnableSSL 1 and port 465: TLS from the first byte (smtps);
//  - EnableSSL 1 and any other port: STARTTLS, required: a server that does not offer it
//    or refuses it gets nothing, not even the sender address;
//  - EnableSSL 0: plain SMTP for a local relay; the login is used only when the server
//    offers AUTH.
// Certificates are checked against the system's store, or SSL_CERT_FILE / SSL_CERT_DIR
// when set. No proxy is used.
namespace ds {

// The whole attempt, connection included, ends after this long, so the program that waits
// for the result file (20 s) always finds one.
inline constexpr std::chrono::milliseconds kSmtpTimeLimit{15000};

struct SmtpOutcome {
  bool sent = false;
  std::string line;    // "Mail sent to 2 recipients." or "Error: login denied (535)"
  std::string detail;  // the transfer library's own words, for the second result line
};

SmtpOutcome SendSmtp(const MailRequest& request, const std::string& message);

}  // namespace ds
