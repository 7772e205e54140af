#include "web/window_look.h"

#include <gtest/gtest.h>

#include <fstream>

namespace ds {
namespace {

TEST(WindowLookTest, ButtonsLieInsideTheWindowApartAndTheirImagesExist) {
  for (int id = kFirstButton; id <= kLastButton; ++id) {
    const ButtonLayout* a = FindButtonLayout(id);
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a->id == id && a->left >= 0 && a->left + a->width <= 800 &&
                a->top + a->height <= 600)
        << id;
    for (int other = id + 1; other <= kLastButton; ++other) {
      const ButtonLayout* b = FindButtonLayout(other);
      EXPECT_TRUE(a->left + a->width <= b->left || b->left + b->width <= a->left ||
                  a->top + a->height <= b->top || b->top + b->height <= a->top)
          << id << " overlaps " << other;
    }
    for (int image : {FaceOf(id, false).normalImage, FaceOf(id, false).hoverImage})
      EXPECT_TRUE(std::ifstream(std::string(DS_SOURCE_DIR) + "/data/" + ImageFile(image)).good())
          << ImageFile(image);
  }
  EXPECT_TRUE(!FindButtonLayout(kFirstButton - 1) && !FindButtonLayout(kLastButton + 1));
}

// A selected tab, Home or internal button shows its hover image; other buttons look the same.
TEST(WindowLookTest, SelectedLookAndSelection) {
  for (int id = kFirstButton; id <= kLastButton; ++id) {
    const ButtonFace plain = FaceOf(id, false), selected = FaceOf(id, true);
    const bool selectable =
        (id >= kTabDiskInfo && id <= kTabSystem) || id == kButtonHome || id == kButtonInternal;
    EXPECT_EQ(selected.normalImage, selectable ? plain.hoverImage : plain.normalImage) << id;
    EXPECT_EQ(selected.hoverImage, plain.hoverImage) << id;
    EXPECT_NE(plain.normalImage, 0) << id;
  }
  EXPECT_EQ(FaceOf(kLastButton + 1, true).normalImage, 0);
  WindowLook look;
  for (int id : {kFirstButton - 1, kLastButton + 1, kTabTool})
    look.setSelected(id, true);
  EXPECT_EQ(std::vector({look.isSelected(kFirstButton - 1), look.isSelected(kLastButton + 1),
                         look.isSelected(kTabTool), look.isSelected(kTabSmart)}),
            std::vector({false, false, true, false}));
}

}  // namespace
}  // namespace ds
