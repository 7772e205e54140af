#include "web/window_look.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

namespace ds {
namespace {

TEST(WindowLookTest, ButtonsLieInsideTheWindowAndDoNotOverlap) {
  for (int id = kFirstButton; id <= kLastButton; ++id) {
    const ButtonLayout* a = FindButtonLayout(id);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->id, id);
    EXPECT_GE(a->left, 0);
    EXPECT_LE(a->left + a->width, 800) << id;
    EXPECT_LE(a->top + a->height, 600) << id;
    for (int other = id + 1; other <= kLastButton; ++other) {
      const ButtonLayout* b = FindButtonLayout(other);
      bool apart = a->left + a->width <= b->left || b->left + b->width <= a->left ||
                   a->top + a->height <= b->top || b->top + b->height <= a->top;
      EXPECT_TRUE(apart) << id << " overlaps " << other;
    }
  }
  EXPECT_EQ(FindButtonLayout(999), nullptr);
  EXPECT_EQ(FindButtonLayout(1011), nullptr);
}

TEST(WindowLookTest, SelectedStateRules) {
  struct Case {
    int id;
    bool selected;
    int normal;
    int hover;
  };
  const Case cases[] = {
      // A selected tab shows its hover image in both states.
      {kTabDiskInfo, false, 137, 145},
      {kTabDiskInfo, true, 145, 145},
      {kTabHealth, true, 146, 146},
      {kTabSmart, true, 147, 147},
      {kTabTool, true, 148, 148},
      {kTabSystem, false, 141, 149},
      {kTabSystem, true, 149, 149},
      // Home while Home is shown: 151; otherwise 135.
      {kButtonHome, true, 151, 151},
      {kButtonHome, false, 135, 151},
      {kButtonInternal, true, 150, 150},
      {kButtonInternal, false, 136, 150},
      // The title buttons and the logo have no selected look.
      {kButtonClose, true, 131, 154},
      {kButtonMinimize, true, 133, 153},
      {kButtonLicence, false, 134, 152},
      {kButtonLogo, true, 142, 142},
  };
  for (const Case& c : cases) {
    ButtonFace face = FaceOf(c.id, c.selected);
    EXPECT_EQ(face.normalImage, c.normal) << c.id << " selected " << c.selected;
    EXPECT_EQ(face.hoverImage, c.hover) << c.id << " selected " << c.selected;
  }
  EXPECT_EQ(FaceOf(1011, true).normalImage, 0);
}

TEST(WindowLookTest, ImagesExistInTheDataFolder) {
  std::set<int> images;
  for (int id = kFirstButton; id <= kLastButton; ++id) {
    images.insert(FaceOf(id, false).normalImage);
    images.insert(FaceOf(id, false).hoverImage);
  }
  for (int image : images) {
    std::string path = std::string(DS_SOURCE_DIR) + "/data/" + ImageFile(image);
    EXPECT_TRUE(std::ifstream(path).good()) << path;
  }
}

TEST(WindowLookTest, SelectionIgnoresUnknownIds) {
  WindowLook look;
  look.setSelected(999, true);
  look.setSelected(1011, true);
  look.setSelected(kTabTool, true);
  EXPECT_FALSE(look.isSelected(999));
  EXPECT_FALSE(look.isSelected(1011));
  EXPECT_TRUE(look.isSelected(kTabTool));
  EXPECT_FALSE(look.isSelected(kTabSmart));
}

}  // namespace
}  // namespace ds
