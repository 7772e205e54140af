#include "web/window_look.h"

#include <gtest/gtest.h>

#include <fstream>

namespace ds {
namespace {

TEST(WindowLookTest, ButtonsLieInsideTheWindowApartAndTheirImagesExist) {
  for (int id = kFirstButton; id <= kLastButton; ++id) {
    const ButtonLayout* a = FindButtonLayout(id);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->id, id);
    EXPECT_GE(a->left, 0);
    EXPECT_LE(a->left + a->width, 800) << id;
    EXPECT_LE(a->top + a->height, 600) << id;
    for (int other = id + 1; other <= kLastButton; ++other) {
      const ButtonLayout* b = FindButtonLayout(other);
      EXPECT_TRUE(a->left + a->width <= b->left || b->left + b->width <= a->left ||
                  a->top + a->height <= b->top || b->top + b->height <= a->top)
          << id << " overlaps " << other;
    }
    for (int image : {FaceOf(id, false).normalImage, FaceOf(id, false).hoverImage}) {
      const std::string path = std::string(DS_SOURCE_DIR) + "/data/" + ImageFile(image);
      EXPECT_TRUE(std::ifstream(path).good()) << path;
    }
  }
  EXPECT_EQ(FindButtonLayout(kFirstButton - 1), nullptr);
  EXPECT_EQ(FindButtonLayout(kLastButton + 1), nullptr);
}

// A selected tab, Home or internal-page button shows its hover image in both states; the
// title buttons and the logo look the same selected or not.
TEST(WindowLookTest, SelectedLookAndSelection) {
  for (int id = kFirstButton; id <= kLastButton; ++id) {
    const ButtonFace plain = FaceOf(id, false);
    const ButtonFace selected = FaceOf(id, true);
    const bool selectable =
        (id >= kTabDiskInfo && id <= kTabSystem) || id == kButtonHome || id == kButtonInternal;
    EXPECT_EQ(selected.normalImage, selectable ? plain.hoverImage : plain.normalImage) << id;
    EXPECT_EQ(selected.hoverImage, plain.hoverImage) << id;
    EXPECT_NE(plain.normalImage, 0) << id;
  }
  EXPECT_EQ(FaceOf(kLastButton + 1, true).normalImage, 0);
  WindowLook look;
  look.setSelected(kFirstButton - 1, true);
  look.setSelected(kLastButton + 1, true);
  look.setSelected(kTabTool, true);
  EXPECT_FALSE(look.isSelected(kFirstButton - 1));
  EXPECT_FALSE(look.isSelected(kLastButton + 1));
  EXPECT_TRUE(look.isSelected(kTabTool));
  EXPECT_FALSE(look.isSelected(kTabSmart));
}

}  // namespace
}  // namespace ds
