#include "web/request_text.h"

#include <gtest/gtest.h>

namespace ds {
namespace {

TEST(RequestTextTest, TargetsSplitIntoDecodedPathAndQuery) {
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"/", "/", ""},
      {"/t/data/Disk%20Info.html?download=a%20b", "/t/data/Disk Info.html", "download=a%20b"},
      {"/t/data/%2e%2e/x.html", "/t/data/../x.html", ""},
      {"/a+b?x=1?y=2", "/a+b", "x=1?y=2"},
      {"/%C3%A9", "/\xC3\xA9", ""},
  };
  for (const auto& [target, expectedPath, expectedQuery] : cases) {
    std::string path, query;
    EXPECT_TRUE(SplitRequestTarget(target, &path, &query)) << target;
    EXPECT_EQ(path + "|" + query, expectedPath + "|" + expectedQuery) << target;
  }
  for (const char* refused :
       {"/x.html%00.png", "/x%zz", "/x%4", "/x%", "x", "http://127.0.0.1/t/", "*", ""}) {
    std::string path, query;
    EXPECT_FALSE(SplitRequestTarget(refused, &path, &query)) << refused;
  }
}

TEST(RequestTextTest, FormFields) {
  const std::pair<std::string, std::map<std::string, std::string>> cases[] = {
      {"type=button&id=1007", {{"type", "button"}, {"id", "1007"}}},
      {"type=dialog&text=a+b%26c%3Dd", {{"type", "dialog"}, {"text", "a b&c=d"}}},
      {"id=1&id=2", {{"id", "1"}}},
      {"check&&x=", {{"check", ""}, {"x", ""}}},
      {"a%20b=%zz%4", {{"a b", "%zz%4"}}},
      {"=v", {{"", "v"}}},
      {"", {}},
  };
  for (const auto& [text, fields] : cases)
    EXPECT_EQ(DecodeFormFields(text), fields) << text;
}

}  // namespace
}  // namespace ds
