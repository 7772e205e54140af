#include "mailer/mail_message.h"

#include <gtest/gtest.h>

#include <regex>

namespace ds {
namespace {

std::string DecodeBase64(std::string_view text) {
  const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned value = 0, bits = 0;
  for (char c : text)
    if (std::size_t digit = digits.find(c); digit != std::string::npos) {  // skips "=", CR LF
      value = (value << 6) | static_cast<unsigned>(digit), bits += 6;
      if (bits >= 8)
        bits -= 8, out += static_cast<char>((value >> bits) & 0xFF);
    }
  return out;
}

TEST(MailMessageTest, Base64AndAddresses) {
  const std::pair<std::string, std::string> vectors[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foobar", "Zm9vYmFy"}, {{"\xff\xfe\0", 3}, "//4A"}};
  for (const auto& [bytes, encoded] : vectors)
    EXPECT_EQ(Base64(bytes), encoded);
  EXPECT_EQ(EnvelopeAddress("\"Last, First\" <a@x.com>") + EnvelopeAddress(" b@y.com") +
                EnvelopeAddress("broken <c@z"),
            "a@x.com b@y.combroken <c@z");
}

TEST(MailMessageTest, SubjectIsEncodedOnlyWhenNotPlainAscii) {
  for (const char* plain : {"Norvik test mail", ""})
    EXPECT_EQ(EncodeSubject(plain), plain);
  std::string longUtf8;
  for (int i = 0; i < 40; ++i)
    longUtf8 += "Prüfung ✓ ";  // 2- and 3-byte sequences meet the word boundaries
  for (const std::string& subject : {std::string("Prüfung"), longUtf8, std::string(1000, 'a')}) {
    std::string value = EncodeSubject(subject);
    std::regex word(R"(=\?UTF-8\?B\?([A-Za-z0-9+/=]+)\?=)");
    std::string decoded, rebuilt;
    for (std::sregex_iterator it(value.begin(), value.end(), word), end; it != end; ++it) {
      std::string text = DecodeBase64((*it)[1].str());
      EXPECT_LE(it->length(), 75);
      EXPECT_NE(static_cast<unsigned char>(text[0]) & 0xC0, 0x80u) << "a sequence was cut";
      decoded += text;
      rebuilt += (rebuilt.empty() ? "" : "\r\n ") + it->str();
    }
    EXPECT_EQ(std::tie(decoded, value), std::tie(subject, rebuilt));  // folded between words only
  }
}

TEST(MailMessageTest, NonAsciiDisplayNamesGoAsEncodedWords) {
  const std::pair<std::string, std::string> cases[] = {
      {"Jörg Müller <a@x.com>", "=?UTF-8?B?SsO2cmcgTcO8bGxlcg==?= <a@x.com>"},
      {" \"Müller, Jörg\" <a@x.com>", "=?UTF-8?B?TcO8bGxlciwgSsO2cmc=?= <a@x.com>"},
      {"Prüfstand “Halle 3” – Linie 7 Überwachung der SSD <a@x.com>",
       "=?UTF-8?B?UHLDvGZzdGFuZCDigJxIYWxsZSAz4oCdIOKAkyBMaW5pZSA3IMOcYmVyd2Fj?=\r\n"
       " =?UTF-8?B?aHVuZyBkZXIgU1NE?= <a@x.com>"},
      {"\"Alerts, Plant 2\" <a@x.com>", "\"Alerts, Plant 2\" <a@x.com>"},
      {"jörg@exämple.com", "jörg@exämple.com"},  // the address itself as written
  };
  for (const auto& [mailbox, header] : cases) {
    MailRequest request;
    request.from = mailbox, request.recipients = {mailbox}, request.bodyLines = {"hi"};
    std::string message = ComposeMessage(request, {"Fri, 01 Jan 1971 00:00:00 +0000", "<id@x>"});
    EXPECT_NE(message.find("\r\nFrom: " + header + "\r\nTo: " + header + "\r\n"), std::string::npos)
        << message;
  }
}

TEST(MailMessageTest, ComposesHeadersAndBody) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"Model Name: QRA-X50", " ", ".leading dot"}, "7bit"},
      {{"Model Name: Größe", "✓"}, "base64"},
      {{std::string(1200, 'x')}, "base64"},  // longer than an SMTP line
  };
  for (const auto& [lines, encoding] : cases) {
    MailRequest request;
    request.from = "Alerts <a@x.com>", request.subject = "Norvik test mail";
    request.recipients = {"b@y.com", "c@z.com"}, request.bodyLines = lines;
    std::string message = ComposeMessage(request, {"Fri, 01 Jan 1971 00:00:00 +0000", "<id@x>"});
    // No bare CR or LF, no line over 998 characters, the last line ended.
    EXPECT_FALSE(std::regex_search(message, std::regex("[^\r]\n|\r[^\n]|[^\r\n]{999}")));
    EXPECT_TRUE(message.ends_with("\r\n"));
    std::size_t split = message.find("\r\n\r\n");
    ASSERT_NE(split, std::string::npos);
    // The other headers, as a mail reader parses them: the SMTP delivery test.
    for (const std::string& header :
         {std::string("From: Alerts <a@x.com>"), "Content-Transfer-Encoding: " + encoding})
      EXPECT_NE(message.find("\r\n" + header + "\r\n"), std::string::npos) << header;
    std::string body = message.substr(split + 4), expected;
    for (const std::string& line : lines)
      expected += line + "\r\n";
    EXPECT_EQ(encoding == "base64" ? DecodeBase64(body) : body, expected);
  }
}

}  // namespace
}  // namespace ds
