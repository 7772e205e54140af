#include <curl/curl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "mailer/mail_message.h"
#include "mailer/mail_request.h"
#include "mailer/run_deadline.h"
#include "mailer/smtp_sender.h"
#include "platform/file_system.h"

namespace {

// Exit codes: the mail went out; it did not (the result file says why); the fields could
// not be read, so no result file was written; the result file could not be written.
constexpr int kExitSent = 0;
constexpr int kExitNotSent = 1;
constexpr int kExitBadFields = 2;
constexpr int kExitNoResultFile = 3;

constexpr const char* kStdinSwitch = "--fields-from-stdin";

void PrintUsage() {
  std::fprintf(stderr,
               "usage: CSmtp.exe SSL HOST PORT LOGIN PASSWORD LOGIN FROM FROM SUBJECT RESULT-FILE\n"
               "                 N RECIPIENT... B BODY-LINE...\n"
               "       CSmtp.exe %s   (the same fields on standard input, each ended by NUL)\n",
               kStdinSwitch);
}

bool ReadStandardInput(std::string* input) {
  char buffer[16384];
  for (;;) {
    ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (got == 0)
      return true;
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      return false;
    input->append(buffer, static_cast<std::size_t>(got));
    if (input->size() > ds::kMaxMailFieldsBytes)
      return false;
  }
}

// Writes the result file whole: the first line says what happened, the second (when
// there is one) gives details.
bool WriteResult(const std::string& path, const std::string& line, const std::string& detail) {
  std::string text = line + "\n" + (detail.empty() ? "" : ds::MendText(detail) + "\n");
  std::string message;
  if (!ds::ReplaceFileAtomically(path, text, ds::FileAccess::kShared, &message)) {
    std::fprintf(stderr, "CSmtp.exe: cannot write the result file: %s\n", message.c_str());
    return false;
  }
  return true;
}

}  // namespace

// Sends one mail described by its fields and writes the outcome into the result file the
// fields name.
int main(int argc, char** argv) {
  std::vector<std::string> fields;
  if (argc == 2 && std::string(argv[1]) == kStdinSwitch) {
    std::string input;
    if (!ReadStandardInput(&input)) {
      std::fprintf(stderr, "CSmtp.exe: cannot read the fields from standard input\n");
      return kExitBadFields;
    }
    fields = ds::SplitNulFields(input);
  } else if (argc == 2) {  // --help or a mistake: never a mail
    PrintUsage();
    return kExitBadFields;
  } else {
    fields.assign(argv + 1, argv + argc);
  }
  ds::MailRequest request;
  std::string problem;
  if (!ds::ParseMailFields(fields, &request, &problem)) {
    std::fprintf(stderr, "CSmtp.exe: %s\n", problem.c_str());
    PrintUsage();
    return kExitBadFields;
  }
  std::string refusal;
  if (!ds::CheckMailRequest(&request, &refusal)) {
    std::fprintf(stderr, "CSmtp.exe: %s\n", refusal.c_str());
    return WriteResult(request.resultPath, refusal, "") ? kExitNotSent : kExitNoResultFile;
  }

  std::string message =
      ds::ComposeMessage(request, ds::StampMessage(std::time(nullptr), request.from));
  // The time limit holds for the whole conversation, however long the server stays quiet.
  ds::RunDeadline deadline(ds::kSmtpTimeLimit, [&request] {
    std::string line = ds::TimeOutLine(request);
    std::fprintf(stderr, "CSmtp.exe: %s\n", line.c_str());
    return WriteResult(request.resultPath, line, "") ? kExitNotSent : kExitNoResultFile;
  });
  int exitCode = kExitNoResultFile;
  curl_global_init(CURL_GLOBAL_DEFAULT);
  ds::SendSmtp(request, message, [&](const ds::SmtpOutcome& outcome) {
    deadline.Record([&] {
      if (!outcome.sent) {
        std::fprintf(stderr, "CSmtp.exe: %s%s%s\n", outcome.line.c_str(),
                     outcome.detail.empty() ? "" : ": ", outcome.detail.c_str());
      }
      if (!WriteResult(request.resultPath, outcome.line, outcome.detail))
        exitCode = kExitNoResultFile;
      else
        exitCode = outcome.sent ? kExitSent : kExitNotSent;
      return exitCode;
    });
  });
  curl_global_cleanup();
  return exitCode;
}
