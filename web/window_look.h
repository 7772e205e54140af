#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "pages/page_registry.h"

// What the window shows at a moment: the page id, the Home picture, the selected state and
// visibility of every skinned button, the browser's page, the tray state and the splash.
// MainDialog changes it under its mutex and hands a copy to the shell, which draws it.
namespace ds {

bool IsButtonId(int id);
bool IsTabId(int id);

// The layout row of a button id; nullptr for ids outside 1000-1010.
const ButtonLayout* FindButtonLayout(int id);

// The two images a button shows: the selected-state rules of the window. A selected tab,
// Home button or internal-page button shows its hover image in both states.
struct ButtonFace {
  int normalImage;
  int hoverImage;
};
ButtonFace FaceOf(int id, bool selected);

// File of an image resource number inside the data folder, e.g. "images/btn_137.svg".
std::string ImageFile(int imageNumber);

struct WindowLook {
  int page = kPageHome;
  bool homePicture = true;
  bool internalButtonVisible = false;
  std::array<bool, kButtonCount> selected{};  // index: id - 1000
  bool windowShown = false;                   // false until start-up has shown the window
  bool minimized = false;                     // hidden to the notification area
  bool ended = false;                         // the window was destroyed
  int splashSeconds = 0;                      // > 0 while the splash is up
  std::string frame;                          // page of the browser, relative to the data folder
  std::uint64_t frameSequence = 0;            // grows with every navigation, even to the same page

  // Ids outside 1000-1010 are never selected and cannot be set.
  bool isSelected(int id) const;
  void setSelected(int id, bool value);
};

}  // namespace ds
