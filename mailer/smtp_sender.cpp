#include "mailer/smtp_sender.h"

#include <curl/curl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "mailer/mail_message.h"

namespace ds {
namespace {

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// The message being uploaded and how much of it libcurl has taken.
struct Upload {
  std::string_view data;
  std::size_t offset = 0;
};

size_t ReadMessage(char* buffer, size_t size, size_t count, void* user) {
  auto* upload = static_cast<Upload*>(user);
  std::size_t take = std::min(size * count, upload->data.size() - upload->offset);
  std::memcpy(buffer, upload->data.data() + upload->offset, take);
  upload->offset += take;
  return take;
}

// The name this machine greets the server with; "localhost" when it is not a plain name.
std::string GreetingName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0)
    return "localhost";
  for (const char* c = name; *c; ++c) {
    bool alnum = (*c >= '0' && *c <= '9') || (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z');
    if (!alnum && *c != '.' && *c != '-')
      return "localhost";
  }
  return name[0] ? name : "localhost";
}

std::string ServerName(const MailRequest& request) {
  return request.host + ":" + request.port;
}

// The first result line for a failed transfer: short enough for the test dialog.
std::string FailureLine(CURLcode code, long response, const MailRequest& request) {
  std::string reply = response > 0 ? " (" + std::to_string(response) + ")" : "";
  switch (code) {
    case CURLE_LOGIN_DENIED:
      return "Error: login denied" + reply;
    case CURLE_COULDNT_RESOLVE_HOST:
      return "Error: unknown mail server " + request.host;
    case CURLE_COULDNT_CONNECT:
      return "Error: cannot connect to " + ServerName(request);
    case CURLE_OPERATION_TIMEDOUT:
      return TimeOutLine(request);
    case CURLE_USE_SSL_FAILED:
      if (response >= 400)
        return "Error: the mail server refused STARTTLS" + reply;
      return "Error: the mail server does not offer STARTTLS";
    case CURLE_PEER_FAILED_VERIFICATION:
      return "Error: the mail server's certificate is not trusted";
    case CURLE_SSL_CONNECT_ERROR:
      return "Error: secure connection to " + ServerName(request) + " failed";
    case CURLE_SSL_CACERT_BADFILE:
      return "Error: cannot read the trusted certificates";
    default:
      break;
  }
  if (response >= 400)
    return "Error: the mail server refused the mail" + reply;
  return std::string("Error: ") + curl_easy_strerror(code) + reply;
}

}  // namespace

std::string TimeOutLine(const MailRequest& request) {
  return "Error: no answer from " + ServerName(request) + " within " +
         std::to_string(kSmtpTimeLimit.count() / 1000) + " s";
}

void SendSmtp(const MailRequest& request, const std::string& message,
              const std::function<void(const SmtpOutcome&)>& report) {
  SmtpOutcome outcome;
  const bool implicitTls = request.enableSsl && request.port == "465";
  std::string host =
      request.host.find(':') != std::string::npos ? "[" + request.host + "]" : request.host;
  std::string url =
      (implicitTls ? "smtps://" : "smtp://") + host + ":" + request.port + "/" + GreetingName();
  std::string sender = "<" + EnvelopeAddress(request.from) + ">";
  std::unique_ptr<curl_slist, ListDeleter> recipients;
  for (const std::string& recipient : request.recipients) {
    std::string address = "<" + EnvelopeAddress(recipient) + ">";
    curl_slist* grown = curl_slist_append(recipients.get(), address.c_str());
    if (!grown) {
      outcome.line = "Error: out of memory";
      return report(outcome);
    }
    recipients.release();
    recipients.reset(grown);
  }
  Upload upload{message};
  char errorText[CURL_ERROR_SIZE] = {};
  // Declared after what it points to, so the connection closes (QUIT) while that is still
  // there, and only after the outcome is reported.
  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  if (!easy) {
    outcome.line = "Error: cannot set up the mail transfer";
    return report(outcome);
  }
  CURL* curl = easy.get();

  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  curl_easy_setopt(curl, CURLOPT_PROXY, "");
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
  const long transferLimit = static_cast<long>((kSmtpTimeLimit - kSmtpResultReserve).count());
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, transferLimit);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, transferLimit);
  // Secured: STARTTLS is required, never skipped. Plain: no TLS is attempted at all.
  curl_easy_setopt(curl, CURLOPT_USE_SSL,
                   static_cast<long>(request.enableSsl ? CURLUSESSL_ALL : CURLUSESSL_NONE));
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  if (const char* file = std::getenv("SSL_CERT_FILE"); file && *file)
    curl_easy_setopt(curl, CURLOPT_CAINFO, file);
  if (const char* folder = std::getenv("SSL_CERT_DIR"); folder && *folder)
    curl_easy_setopt(curl, CURLOPT_CAPATH, folder);
  if (!request.login.empty()) {
    // libcurl authenticates only when the server offers AUTH.
    curl_easy_setopt(curl, CURLOPT_USERNAME, request.login.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, request.password.c_str());
  }
  curl_easy_setopt(curl, CURLOPT_MAIL_FROM, sender.c_str());
  curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients.get());
  curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadMessage);
  curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
  curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));

  CURLcode code = curl_easy_perform(curl);
  long response = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response);
  if (code != CURLE_OK) {
    outcome.line = FailureLine(code, response, request);
    outcome.detail = errorText[0] ? errorText : curl_easy_strerror(code);
    return report(outcome);
  }
  std::size_t count = request.recipients.size();
  outcome.sent = true;
  outcome.line =
      "Mail sent to " + std::to_string(count) + (count == 1 ? " recipient." : " recipients.");
  report(outcome);
}

}  // namespace ds
