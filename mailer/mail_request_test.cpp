#include "mailer/mail_request.h"

#include <gtest/gtest.h>

namespace ds {
namespace {

using Fields = std::vector<std::string>;

// The ten leading fields of the program's order followed by `tail`.
Fields MailFields(const Fields& tail) {
  Fields fields = {"1",  "smtp.x.com", "587",     "me",    "pass word",
                   "me", "a@x.com",    "a@x.com", "Alert", "/data/mail.txt"};
  fields.insert(fields.end(), tail.begin(), tail.end());
  return fields;
}

// What arrives through the whole split: the SMTP delivery test; here, empty fields stay.
TEST(MailRequestTest, SplitsStandardInputAtNulKeepingEmptyFields) {
  EXPECT_EQ(SplitNulFields({"p w\"d\0\0x\0", 9}), (Fields{"p w\"d", "", "x"}));
}

TEST(MailRequestTest, ReadsTheFieldsInTheirOrder) {
  // The fields, then the recipients and body lines read; no recipients: the list is refused.
  // clang-format off
  const std::tuple<Fields, Fields, Fields> cases[] = {
      {MailFields({"1", "b@y.com", "1", "3"}), {"b@y.com"}, {"3"}},
      {MailFields({"1", "b@y.com", "0"}), {"b@y.com"}, {}},
      {MailFields({"1", "b@y.com", "2", "one"}), {}, {}},
      {{"1", "h", "587", "me", "pass", "word", "me", "a@x.com", "a@x.com", "Alert", "/r", "1", "b@y.com", "1", "hi"}, {}, {}},  // a blank split the password
      {{"0", "h", "25", "me", "pw", "me", "a", "a", "s", "", "1", "b", "0"}, {}, {}},
      {{"0", "h", "25", "me", "pw", "me", "a", "a", "s", "/r", "0"}, {}, {}},
  };
  // clang-format on
  for (const auto& [fields, recipients, body] : cases) {
    MailRequest r;
    std::string message;
    const bool ok = ParseMailFields(fields, &r, &message);
    ASSERT_EQ(ok, !recipients.empty()) << fields[10] << " " << message;
    EXPECT_EQ(message.empty(), ok);
    if (!ok)
      continue;
    EXPECT_EQ(std::tie(r.recipients, r.bodyLines), std::tie(recipients, body));
    EXPECT_EQ(Fields({r.enableSsl ? "1" : "0", r.host, r.port, r.login, r.password, r.from,
                      r.subject, r.resultPath}),
              Fields({"1", "smtp.x.com", "587", "me", "pass word", "a@x.com", "Alert",
                      "/data/mail.txt"}));
  }
}

TEST(MailRequestTest, RefusesUnsafeFieldsAndMendsTheRest) {
  // clang-format off
  const std::pair<void (*)(MailRequest&), std::string> cases[] = {
      {[](MailRequest&) {}, ""},
      {[](MailRequest& r) { r.recipients[2] = "c@z.com\nBcc: x@evil.com"; }, "recipient"},
      {[](MailRequest& r) { r.recipients[0] += "\r"; }, "recipient"},
      {[](MailRequest& r) { r.from = "a@x.com\r\nBcc: x@evil.com"; }, "sender"},
      {[](MailRequest& r) { r.recipients = {"", " "}; }, "Error: no recipient"},
      {[](MailRequest& r) { r.host = "mail.x.com/x?y"; }, "mail server"},
      {[](MailRequest& r) { r.host = "::1"; }, ""},
      {[](MailRequest& r) { r.port = "0"; }, "port"},
      {[](MailRequest& r) { r.port = "65536"; }, "port"},
  };
  // clang-format on
  for (const auto& [change, error] : cases) {
    MailRequest r;
    r.host = "mail.x.com", r.port = "0587", r.from = " a@x.com ", r.subject = "Alert\tnow";
    r.recipients = {" b@y.com", "", "c@z.com\t"};
    r.bodyLines = {"Model Name: A\001B\177", "bad \xff byte", ".", "Grüße ✓",
                   "\xc0\xaf \xed\xa0\x80 \xf4\x90\x80\x80 \xe2\x9c"};
    change(r);
    std::string refusal;
    ASSERT_EQ(CheckMailRequest(&r, &refusal), error.empty()) << refusal;
    if (!error.empty()) {
      EXPECT_EQ(refusal.rfind("Error: ", 0), 0u);
      EXPECT_NE(refusal.find(error), std::string::npos) << refusal;
      EXPECT_EQ(refusal.find_first_of("\r\n"), std::string::npos);
      continue;
    }
    EXPECT_EQ(Fields({r.port, r.from, r.subject}), Fields({"587", "a@x.com", "Alert now"}));
    EXPECT_EQ(r.recipients, Fields({"b@y.com", "c@z.com"}));
    EXPECT_EQ(r.bodyLines,
              Fields({"Model Name: A B ", "bad ? byte", ".", "Grüße ✓", "?? ??? ???? ??"}));
  }
}

}  // namespace
}  // namespace ds
