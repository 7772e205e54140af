#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drive/drive_record.h"
#include "store/settings.h"

// The field lists the program hands to the mail program (data/CSmtp.exe), one per mail:
//
//   EnableSSL, Host, Port, Id, Passwd, Id, From, From, subject, result file path,
//   recipient count, the recipients, body line count, the body lines.
//
// They travel on the mailer's standard input, each field ended by a NUL byte, so a blank
// or a quote in a value (a password, say) reaches the mailer intact and the password never
// appears on a command line.
namespace ds {

// The mailer's switch that makes it read the fields from standard input.
inline constexpr const char* kMailerStdinSwitch = "--fields-from-stdin";

inline constexpr const char* kAlertMailSubject = "Norvik DriveSentinel warning message";
inline constexpr const char* kTestMailSubject = "Norvik test mail";
inline constexpr const char* kTestMailBody = "This is a test email from Norvik DriveSentinel.";

// The mail account of the Tool page: the part of AlertSettings a mail needs. The mail
// test works on its own copy, taken when the test starts.
struct MailAccount {
  int EnableSSL = 0;
  std::string From;
  std::string To;
  std::string Host;
  std::string Port;
  std::string Id;
  std::string Passwd;
};

MailAccount MailAccountOf(const AlertSettings& settings);

// The first missing field of the account as the Tool page reports it ("Please input
// "From" field!", then To, Host, Port, ID, Password in that order), or none.
[[nodiscard]] std::optional<std::string> MailFieldCheck(const MailAccount& account);

// The recipient part: with a "," in `to`, the item count and every item trimmed (empty
// items kept and counted); without one, "1" and `to` as it stands.
std::vector<std::string> RecipientFields(std::string_view to);

// The alert mail: five body lines, "Model Name: ...", "Serial Number: ...", "Firmware
// Version: ..." (each line trimmed), " " and the alert text.
std::vector<std::string> AlertMailFields(const MailAccount& account, const DriveRecord& drive,
                                         std::string_view alertText, const std::string& resultPath);

// Where the disk that fired sits: the line after its identity lines in a mail about one
// disk of several.
struct MailOrigin {
  std::string device;  // "/dev/sdb"
  std::string host;    // the machine's fully qualified name (MachineFqdn)
};

// "Device: /dev/sdb on host ds1.example.com".
std::string DeviceLine(const MailOrigin& origin);

// The alert mail about the disk `drive` of the machine: six body lines, the three identity
// lines of `drive`, DeviceLine, " " and the alert text.
std::vector<std::string> AlertMailFields(const MailAccount& account, const DriveRecord& drive,
                                         const MailOrigin& origin, std::string_view alertText,
                                         const std::string& resultPath);

// The test mail: one body line.
std::vector<std::string> TestMailFields(const MailAccount& account, const std::string& resultPath);

// The fields as the mailer reads them on standard input: each one followed by a NUL byte.
// A NUL inside a value cannot be passed and is dropped.
std::string MailerInput(const std::vector<std::string>& fields);

}  // namespace ds
