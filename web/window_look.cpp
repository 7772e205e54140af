#include "web/window_look.h"

namespace ds {

bool IsButtonId(int id) {
  return id >= kFirstButton && id <= kLastButton;
}

bool IsTabId(int id) {
  return id >= kTabDiskInfo && id <= kTabSystem;
}

const ButtonLayout* FindButtonLayout(int id) {
  if (!IsButtonId(id))
    return nullptr;
  return &WindowButtons()[static_cast<std::size_t>(id - kFirstButton)];
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
