#include "ui/dialog/window_placement.h"

#include <algorithm>

namespace varden::ui {

Rect PlaceBeside(const Rect& area, const Rect& dialog, int width, int height) {
  const int room_right = area.right - dialog.right;
  const int room_left = dialog.left - area.left;
  const bool right = width <= room_right || (width > room_left && room_right >= room_left);
  // The part of the dialog that stays in view on a screen too narrow for both.
  const int kept = dialog.Width() / 2;
  const int widest = std::max(right ? room_right : room_left, 0) + dialog.Width() - kept;
  width = std::min({width, widest, area.Width()});
  height = std::min(height, area.Height());
  int left =
      right ? std::min(dialog.right, area.right - width) : std::max(dialog.left - width, area.left);
  left = std::clamp(left, area.left, area.right - width);
  const int top = std::clamp(dialog.top, area.top, area.bottom - height);
  return Rect{left, top, left + width, top + height};
}

}  // namespace varden::ui
