#include "monitor/metrics_board.h"

#include <gtest/gtest.h>

namespace ds {
namespace {

// The text format writes a label value in double quotes with a backslash as \\, a double
// quote as \" and a line feed as \n; the expected labels are written out by that rule.
TEST(MetricsBoardTest, LabelValuesAreEscapedAsTheTextFormatWrites) {
  const std::pair<const char*, const char*> cases[] = {
      {"plain 1", R"(model="plain 1")"},        {R"(back\slash)", R"(model="back\\slash")"},
      {R"(say "hi")", R"(model="say \"hi\"")"}, {"two\nlines", R"(model="two\nlines")"},
      {"\\n\"\\", R"(model="\\n\"\\")"},
  };
  for (const auto& [model, labels] : cases) {
    MetricsBoard board("1.1");
    DriveMetrics drive;
    drive.driveNumber = 3, drive.model = model, drive.serial = "S\"N";
    board.Publish({drive});
    const std::string line = std::string("drivesentinel_drive_read_success{drive=\"3\",") + labels +
                             R"(,serial="S\"N"} 0)";
    EXPECT_NE(board.PrometheusText().find(line + "\n"), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace ds
