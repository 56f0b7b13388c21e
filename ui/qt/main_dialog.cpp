#include "ui/qt/main_dialog.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTextCursor>

#include "text/catalogue.h"
#include "ui/qt/app_icon.h"
#include "ui/qt/progress_window.h"
#include "ui/resources/resource.h"

#if defined(VARDEN_HAVE_HTML_HELP)
#include "ui/qt/html_help.h"
#endif

namespace varden::qt {
namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The displayed position of character `position` of a log text that keeps "\r\n" (the
// display shows each "\r\n" as one line break). -1 or a position past the end: the end.
int DisplayPosition(const std::string& text, int position) {
  if (position < 0) return -1;
  std::size_t byte = 0;
  for (int count = 0; byte < text.size() && count < position; ++count) {
    ++byte;
    while (byte < text.size() && (static_cast<unsigned char>(text[byte]) & 0xC0) == 0x80) ++byte;
  }
  return static_cast<int>(DisplayText(std::string_view(text).substr(0, byte)).size());
}

// The tint that shows a button's pushed state, lasting until the dialog ends.
QColor PushedTint(const QPalette& palette) {
  const QColor base = palette.color(QPalette::Window);
  const QColor mark = palette.color(QPalette::Highlight);
  constexpr double kShare = 0.3;
  return QColor::fromRgbF(base.redF() * (1 - kShare) + mark.redF() * kShare,
                          base.greenF() * (1 - kShare) + mark.greenF() * kShare,
                          base.blueF() * (1 - kShare) + mark.blueF() * kShare);
}

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
  // Named after the menu it opens, which the keyboard opens too (see HandleDialogKey).
  icon->setAccessibleName(MenuName());

  for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
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

void MainDialog::Enable(int id, bool on) {
  if (QWidget* widget = Control(id)) widget->setEnabled(on);
}

void MainDialog::SetCheck(int id, bool on) {
  auto* button = qobject_cast<QAbstractButton*>(Control(id));
  if (button == nullptr) return;
  // The platform's check state belongs to the one button: checking a radio button leaves
  // the others as they are, and unchecking may leave none of them checked.
  const bool exclusive = button->autoExclusive();
  button->setAutoExclusive(false);
  button->setChecked(on);
  button->setAutoExclusive(exclusive);
}

bool MainDialog::GetCheck(int id) {
  QWidget* widget = Control(id);
  if (auto* box = qobject_cast<QCheckBox*>(widget)) return box->checkState() == Qt::Checked;
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->isChecked();
  return false;
}

void MainDialog::Highlight(int id) {
  auto* button = qobject_cast<QAbstractButton*>(Control(id));
  if (button == nullptr) return;
  button->setDown(true);
  QPalette palette = button->palette();
  palette.setColor(QPalette::Window, PushedTint(palette));
  button->setPalette(palette);
  button->setAutoFillBackground(true);
  button->setProperty("pushed", true);
  button->update();
}

void MainDialog::SetText(int id, std::string_view text) {
  QWidget* widget = Control(id);
  if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
    log_text_.assign(text);
    log_scroll_pending_ = false;
    // As the platform's edit control after new text: caret at the start, scrolled to the top.
    edit->setPlainText(DisplayText(text));
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(FromUtf8(text));
  } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
    group->setTitle(FromUtf8(text));
    NameControlsAfterLabels();
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(FromUtf8(text));
    NameControlsAfterLabels();
  } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    combo->setEditText(FromUtf8(text));
  }
}

std::string MainDialog::GetText(int id) {
  QWidget* widget = Control(id);
  QString text;
  if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
    text = edit->toPlainText();
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    text = button->text();
  } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
    text = group->title();
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    text = label->text();
  } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    text = combo->currentText();
  }
  return text.toStdString();
}

void MainDialog::ComboInsert(int id, int index, std::string_view text) {
  auto* combo = qobject_cast<QComboBox*>(Control(id));
  if (combo == nullptr) return;
  const int before = combo->currentIndex();
  combo->insertItem(index < 0 ? combo->count() : index, FromUtf8(text));
  // The platform's list keeps no selection when its first item arrives.
  if (before < 0) {
    const QSignalBlocker quiet(combo);
    combo->setCurrentIndex(-1);
  }
}

void MainDialog::ComboSelect(int id, int index) {
  auto* combo = qobject_cast<QComboBox*>(Control(id));
  if (combo == nullptr) return;
  const QSignalBlocker quiet(combo);
  combo->setCurrentIndex(index < combo->count() ? index : -1);
}

int MainDialog::ComboSelection(int id) {
  auto* combo = qobject_cast<QComboBox*>(Control(id));
  return combo == nullptr ? -1 : combo->currentIndex();
}

