#include "ui/qt/app_icon.h"

// The resource file lives in a static library: its data must be pulled in by name.
static void InitIconResource() {
  Q_INIT_RESOURCE(icons);
}

namespace varden::qt {

QIcon AppIcon() {
  static const bool loaded = [] {
    InitIconResource();
    return true;
  }();
  (void)loaded;
  QIcon icon;
  for (const char* file :
       {":/varden/varden-16.png", ":/varden/varden-32.png", ":/varden/varden.png"}) {
    icon.addFile(QString::fromLatin1(file));
  }
  return icon;
}

}  // namespace varden::qt
