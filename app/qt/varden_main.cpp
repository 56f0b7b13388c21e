// Varden on the computer's own drives.
#include <QApplication>

#include "app/qt/region_app.h"
#include "drive/linux/sg_device.h"
#include "text/linux/locale_code_page.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const unsigned code_page = varden::text::LocaleCodePage();
  varden::qt::InstallToolkitTranslation(app, code_page);
  varden::linux_sg::LinuxDevices devices;
  varden::qt::RunOptions options;
  options.code_page = code_page;
  options.seam = &devices;
  return varden::qt::RunRegionApp(options);
}