void MainDialog::SetEditSelection(int id, int start, int end) {
  auto* edit = qobject_cast<QPlainTextEdit*>(Control(id));
  if (edit == nullptr) return;
  const int length = edit->document()->characterCount() - 1;
  int from = DisplayPosition(log_text_, start);
  int to = DisplayPosition(log_text_, end);
  if (from < 0 || from > length) from = length;
  if (to < 0 || to > length) to = length;
  // Selecting does not scroll; ScrollCaret does.
  QScrollBar* bar = edit->verticalScrollBar();
  const int scrolled = bar->value();
  QTextCursor cursor(edit->document());
  cursor.setPosition(from);
  cursor.setPosition(to, QTextCursor::KeepAnchor);
  edit->setTextCursor(cursor);
  bar->setValue(scrolled);
}

void MainDialog::ScrollCaret(int id) {
  auto* edit = qobject_cast<QPlainTextEdit*>(Control(id));
  if (edit == nullptr) return;
  // Before the dialog is shown the log has not been laid out, and the scroll would be
  // measured against the wrong height: it is done when the dialog shows.
  if (!edit->isVisible()) {
    log_scroll_pending_ = true;
    return;
  }
  edit->ensureCursorVisible();
}

ui::Rect MainDialog::LayoutRect(int id) {
  QWidget* widget = Control(id);
  if (widget == nullptr) return {};
  const QRect geometry = widget->geometry();
  const int left = geometry.x() + kFrameWidth;
  const int top = geometry.y() + kFrameAndCaptionHeight;
  return ui::Rect{left, top, left + geometry.width(), top + geometry.height()};
}

void MainDialog::MoveControl(int id, const ui::Rect& rect, bool repaint) {
  QWidget* widget = Control(id);
  if (widget == nullptr) return;
  widget->setGeometry(rect.left, rect.top, rect.Width(), rect.Height());
  if (repaint) widget->update();
}

void MainDialog::SetDialogIcon() {
  setWindowIcon(AppIcon());
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

void MainDialog::EndDialog(int result) {
  done(result);
}

bool MainDialog::MessageOkCancelExclamation(std::string_view text, std::string_view caption) {
  QMessageBox box(QMessageBox::Warning, DisplayText(caption), DisplayText(text),
                  QMessageBox::Ok | QMessageBox::Cancel, this);
  // The warning picture drawn for the screen's pixel density from the desktop's icon theme
  // (the style's own is a single small picture that the box would enlarge).
  const QIcon warning = QIcon::fromTheme(QStringLiteral("dialog-warning"),
                                         style()->standardIcon(QStyle::SP_MessageBoxWarning));
  const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
  if (auto* picture = box.findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label")))
    picture->setPixmap(warning.pixmap(QSize(side, side), devicePixelRatioF()));
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

bool MainDialog::HandleDialogKey(QWidget* target, QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // A push button with the focus is pressed; elsewhere Enter is the dialog's OK.
      if (auto* button = qobject_cast<QPushButton*>(target)) {
        button->click();
      } else {
        logic_->OnOk();
      }
      return true;
    case Qt::Key_Escape:
      logic_->OnCancel();
      return true;
    case Qt::Key_F1:
      // The framework's help key opens the program's help topic.
      RunCommand([this] { logic_->ShowHelp(); });
      return true;
    case Qt::Key_Space:
    case Qt::Key_F10:
    case Qt::Key_Menu:
      // Alt+Space (as on the platform of the templates), Shift+F10 and the menu key open the
      // system menu below the dialog's icon.
      if (event->modifiers() != (event->key() == Qt::Key_Space ? Qt::AltModifier
                                 : event->key() == Qt::Key_F10 ? Qt::ShiftModifier
                                                               : Qt::NoModifier))
        return false;
      system_menu_->popup(
          Control(IDC_APP_ICON)->mapToGlobal(Control(IDC_APP_ICON)->rect().bottomLeft()));
      return true;
    default:
      return false;
  }
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  if (event->type() == QEvent::KeyPress && widget != nullptr && widget->window() == this) {
    if (HandleDialogKey(widget, static_cast<QKeyEvent*>(event))) return true;
  }
  return TemplateDialog::eventFilter(watched, event);
}

void MainDialog::keyPressEvent(QKeyEvent* event) {
  if (!HandleDialogKey(this, event)) TemplateDialog::keyPressEvent(event);
}

void MainDialog::closeEvent(QCloseEvent* event) {
  // The close box is the system's close command; the logic decides how the dialog ends.
  event->ignore();
  RunCommand([this] { logic_->OnSysCommand(ui::kScClose); });
}

void MainDialog::showEvent(QShowEvent* event) {
  TemplateDialog::showEvent(event);
  if (!log_scroll_pending_) return;
  log_scroll_pending_ = false;
  if (auto* edit = qobject_cast<QPlainTextEdit*>(Control(IDC_LOG))) edit->ensureCursorVisible();
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
  system_menu_->exec(event->globalPos());
}

}  // namespace varden::qt
