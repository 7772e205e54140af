#pragma once

#include <array>
#include <cstdint>
#include <string>

// What the window shows at a moment: the page id, the Home picture, the selected state and
// visibility of every skinned button, the browser's page, the tray state and the splash.
// MainDialog changes it under its mutex and hands a copy to the shell, which draws it.
namespace ds {

// Button control ids of the main window.
inline constexpr int kButtonClose = 1000;
inline constexpr int kButtonMinimize = 1001;
inline constexpr int kButtonLicence = 1002;
inline constexpr int kButtonHome = 1003;
inline constexpr int kButtonInternal = 1004;
inline constexpr int kTabDiskInfo = 1005;
inline constexpr int kTabHealth = 1006;
inline constexpr int kTabSmart = 1007;
inline constexpr int kTabTool = 1008;
inline constexpr int kTabSystem = 1009;
inline constexpr int kButtonLogo = 1010;
inline constexpr int kFirstButton = kButtonClose;
inline constexpr int kLastButton = kButtonLogo;
inline constexpr int kButtonCount = kLastButton - kFirstButton + 1;

// Page ids held in currentPage.
inline constexpr int kPageHome = 0;
inline constexpr int kPageInternal = 1;
inline constexpr int kPageDiskInfo = 2;
inline constexpr int kPageHealth = 3;
inline constexpr int kPageSmart = 4;
inline constexpr int kPageTool = 5;
inline constexpr int kPageSystem = 6;
inline constexpr int kPageCount = 7;

bool IsButtonId(int id);
bool IsTabId(int id);

// Geometry and tooltip of one skinned button, in window pixels.
struct ButtonLayout {
  int id;
  int left;
  int top;
  int width;
  int height;
  const char* tooltip;
  int normalImage;  // image resource number of the normal state
  int hoverImage;   // image resource number of the hover state
};

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
