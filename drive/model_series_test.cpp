#include "drive/model_series.h"

#include <gtest/gtest.h>

namespace ds {
namespace {

TEST(ModelSeriesTest, FirstMatchingSubstringWins) {
  struct Case {
    const char* model;
    int series;
  };
  const Case cases[] = {
      {"QRA-X50 240GB", 0}, {"QRA X55", 0},         {"QRB-X52 120GB", 1},
      {"QRC-X57 CFast", 2}, {"X50 X52", 1},         {"X55 X57", 2},
      {"x52", 99},          {"KINGSTON SA400", 99}, {"", 99},
      {"QRA-X5", 99},       {"X57X52", 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DetectModelSeries(c.model), c.series) << c.model;
}

TEST(ModelSeriesTest, MakersDiskByPrefixOrInternalMode) {
  struct Case {
    const char* model;
    int internalMode;
    bool makers;
  };
  const Case cases[] = {
      {"QRA-X50", 0, true},  {"QRB", 0, true},       {"QRC-X57", 0, true}, {"QRD-X50", 0, false},
      {"qra-X50", 0, false}, {" QRA-X50", 0, false}, {"QR", 0, false},     {"", 0, false},
      {"KINGSTON", 1, true}, {"KINGSTON", 2, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsMakersDisk(c.model, c.internalMode), c.makers) << c.model << " " << c.internalMode;
  }
}

}  // namespace
}  // namespace ds
