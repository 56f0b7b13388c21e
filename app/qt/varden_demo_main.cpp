// Varden on emulated drives whose state lives in a file under the user's state folder: the
// whole program, without a drive of the maker at hand.
#include <QApplication>
#include <QMessageBox>
#include <string>

#include "app/qt/demo_state.h"
#include "app/qt/region_app.h"
#include "emulated/state_file.h"
#include "text/catalogue.h"
#include "text/linux/locale_code_page.h"
#include "ui/qt/main_dialog.h"

namespace {

QString ErrorCaption() {
  return QString::fromStdString(varden::text::Text(varden::text::Key::CAPTION_ERROR));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const unsigned code_page = varden::text::LocaleCodePage();
  varden::qt::InstallToolkitTranslation(app, code_page);

  const std::filesystem::path file = varden::emulated::DefaultStateFile();
  varden::emulated::EmulatedDrives drives;
  const varden::qt::DemoOpen opened = varden::qt::OpenDemoState(file, drives);
  if (!opened.ok) {
    QMessageBox::critical(
        nullptr, ErrorCaption(),
        QStringLiteral("The demo's drive state cannot be used, so the demo does not start.\n\n"
                       "%1\n\nThe file is left as it is. Repair it, or move it away to start "
                       "again with new demo drives.")
            .arg(QString::fromStdString(opened.error)));
    return 1;
  }

  bool save_failed = false;
  auto save = [&] {
    std::string error;
    if (varden::qt::SaveDemoState(file, drives, error) || save_failed) return;
    save_failed = true;  // one box per run is enough
    QMessageBox::warning(nullptr, ErrorCaption(),
                         QStringLiteral("The demo's drive state could not be saved:\n%1")
                             .arg(QString::fromStdString(error)));
  };

  varden::qt::RunOptions options;
  options.code_page = code_page;
  options.seam = &drives;
  // Every command may change a drive (its region, a pending disc change): keep the file
  // current after each one.
  options.configure = [&](varden::qt::MainDialog& dialog) {
    QObject::connect(&dialog, &varden::qt::MainDialog::commandFinished, &dialog, save);
    // OK in the disc prompt: the user has put a disc (unprotected) into the drive.
    dialog.SetDiscPromptHook([&drives](char letter) {
      const varden::emulated::DriveState* drive = drives.Find(letter);
      if (drive != nullptr && !drive->disc.present) {
        drives.InsertDisc(letter, varden::emulated::Disc{.present = true});
      }
    });
  };
  const int status = varden::qt::RunRegionApp(options);
  if (status == 0) save();
  return status;
}
