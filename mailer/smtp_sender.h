#pragma once

#include <chrono>
#include <functional>
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

// The whole conversation, from the connection to the closing QUIT, ends after this long,
// so the program that waits for the result file (20 s) always finds one. The transfer
// itself gets all but the last second, which is kept for writing the result.
inline constexpr std::chrono::milliseconds kSmtpTimeLimit{15000};
inline constexpr std::chrono::milliseconds kSmtpResultReserve{1000};

struct SmtpOutcome {
  bool sent = false;
  std::string line;    // "Mail sent to 2 recipients." or "Error: login denied (535)"
  std::string detail;  // the transfer library's own words, for the second result line
};

// Sends `message`; `report` gets the outcome as soon as it is known, before the connection
// is closed (the closing QUIT may find a server that never answers it).
void SendSmtp(const MailRequest& request, const std::string& message,
              const std::function<void(const SmtpOutcome&)>& report);

// The first result line when the server did not answer within the time limit.
std::string TimeOutLine(const MailRequest& request);

}  // namespace ds
