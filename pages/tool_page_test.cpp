#include "pages/tool_page.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "platform/file_system.h"
#include "store/alert_fields.h"
#include "tests/temp_folder.h"

namespace ds {
namespace {

TEST(ToolPageFields, ButtonsTemperatureSwitchOptionListAndProgress) {
  const auto link = [](const char* name, const char* more) {
    return "<a href=\"javascript:void(0);\"><img src=\"./images/" + std::string(name) + "\"" +
           more + "></a>";
  };
  const std::string saveLive = link("button_save.png", " border=\"0\" onclick=\"SaveData();\"");
  const std::string testLive = link("button_test.png", " onclick=\"EmailTest();\"");
  const auto live = [](std::string n) {
    return "<input type=\"image\" src=\"./images/" + n + ".png\">";
  };
  const auto grey = [](std::string n) { return "<img src=\"./images/" + n + "_invalid.png\">"; };
  const auto units = [](std::string tag, const char* c, const char* f) {
    return "<" + tag + " src=\"./images/temp_c_" + c + ".png\">&nbsp;<" + tag +
           " src=\"./images/temp_f_" + f + ".png\">";
  };
  const std::string off = units("img", "off", "off"), image = "input type=\"image\"";
  const std::string day = "<option value=\"0\">Day</option>", month = "<option value=\"1\"",
                    year = "<option value=\"2\"";
  const struct {
    int edit, erase, unit, type, progress;
    std::vector<std::string> fields;  // start, edit, save, status, test, units, options, done, left
  } cases[] = {
      // clang-format off
      {0, 0, 1, 0, 33, {live("button_start"), live("button_edit"), grey("button_save"), "DISABLED", grey("button_test"), off, day + month + ">Month</option>" + year + ">Year</option>", "33", "67"}},
      {1, 0, 0, 2, 0, {live("button_start"), grey("button_edit"), saveLive, "", testLive, units(image, "on", "off"), day + month + ">Month</option>" + year + " selected>Year</option>", "0", "100"}},
      {0, 1, 0, 1, 100, {grey("button_start"), live("button_edit"), grey("button_save"), "DISABLED", grey("button_test"), off, day + month + " selected>Month</option>" + year + ">Year</option>", "100", "0"}},
      {1, 1, 7, -1, 250, {grey("button_start"), grey("button_edit"), saveLive, "", testLive, units(image, "off", "on"), "", "100", "0"}},
      // clang-format on
  };
  for (const auto& c : cases) {
    ToolPageInput input;
    input.toolEditMode = c.edit, input.eraseRunning = c.erase, input.eraseProgress = c.progress;
    input.settings.TemperatureType = c.unit, input.settings.RefreshByType = c.type;
    const std::vector<std::string> v = ToolPageFields(input).values();
    EXPECT_EQ((std::vector<std::string>{v[2], v[3], v[4], v[5], v[9], v[8], v[23], v[0], v[1]}),
              c.fields)
        << c.edit << c.erase << " " << c.unit << " " << c.type << " " << c.progress;
  }
}

// Each stored text in its own input's value, escaped for the attribute; the password's
// way from the form back to the program: tests/browser/tool_page.mjs.
TEST(ToolPage, StoredTextsAreEscapedForTheirAttributeAndThePageIsOwnerOnly) {
  ToolPageInput input{.driveCount = 1, .toolEditMode = 1, .settings = {}};
  AlertSettings& s = input.settings;
  TempFolder home;
  std::filesystem::create_directories(home.path() + "data/template");
  std::filesystem::copy_file(std::string(DS_SOURCE_DIR) + "/data/template/ToolPage.tmp",
                             home.path() + "data/template/ToolPage.tmp");
  s.EnableAlert = s.EnableSSL = 1;  // both switches CHECKED (a missing one: npos, all bits)
  // Every text field: the text, the id of its input and the attribute text a browser decodes
  // back to the text ("&", "<", ">", quotes as character references).
  const std::tuple<std::string*, const char*, const char*, const char*> escaped[] = {
      {&s.Above, "above", "7\"0", "7&quot;0"},
      {&s.Under, "under", "<5", "&lt;5"},
      {&s.Capacity, "capacity", "1&2", "1&amp;2"},
      {&s.HealthStatus, "health_status", "9>8", "9&gt;8"},
      {&s.LifespanYears, "lifespan_years", "'3", "&#39;3"},
      {&s.LifespanDays, "lifespan_days", "\"&<", "&quot;&amp;&lt;"},
      {&s.RefreshBy, "refresh_by", "2\" onfocus=\"x", "2&quot; onfocus=&quot;x"},
      {&s.From, "from", "\"Ops\" <o@x>", "&quot;Ops&quot; &lt;o@x&gt;"},
      {&s.To, "to", "a@x, b@y & c@z", "a@x, b@y &amp; c@z"},
      {&s.Host, "host", "STR_OPTION_REFRESH_BY", "STR&#95;OPTION_REFRESH_BY"},
      {&s.Port, "port", "25<", "25&lt;"},
      {&s.Id, "id", "it's", "it&#39;s"},
      {&s.Passwd, "passwd", "p\"w<&>'d ", "p&quot;w&lt;&amp;&gt;&#39;d "},
  };
  for (const auto& [field, id, text, attribute] : escaped)
    *field = text;
  std::string message, page;
  ASSERT_EQ(BuildToolPage(ProgramRoots(home.path()), input, &message), kToolPageFile);
  ASSERT_TRUE(ReadWholeFile(home.path() + "data/ToolPage.html", 1 << 20, &page, &message));
  for (const auto& [field, id, text, attribute] : escaped) {
    const std::size_t at = page.find("value=\"", page.find(std::string("id=\"") + id + "\"")) + 7;
    EXPECT_EQ(page.substr(at, page.find('"', at) - at), attribute) << id;
  }
  EXPECT_EQ(page.find("STR_"), std::string::npos);  // every placeholder filled
  EXPECT_NE(page.find("mails\" CHECKED >") | page.find("SSL\" CHECKED >"), std::string::npos);
  EXPECT_EQ(std::filesystem::status(home.path() + "data/ToolPage.html").permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

  input.driveCount = 0;  // no drive: the old page goes and none is written
  EXPECT_EQ(BuildToolPage(ProgramRoots(home.path()), input, &message), std::nullopt);
  EXPECT_FALSE(FileExists(home.path() + "data/ToolPage.html"));
  input.driveCount = 2;
  std::filesystem::remove(home.path() + "data/template/ToolPage.tmp");
  EXPECT_EQ(BuildToolPage(ProgramRoots(home.path()), input, &message), std::nullopt);
  EXPECT_EQ(message, "");
}

// The field table and the page template name the same fields: each row's placeholder and
// input are in the template, and each input of class "field" there has its row.
TEST(ToolPage, EveryAlertFieldHasItsPlaceOnThePageAndEveryPageFieldItsRow) {
  std::string page, message;
  ASSERT_TRUE(ReadWholeFile(std::string(DS_SOURCE_DIR) + "/data/template/ToolPage.tmp", 1 << 20,
                            &page, &message));
  std::set<std::string> inputs;
  for (const AlertField& field : AlertFields()) {
    if (field.placeholder != nullptr) {
      EXPECT_NE(page.find(field.placeholder), std::string::npos) << field.key;
    }
    if (field.pageInput != nullptr)
      inputs.insert(field.pageInput);
  }
  std::set<std::string> onPage;
  for (std::size_t at = page.find("class=\"field\" id=\""); at != std::string::npos;
       at = page.find("class=\"field\" id=\"", at + 1)) {
    const std::size_t id = at + 18;
    onPage.insert(page.substr(id, page.find('"', id) - id));
  }
  EXPECT_EQ(onPage, inputs);
}

}  // namespace
}  // namespace ds
