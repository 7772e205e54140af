#include "drive/model_series.h"

#include <gtest/gtest.h>

namespace ds {
namespace {

// The ordinary models are in the sample machine's report; these are the edges.
TEST(ModelSeriesTest, FirstMatchingSubstringWinsAndTheMakerByPrefixOrInternalMode) {
  const std::pair<const char*, int> series[] = {{"QRA X55", 0}, {"X50 X52", 1}, {"X55 X57", 2},
                                                {"x52", 99},    {"QRA-X5", 99}, {"X57X52", 1}};
  for (const auto& [model, expected] : series)
    EXPECT_EQ(DetectModelSeries(model), expected) << model;
  EXPECT_FALSE(IsMakersDisk("qra-X50", 0) || IsMakersDisk(" QRA-X50", 0) || IsMakersDisk("QR", 0) ||
               IsMakersDisk("QRD-X50", 0) || IsMakersDisk("KINGSTON", 2));
  EXPECT_TRUE(IsMakersDisk("KINGSTON", 1));
}

}  // namespace
}  // namespace ds
