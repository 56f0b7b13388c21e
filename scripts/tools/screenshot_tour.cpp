// Takes the pictures of the program for its documentation, on a real X display (Xvfb): the
// progress window during the scan, the main dialog, the disc prompt of a region change, the
// About box and the help window. Each picture is the screen as the user sees it, cut to the
// windows that are open. Run by scripts/screenshots.sh.
//
//   varden_screenshot_tour <output folder> <name suffix> <help folder>
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "app/qt/region_app.h"
#include "app/transfer_buffer.h"
#include "drive/drive_access.h"
#include "emulated/emulated_drive.h"
#include "emulated/state_file.h"
#include "text/linux/locale_code_page.h"
#include "ui/qt/main_dialog.h"
#include "ui/resources/resource.h"

namespace {

using varden::qt::MainDialog;

QString output_folder;
QString suffix;

// Lets the window manager and the display catch up, then saves the screen cut to the open
// windows (with a margin) as <name><suffix>.png.
void Shoot(const QString& name) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 400) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QThread::msleep(20);
  }
  QRect area;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window->isVisible() && !window->isMinimized()) area |= window->frameGeometry();
  }
  QScreen* screen = QGuiApplication::primaryScreen();
  constexpr int kMargin = 16;
  area = area.adjusted(-kMargin, -kMargin, kMargin, kMargin) & screen->geometry();
  const QPixmap picture = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
  const QString file = QDir(output_folder).filePath(name + suffix + ".png");
  if (!picture.save(file)) std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
}

// Once a modal window of type T is open: picture it as `name`, then `close` it.
template <class T>
void WhenModal(const QString& name, std::function<void(T*)> close) {
  auto* timer = new QTimer;
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, name, close] {
    if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      Shoot(name);
      close(window);
    }
  });
  timer->start();
}

class NoWait : public varden::Sleeper {
 public:
  void SleepMilliseconds(int) override {}
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s <output folder> <name suffix> <help folder>\n", argv[0]);
    return 2;
  }
  output_folder = QString::fromLocal8Bit(argv[1]);
  suffix = QString::fromLocal8Bit(argv[2]);
  const QString help_folder = QString::fromLocal8Bit(argv[3]);
  const unsigned code_page = varden::text::LocaleCodePage();
  varden::qt::InstallToolkitTranslation(app, code_page);

  // The demo's own drives, as a first run of the demo finds them.
  varden::emulated::EmulatedDrives drives(varden::emulated::DemoScenario());
  varden::SetDeviceSeam(&drives);
  if (varden::AllocateTransferBuffer() != 0) return 1;
  NoWait sleeper;

  MainDialog dialog(code_page, sleeper);
  QObject::connect(&dialog, &MainDialog::progressStepped, [](int position, const QString&) {
    if (position == 12) Shoot("progress");
  });
  dialog.Initialise();
  dialog.show();
  Shoot("main");

  // The disc prompt: the drive without a disc. Its first change goes through (no region yet,
  // every change left); the second asks for a disc.
  auto* list = qobject_cast<QComboBox*>(dialog.Control(IDC_DRIVE_LIST));
  for (int i = 0; i < list->count(); ++i) {
    if (list->itemText(i).startsWith('G')) {
      list->setCurrentIndex(i);
      emit list->activated(i);
    }
  }
  qobject_cast<QRadioButton*>(dialog.Control(IDC_REGION1))->click();
  auto* set_region = qobject_cast<QPushButton*>(dialog.Control(IDC_SET_REGION));
  set_region->click();
  WhenModal<QMessageBox>("disc-prompt",
                         [](QMessageBox* box) { box->button(QMessageBox::Cancel)->click(); });
  set_region->click();
  Shoot("after-cancel");

  WhenModal<varden::qt::TemplateDialog>("about",
                                        [](varden::qt::TemplateDialog* about) { about->accept(); });
  dialog.Logic().OnSysCommand(IDM_ABOUTBOX);

  // When the help files are missing, the error box is what the user sees.
  WhenModal<QMessageBox>("help-missing", [](QMessageBox* box) { box->accept(); });
  QDir::setCurrent(help_folder);
  dialog.Logic().OnSysCommand(IDM_HELP);
  Shoot("help");

  varden::ReleaseTransferBuffer();
  varden::SetDeviceSeam(nullptr);
  return 0;
}
