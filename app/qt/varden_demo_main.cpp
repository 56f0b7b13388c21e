// Varden on emulated drives whose state lives in a file under the user's state folder: the
// whole program, without a drive of the maker at hand.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <optional>
#include <string>

#include "app/qt/region_app.h"
#include "emulated/state_file.h"
#include "emulated/state_store.h"
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

  // The drives live in the state file: every command reads it under its lock and saves
  // what it changed, so a varden-cli on the same file and this program see one set of
  // drives. No lock is held between commands, nor across a dialog or a wait.
  const std::filesystem::path file = varden::emulated::DefaultStateFile();
  varden::emulated::StoredDrives drives(file);
  const std::optional<std::string> error =
      file.empty() ? std::optional<std::string>("there is no home folder for the state file")
                   : drives.Connect(/*will_change=*/false);
  if (error) {
    QMessageBox::critical(
        nullptr, ErrorCaption(),
        QStringLiteral("The demo's drive state cannot be used, so the demo does not start.\n\n"
                       "%1\n\nThe file is left as it is. Repair it, or move it away to start "
                       "again with new demo drives.")
            .arg(QString::fromStdString(*error)));
    return 1;
  }
  // A change that cannot be kept fails as a drive's refusal does; standard error says why.
  drives.SetFailureSink([](const std::string& failure) {
    std::fprintf(stderr, "varden-demo: %s\n", failure.c_str());
  });

  varden::qt::RunOptions options;
  options.code_page = code_page;
  options.seam = &drives;
  options.configure = [&drives](varden::qt::MainDialog& dialog) {
    // OK in the disc prompt: the user has put a disc (unprotected) into the drive.
    dialog.SetDiscPromptHook([&drives](char letter) {
      drives.Apply([letter](varden::emulated::EmulatedDrives& all) {
        const varden::emulated::DriveState* drive = all.Find(letter);
        if (drive != nullptr && !drive->disc.present) {
          all.InsertDisc(letter, varden::emulated::Disc{.present = true});
        }
      });
    });
  };
  const int status = varden::qt::RunRegionApp(options);
  return status;
}
