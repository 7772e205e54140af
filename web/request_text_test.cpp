#include "web/request_text.h"

#include <gtest/gtest.h>

namespace ds {
namespace {

TEST(RequestTextTest, TargetsSplitIntoDecodedPathAndQuery) {
  struct Case {
    std::string target;
    bool ok;
    std::string path;
    std::string query;
  };
  const Case cases[] = {
      {"/", true, "/", ""},
      {"/t/data/Disk%20Info.html?download=a%20b", true, "/t/data/Disk Info.html", "download=a%20b"},
      {"/t/data/%2e%2e/x.html", true, "/t/data/../x.html", ""},
      {"/a+b?x=1?y=2", true, "/a+b", "x=1?y=2"},
      {"/%C3%A9", true, "/\xC3\xA9", ""},
      {"/x.html%00.png", false, "", ""},
      {"/x%zz", false, "", ""},
      {"/x%4", false, "", ""},
      {"/x%", false, "", ""},
      {"x", false, "", ""},
      {"http://127.0.0.1/t/", false, "", ""},
      {"*", false, "", ""},
      {"", false, "", ""},
  };
  for (const Case& c : cases) {
    std::string path;
    std::string query;
    EXPECT_EQ(SplitRequestTarget(c.target, &path, &query), c.ok) << c.target;
    if (c.ok) {
      EXPECT_EQ(path, c.path) << c.target;
      EXPECT_EQ(query, c.query) << c.target;
    }
  }
}

TEST(RequestTextTest, FormFields) {
  struct Case {
    std::string text;
    std::map<std::string, std::string> fields;
  };
  const Case cases[] = {
      {"type=button&id=1007", {{"type", "button"}, {"id", "1007"}}},
      {"type=dialog&text=a+b%26c%3Dd", {{"type", "dialog"}, {"text", "a b&c=d"}}},
      {"id=1&id=2", {{"id", "1"}}},
      {"check&&x=", {{"check", ""}, {"x", ""}}},
      {"a%20b=%zz%4", {{"a b", "%zz%4"}}},
      {"=v", {{"", "v"}}},
      {"", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeFormFields(c.text), c.fields) << c.text;
  }
}

}  // namespace
}  // namespace ds
