#include "ui/qt/main_dialog.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include "text/catalogue.h"
#include "ui/qt/app_icon.h"
#include "ui/qt/progress_window.h"
#include "ui/qt/warning_picture.h"
#include "ui/resources/resource.h"

#if defined(VARDEN_HAVE_HTML_HELP)
#include "ui/qt/html_help.h"
#endif

namespace varden::qt {
namespace {

// The platform's own item of the system menu, in the language of Qt's translations.
QString CloseItemText() {
  return QCoreApplication::translate("QMdiSubWindow", "&Close");
}

// The name of the system menu, in the language of Qt's translations.
QString MenuName() {
  return QCoreApplication::translate("QMdiSubWindow", "Menu");
}

}  // namespace

HelpViewer DefaultHelpViewer() {
#if defined(VARDEN_HAVE_HTML_HELP)
  return [](QWidget* caller, std::string_view path) { return HtmlHelp(caller, path); };
#else
  return [](QWidget*, std::string_view) -> QWidget* { return nullptr; };
#endif
}

MainDialog::MainDialog(unsigned code_page, Sleeper& sleeper, QWidget* parent)
    : TemplateDialog(ui::MainDialogTemplate(), code_page == text::kJapaneseCodePage, parent),
      code_page_(code_page),
      japanese_(code_page == text::kJapaneseCodePage),
      logic_(std::make_unique<ui::RegionDialog>(*this, sleeper)),
      help_viewer_(DefaultHelpViewer()) {
  system_menu_ = new QMenu(this);
  QAction* close = system_menu_->addAction(CloseItemText());
  close->setData(ui::kScClose);
  connect(close, &QAction::triggered, this,
          [this] { RunCommand([this] { logic_->OnSysCommand(ui::kScClose); }); });

  for (int id : {IDC_GET_REGION, IDC_SET_REGION, IDC_EXIT}) {
    auto* button = qobject_cast<QPushButton*>(Control(id));
    connect(button, &QPushButton::clicked, this,
            [this, id] { RunCommand([this, id] { logic_->OnCommand(id); }); });
  }
  auto* list = qobject_cast<QComboBox*>(Control(IDC_DRIVE_LIST));
  // Only the user's choice is a selection change; the program's own selection is not.
  connect(list, &QComboBox::activated, this,
          [this] { RunCommand([this] { logic_->OnCommand(IDC_DRIVE_LIST); }); });
  auto* icon = qobject_cast<ClickableIcon*>(Control(IDC_APP_ICON));
  connect(icon, &ClickableIcon::clicked, this,
          [this](QPoint where) { system_menu_->popup(where); });
  // Named after the menu it opens, which the keyboard opens too (see OnDialogKey).
  icon->setAccessibleName(MenuName());
}

MainDialog::~MainDialog() {
  delete progress_;
}

void MainDialog::Initialise() {
  if (initialised_) return;
  initialised_ = true;
  logic_->OnInitDialog(code_page_);
  // Centred after its initialisation, as the platform centres a dialog without an owner.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  Control(IDC_DRIVE_LIST)->setFocus();
}

int MainDialog::Run() {
  Initialise();
  return exec();
}

void MainDialog::RunCommand(const std::function<void()>& command) {
  command();
  emit commandFinished();
}

bool MainDialog::HasSystemMenu() {
  return system_menu_ != nullptr;
}

void MainDialog::AppendSystemMenuSeparator() {
  system_menu_->addSeparator();
}

void MainDialog::AppendSystemMenuItem(unsigned command, std::string_view text) {
  QAction* action = system_menu_->addAction(FromUtf8(text));
  action->setData(command);
  connect(action, &QAction::triggered, this,
          [this, command] { RunCommand([this, command] { logic_->OnSysCommand(command); }); });
}

void MainDialog::DefaultSysCommand(unsigned command) {
  // The close command ends the dialog through its Cancel handling, as the platform's
  // default dialog processing does; the other system commands have no stand-in here.
  if (command == ui::kScClose) logic_->OnCancel();
}

bool MainDialog::MessageOkCancelExclamation(std::string_view text, std::string_view caption) {
  QMessageBox box(QMessageBox::Warning, DisplayText(caption), DisplayText(text),
                  QMessageBox::Ok | QMessageBox::Cancel, this);
  // The warning picture drawn for the screen's pixel density; the box keeps its warning kind.
  const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
  if (auto* picture = box.findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label")))
    picture->setPixmap(WarningPicture(side, devicePixelRatioF()));
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Cancel);
  const std::function<bool()> ask = [&box] { return box.exec() != QMessageBox::Cancel; };
  if (!disc_prompt_hook_) return ask();
  return disc_prompt_hook_(logic_->DriveLetter(logic_->SelectedDriveIndex()), ask);
}

void MainDialog::MessageOk(std::string_view text, std::string_view caption) {
  QMessageBox box(QMessageBox::NoIcon, DisplayText(caption), DisplayText(text), QMessageBox::Ok,
                  this);
  box.exec();
}

void MainDialog::ProgressOpen(int range_high, int step) {
  delete progress_;
  progress_ = new ProgressWindow(japanese_, range_high, step);
  emit progressOpened();
}

void MainDialog::ProgressStep() {
  if (progress_ != nullptr) progress_->Step();
}

void MainDialog::ProgressText(std::string_view text) {
  if (progress_ == nullptr) return;
  progress_->SetText(text);
  emit progressStepped(progress_->Position(), progress_->Text());
}

void MainDialog::ProgressClose() {
  if (progress_ == nullptr) return;
  delete progress_;
  progress_ = nullptr;
  emit progressClosed();
}

void MainDialog::RunAboutBox(std::string_view version_line) {
  TemplateDialog about(ui::AboutBoxTemplate(), japanese_, this);
  qobject_cast<QLabel*>(about.Control(IDC_VERSION))->setText(FromUtf8(version_line));
  auto* ok = qobject_cast<QPushButton*>(about.Control(ui::kIdOk));
  connect(ok, &QPushButton::clicked, &about, &QDialog::accept);
  ok->setFocus();
  about.exec();
}

bool MainDialog::ShowHelpTopic(std::string_view path) {
  return help_viewer_ && help_viewer_(this, path) != nullptr;
}

bool MainDialog::OnDialogKey(DialogKey key) {
  switch (key) {
    case DialogKey::kOk:
      logic_->OnOk();
      return true;
    case DialogKey::kCancel:
      logic_->OnCancel();
      return true;
    case DialogKey::kHelp:
      // The framework's help key opens the program's help topic.
      RunCommand([this] { logic_->ShowHelp(); });
      return true;
    case DialogKey::kSystemMenu:
      // Opened below the dialog's icon.
      system_menu_->popup(
          Control(IDC_APP_ICON)->mapToGlobal(Control(IDC_APP_ICON)->rect().bottomLeft()));
      return true;
  }
  return false;
}

void MainDialog::closeEvent(QCloseEvent* event) {
  // The close box is the system's close command; the logic decides how the dialog ends.
  event->ignore();
  RunCommand([this] { logic_->OnSysCommand(ui::kScClose); });
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
  system_menu_->exec(event->globalPos());
}

}  // namespace varden::qt
