// Varden on the computer's own drives.
#include <QApplication>
#include <iostream>

#include "app/qt/region_app.h"
#include "drive/linux/sg_device.h"
#include "text/linux/locale_code_page.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const unsigned code_page = varden::text::LocaleCodePage();
  varden::qt::InstallToolkitTranslation(app, code_page);
  varden::linux_sg::LinuxDevices devices;
  // The scan passes by a drive this user may not open as if it were not there; say why.
  for (const varden::linux_sg::RefusedNode& node : varden::linux_sg::RefusedNodes()) {
    std::cerr << "varden: " << varden::linux_sg::RefusedNodeHint(node) << '\n';
  }
  varden::qt::RunOptions options;
  options.code_page = code_page;
  options.seam = &devices;
  return varden::qt::RunRegionApp(options);
}
