// Varden on emulated drives whose state lives in a file under the user's state folder: the
// whole program, without a drive of the maker at hand.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <functional>
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

  // The drives live in the state file: each use of a drive (from its opening to its closing)
  // reads the file once under its lock and saves what changed, so a varden-cli on the same
  // file and this program see one set of drives. No lock is held between uses, nor while
  // the disc prompt waits for the user.
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
    // The disc prompt waits for a person: the drives are let go while the box is open, so
    // other programs may use them meanwhile. A change of the drive's region or counts in
    // that time answers Cancel (nothing is sent on what the dialog read before); OK puts a
    // disc (unprotected) into the drive.
    dialog.SetDiscPromptHook([&drives](char letter, const std::function<bool()>& ask) {
      const std::optional<varden::emulated::DriveState> before = drives.KeptState(letter);
      const bool inside = drives.InTransaction();
      if (inside) drives.End();
      const bool ok = ask();
      if (const std::optional<std::string> error = drives.Begin()) {
        std::fprintf(stderr, "varden-demo: %s\n", error->c_str());
        return false;
      }
      const std::optional<varden::emulated::DriveState> after = drives.KeptState(letter);
      const bool same = before && after && varden::emulated::SameKeptState(*before, *after);
      if (ok && !same) {
        std::fprintf(stderr,
                     "varden-demo: drive %c %s while the disc prompt was open; the change is "
                     "not sent\n",
                     letter, after ? "was changed by another program" : "went away");
      }
      const bool go_on =
          ok && same && drives.Apply([letter](varden::emulated::EmulatedDrives& all) {
            const varden::emulated::DriveState* drive = all.Find(letter);
            if (drive != nullptr && !drive->disc.present) {
              all.InsertDisc(letter, varden::emulated::Disc{.present = true});
            }
          });
      if (!inside) drives.End();
      return go_on;
    });
  };
  const int status = varden::qt::RunRegionApp(options);
  return status;
}
