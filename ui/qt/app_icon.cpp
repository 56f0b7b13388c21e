#include "ui/qt/app_icon.h"

// The resource file lives in a static library: its data must be pulled in by name.
static void InitIconResource() {
  Q_INIT_RESOURCE(icons);
}

namespace varden::qt {

const QIcon& AppIcon() {
  // Decoded once for the run and shared by every window and icon control. Kept until the
  // process ends: its pixmaps must not outlive the application object in a static's
  // destructor.
  static const QIcon* const icon = [] {
    InitIconResource();
    auto* built = new QIcon;
    for (const char* file :
         {":/varden/varden-16.png", ":/varden/varden-32.png", ":/varden/varden-64.png"}) {
      built->addFile(QString::fromLatin1(file));
    }
    return built;
  }();
  return *icon;
}

}  // namespace varden::qt
