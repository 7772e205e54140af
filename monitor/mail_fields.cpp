#include "monitor/mail_fields.h"

#include <algorithm>

#include "text/ini_file_reader.h"

namespace ds {
namespace {

// The ten leading fields, up to the result path.
std::vector<std::string> AccountFields(const MailAccount& account, const char* subject,
                                       const std::string& resultPath) {
  return {std::to_string(account.EnableSSL),
          account.Host,
          account.Port,
          account.Id,
          account.Passwd,
          account.Id,
          account.From,
          account.From,
          subject,
          resultPath};
}

void Append(std::vector<std::string>& fields, const std::vector<std::string>& more) {
  fields.insert(fields.end(), more.begin(), more.end());
}

}  // namespace

MailAccount MailAccountOf(const AlertSettings& settings) {
  MailAccount account;
  account.EnableSSL = settings.EnableSSL;
  account.From = settings.From;
  account.To = settings.To;
  account.Host = settings.Host;
  account.Port = settings.Port;
  account.Id = settings.Id;
  account.Passwd = settings.Passwd;
  return account;
}

std::optional<std::string> MailFieldCheck(const MailAccount& account) {
  const std::pair<const std::string*, const char*> fields[] = {
      {&account.From, "From"}, {&account.To, "To"}, {&account.Host, "Host"},
      {&account.Port, "Port"}, {&account.Id, "ID"}, {&account.Passwd, "Password"},
  };
  for (const auto& [value, name] : fields) {
    if (value->empty())
      return "Please input \"" + std::string(name) + "\" field!";
  }
  return std::nullopt;
}

std::vector<std::string> RecipientFields(std::string_view to) {
  if (to.find(',') == std::string_view::npos)
    return {"1", std::string(to)};
  std::vector<std::string> items;
  for (;;) {
    std::size_t comma = to.find(',');
    items.emplace_back(TrimBoth(to.substr(0, comma)));
    if (comma == std::string_view::npos)
      break;
    to.remove_prefix(comma + 1);
  }
  items.insert(items.begin(), std::to_string(items.size()));
  return items;
}

namespace {

std::vector<std::string> AlertFields(const MailAccount& account, const DriveRecord& drive,
                                     const MailOrigin* origin, std::string_view alertText,
                                     const std::string& resultPath) {
  std::vector<std::string> fields = AccountFields(account, kAlertMailSubject, resultPath);
  Append(fields, RecipientFields(account.To));
  std::vector<std::string> body = {std::string(TrimBoth("Model Name: " + drive.model)),
                                   std::string(TrimBoth("Serial Number: " + drive.serial)),
                                   std::string(TrimBoth("Firmware Version: " + drive.firmware))};
  if (origin != nullptr)
    body.push_back(DeviceLine(*origin));
  body.push_back(" ");
  // Several alerts: one body line each.
  for (std::size_t start = 0; start <= alertText.size();) {
    const std::size_t end = std::min(alertText.find('\n', start), alertText.size());
    body.emplace_back(alertText.substr(start, end - start));
    start = end + 1;
  }
  fields.push_back(std::to_string(body.size()));
  Append(fields, body);
  return fields;
}

}  // namespace

std::string DeviceLine(const MailOrigin& origin) {
  return "Device: " + origin.device + " on host " + origin.host;
}

std::vector<std::string> AlertMailFields(const MailAccount& account, const DriveRecord& drive,
                                         std::string_view alertText,
                                         const std::string& resultPath) {
  return AlertFields(account, drive, nullptr, alertText, resultPath);
}

std::vector<std::string> AlertMailFields(const MailAccount& account, const DriveRecord& drive,
                                         const MailOrigin& origin, std::string_view alertText,
                                         const std::string& resultPath) {
  return AlertFields(account, drive, &origin, alertText, resultPath);
}

std::vector<std::string> TestMailFields(const MailAccount& account, const std::string& resultPath) {
  std::vector<std::string> fields = AccountFields(account, kTestMailSubject, resultPath);
  Append(fields, RecipientFields(account.To));
  Append(fields, {"1", kTestMailBody});
  return fields;
}

std::string MailerInput(const std::vector<std::string>& fields) {
  std::string input;
  for (const std::string& field : fields) {
    for (char c : field) {
      if (c != '\0')
        input += c;
    }
    input += '\0';
  }
  return input;
}

}  // namespace ds
