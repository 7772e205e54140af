#include "web/window_look.h"

#include <array>

namespace ds {
namespace {

constexpr std::array<ButtonLayout, kButtonCount> kLayouts = {{
    {kButtonClose, 746, 0, 34, 34, "Close", 131, 154},
    {kButtonMinimize, 712, 0, 34, 34, "Minimize", 133, 153},
    {kButtonLicence, 678, 0, 34, 34, "End User License Agreement", 134, 152},
    {kButtonHome, 644, 0, 34, 34, "Home", 135, 151},
    {kButtonInternal, 610, 0, 34, 34, "N", 136, 150},
    {kTabDiskInfo, 268, 41, 100, 74, "Disk Information", 137, 145},
    {kTabHealth, 368, 41, 100, 74, "Health Status", 138, 146},
    {kTabSmart, 468, 41, 100, 74, "S.M.A.R.T.", 139, 147},
    {kTabTool, 568, 41, 100, 74, "TOOL", 140, 148},
    {kTabSystem, 668, 41, 100, 74, "System Information", 141, 149},
    {kButtonLogo, 682, 562, 99, 27, "Norvik", 142, 142},
}};

}  // namespace

bool IsButtonId(int id) {
  return id >= kFirstButton && id <= kLastButton;
}

bool IsTabId(int id) {
  return id >= kTabDiskInfo && id <= kTabSystem;
}

const ButtonLayout* FindButtonLayout(int id) {
  if (!IsButtonId(id))
    return nullptr;
  return &kLayouts[static_cast<std::size_t>(id - kFirstButton)];
}

ButtonFace FaceOf(int id, bool selected) {
  const ButtonLayout* layout = FindButtonLayout(id);
  if (layout == nullptr)
    return {0, 0};
  // Only the tabs, Home and the internal-page button have a selected look.
  bool selectable = IsTabId(id) || id == kButtonHome || id == kButtonInternal;
  if (selected && selectable)
    return {layout->hoverImage, layout->hoverImage};
  return {layout->normalImage, layout->hoverImage};
}

bool WindowLook::isSelected(int id) const {
  if (!IsButtonId(id))
    return false;
  return selected[static_cast<std::size_t>(id - kFirstButton)];
}

void WindowLook::setSelected(int id, bool value) {
  if (IsButtonId(id))
    selected[static_cast<std::size_t>(id - kFirstButton)] = value;
}

std::string ImageFile(int imageNumber) {
  return "images/btn_" + std::to_string(imageNumber) + ".svg";
}

}  // namespace ds
