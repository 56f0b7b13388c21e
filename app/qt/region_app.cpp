#include "app/qt/region_app.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>

#include "app/thread_sleeper.h"
#include "app/transfer_buffer.h"
#include "drive/drive_access.h"
#include "text/catalogue.h"
#include "ui/qt/main_dialog.h"

namespace varden::qt {
namespace {

// Gives the buffer back when the run leaves its scope, by any path.
class BufferHold {
 public:
  explicit BufferHold(std::function<void()> release) : release_(std::move(release)) {}
  ~BufferHold() {
    if (release_) release_();
  }
  BufferHold(const BufferHold&) = delete;
  BufferHold& operator=(const BufferHold&) = delete;

 private:
  std::function<void()> release_;
};

// Chooses the device seam for the run and lets go of it at the end.
class SeamHold {
 public:
  explicit SeamHold(DeviceSeam* seam) { SetDeviceSeam(seam); }
  ~SeamHold() { SetDeviceSeam(nullptr); }
  SeamHold(const SeamHold&) = delete;
  SeamHold& operator=(const SeamHold&) = delete;
};

}  // namespace

BufferFunctions DefaultBufferFunctions() {
  return BufferFunctions{[] { return AllocateTransferBuffer(); }, [] { ReleaseTransferBuffer(); }};
}

bool InstallToolkitTranslation(QApplication& app, unsigned code_page) {
  if (code_page != text::kJapaneseCodePage) return false;
  auto* translator = new QTranslator(&app);
  if (!translator->load(QStringLiteral("qtbase_ja"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

QString NoBufferMessage() {
  return QString::fromStdString(
      text::Format(text::Key::FMT_NO_TRANSFER_BUFFER, static_cast<int>(kTransferBufferSize)));
}

int RunRegionApp(const RunOptions& options) {
  // The refusal comes before the dialog, which fixes the language: it is chosen here the
  // same way, from the same code page.
  text::DecideLanguage(options.code_page);
  if (!options.buffer.allocate || options.buffer.allocate() != 0) {
    QMessageBox::critical(nullptr, QString::fromStdString(text::Text(text::Key::CAPTION_ERROR)),
                          NoBufferMessage());
    return 1;
  }
  const BufferHold buffer(options.buffer.release);
  const SeamHold seam(options.seam);
  ThreadSleeper thread_sleeper;
  Sleeper& sleeper = options.sleeper != nullptr ? *options.sleeper : thread_sleeper;

  MainDialog dialog(options.code_page, sleeper);
  if (options.configure) options.configure(dialog);
  dialog.Run();
  return 0;
}

}  // namespace varden::qt
