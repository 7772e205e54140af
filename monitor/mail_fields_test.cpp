#include "monitor/mail_fields.h"

#include <gtest/gtest.h>

namespace ds {
namespace {

using Fields = std::vector<std::string>;

TEST(MailFieldsTest, RecipientsSplitAtCommas) {
  const std::pair<std::string, Fields> cases[] = {
      {" b@y.com c@z.com ", {"1", " b@y.com c@z.com "}},  // no comma: as it stands
      {" b@y.com ,\tc@z.com ", {"2", "b@y.com", "c@z.com"}},
      {"b@y.com,", {"2", "b@y.com", ""}},
      {",b@y.com,,", {"4", "", "b@y.com", "", ""}},
  };
  for (const auto& [to, fields] : cases)
    EXPECT_EQ(RecipientFields(to), fields) << to;
}

TEST(MailFieldsTest, FieldCheckNamesTheFirstMissingField) {
  const std::pair<MailAccount, const char*> cases[] = {
      {{0, "a@x.com", "b@y.com", "smtp.x.com", "25", "me", "pw"}, nullptr},
      {{1, "", "b@y.com", "smtp.x.com", "25", "me", "pw"}, "Please input \"From\" field!"},
      {{1, "a@x.com", "", "smtp.x.com", "25", "me", "pw"}, "Please input \"To\" field!"},
      {{1, "a@x.com", "b@y.com", "", "", "me", ""}, "Please input \"Host\" field!"},
      {{1, "a@x.com", "b@y.com", "smtp.x.com", "25", "", ""}, "Please input \"ID\" field!"},
      {{1, "a@x.com", "b@y.com", "smtp.x.com", "25", "me", ""}, "Please input \"Password\" field!"},
      {{1, "", "", "", "", "", "pw"}, "Please input \"From\" field!"},
  };
  for (const auto& [account, message] : cases)
    EXPECT_EQ(MailFieldCheck(account).value_or("<none>"), message ? message : "<none>");
}

// The test mail's subject and body reach a real server in the Tool page browser test.
TEST(MailFieldsTest, AlertMailInTheMailerOrder) {
  AlertSettings s;
  s.EnableSSL = 1, s.From = "a@x.com", s.To = "b@y.com, c@z.com", s.Host = "smtp.x.com";
  s.Port = "587", s.Id = "me", s.Passwd = "p w\"d";
  const MailAccount account = MailAccountOf(s);
  DriveRecord drive;
  drive.model = "QRA-X50 64GB        ", drive.serial = "20240101AA", drive.firmware = "";
  EXPECT_EQ(AlertMailFields(account, drive, "DUT's health status is under 96 (Current is 95).",
                            "/home/data/mail.txt"),
            (Fields{"1", "smtp.x.com", "587", "me", "p w\"d", "me", "a@x.com", "a@x.com",
                    "Norvik DriveSentinel warning message", "/home/data/mail.txt", "2", "b@y.com",
                    "c@z.com", "5", "Model Name: QRA-X50 64GB", "Serial Number: 20240101AA",
                    "Firmware Version:", " ", "DUT's health status is under 96 (Current is 95)."}));
  // A mail about one disk of several names its device and the machine after its identity.
  drive.firmware = "S9FM02.6";
  const Fields fields = AlertMailFields(account, drive, {"/dev/sdc", "ds1.example.com"}, "Too hot.",
                                        "/home/data/mail.txt");
  EXPECT_EQ(Fields(fields.begin() + 13, fields.end()),
            (Fields{"6", "Model Name: QRA-X50 64GB", "Serial Number: 20240101AA",
                    "Firmware Version: S9FM02.6", "Device: /dev/sdc on host ds1.example.com", " ",
                    "Too hot."}));
}

TEST(MailFieldsTest, InputEndsEveryFieldWithNul) {
  EXPECT_EQ(MailerInput({}), "");
  EXPECT_EQ(MailerInput({"1", "", "p w\"d", std::string("x\0y", 3)}),
            std::string("1\0\0p w\"d\0xy\0", 12));
}

}  // namespace
}  // namespace ds
