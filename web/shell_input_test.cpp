#include "web/shell_input.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "web/request_text.h"

namespace ds {
namespace {

// A form body's input fields as one line, or "refused" (with a message, input untouched).
std::string Parse(const std::string& body) {
  const std::map<std::string, std::string> form = DecodeFormFields(body);
  auto field = [&form](const std::string& name) -> const std::string* {
    auto it = form.find(name);
    return it == form.end() ? nullptr : &it->second;
  };
  ShellInput in;
  in.id = 77;
  std::string message;
  if (!ParseShellInput(field, &in, &message))
    return message.empty() || in.id != 77 ? "refused badly" : "refused";
  std::ostringstream line;
  line << static_cast<int>(in.kind) << " id=" << in.id << " button=" << in.mouseButton << " "
       << in.x << "," << in.y << " at=" << in.at << " key=" << in.key << " tray=" << in.trayLeft
       << " " << in.answer << " text=" << in.text << " yes=" << in.choiceYes
       << " check=" << in.check;
  return line.str();
}

TEST(ShellInputTest, WellFormedInputs) {
  const std::pair<const char*, const char*> cases[] = {
      {"type=mousedown&button=2&x=694&y=-3", "1 id=0 button=2 694,-3 at=0 key= tray=0  text="},
      {"type=mousedown&button=0&x=1&y=2&at=1796575361123", "1 id=0 button=0 1,2 at=1796575361123"},
      {"type=tray&button=double", "3 id=0 button=0 0,0 at=0 key= tray=0  text="},
      {"type=dialog&id=4&answer=ok&text=Talvex&choice=no&check=1",
       "4 id=4 button=0 0,0 at=0 key= tray=0 ok text=Talvex yes=0 check=1"},
      {"type=splash-close", "5 id=0 button=0 0,0 at=0 key= tray=0  text="},
      {"type=syscommand&id=16", "6 id=16 button=0"}};
  for (const auto& [body, fields] : cases)
    EXPECT_EQ(Parse(body).substr(0, std::string(fields).size()), fields) << body;
}

TEST(ShellInputTest, MalformedInputsAreRefused) {
  for (const char* body :
       {"", "type=explode", "type=button", "type=button&id=10x", "type=button&id=",
        "type=button&id=-5", "type=button&id=99999999999999999999", "type=mousedown&button=0&x=1",
        "type=mousedown&button=0&x=1.5&y=2", "type=mousedown&button=0&x=1&y=200000",
        "type=mousedown&button=9&x=1&y=2", "type=mousedown&button=0&x=%201&y=2",
        "type=mousedown&button=0&x=1&y=2&at=-5", "type=key", "type=tray&button=elbow",
        "type=dialog&id=1", "type=dialog&id=0&answer=ok", "type=dialog&id=1&answer=maybe"})
    EXPECT_EQ(Parse(body), "refused") << body;
  for (const std::string& body :
       {"type=key&key=" + std::string(40, 'k'),
        "type=dialog&id=1&answer=ok&text=" + std::string(300, 't'),
        std::string("type=syscommand&id=65536"), std::string("type=syscommand")})
    EXPECT_EQ(Parse(body), "refused") << body;
}

}  // namespace
}  // namespace ds
