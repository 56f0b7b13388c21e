// The control primitives of a template dialog: the widgets' state read and changed by control
// id, as the platform's dialog functions do it.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

#include "ui/qt/app_icon.h"
#include "ui/qt/template_dialog.h"

namespace varden::qt {
namespace {

// The displayed position of character `position` of an edit text that keeps "\r\n" (the
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

}  // namespace

void TemplateDialog::Enable(int id, bool on) {
  if (QWidget* widget = Control(id)) widget->setEnabled(on);
}

void TemplateDialog::SetCheck(int id, bool on) {
  auto* button = qobject_cast<QAbstractButton*>(Control(id));
  if (button == nullptr) return;
  // The platform's check state belongs to the one button: checking a radio button leaves
  // the others as they are, and unchecking may leave none of them checked.
  const bool exclusive = button->autoExclusive();
  button->setAutoExclusive(false);
  button->setChecked(on);
  button->setAutoExclusive(exclusive);
}

bool TemplateDialog::GetCheck(int id) {
  QWidget* widget = Control(id);
  if (auto* box = qobject_cast<QCheckBox*>(widget)) return box->checkState() == Qt::Checked;
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->isChecked();
  return false;
}

void TemplateDialog::Highlight(int id) {
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

void TemplateDialog::SetText(int id, std::string_view text) {
  QWidget* widget = Control(id);
  if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
    edit_texts_[id].assign(text);
    scroll_pending_.remove(id);
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

std::string TemplateDialog::GetText(int id) {
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

void TemplateDialog::ComboInsert(int id, int index, std::string_view text) {
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

void TemplateDialog::ComboSelect(int id, int index) {
  auto* combo = qobject_cast<QComboBox*>(Control(id));
  if (combo == nullptr) return;
  const QSignalBlocker quiet(combo);
  combo->setCurrentIndex(index < combo->count() ? index : -1);
}

int TemplateDialog::ComboSelection(int id) {
  auto* combo = qobject_cast<QComboBox*>(Control(id));
  return combo == nullptr ? -1 : combo->currentIndex();
}

void TemplateDialog::SetEditSelection(int id, int start, int end) {
  auto* edit = qobject_cast<QPlainTextEdit*>(Control(id));
  if (edit == nullptr) return;
  const std::string& text = edit_texts_[id];
  const int length = edit->document()->characterCount() - 1;
  int from = DisplayPosition(text, start);
  int to = DisplayPosition(text, end);
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

void TemplateDialog::ScrollCaret(int id) {
  auto* edit = qobject_cast<QPlainTextEdit*>(Control(id));
  if (edit == nullptr) return;
  // Before the dialog is shown the edit control has not been laid out, and the scroll would
  // be measured against the wrong height: it is done when the dialog shows.
  if (!edit->isVisible()) {
    scroll_pending_.insert(id);
    return;
  }
  edit->ensureCursorVisible();
}

void TemplateDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  for (int id : std::as_const(scroll_pending_)) {
    if (auto* edit = qobject_cast<QPlainTextEdit*>(Control(id))) edit->ensureCursorVisible();
  }
  scroll_pending_.clear();
}

ui::Rect TemplateDialog::LayoutRect(int id) {
  QWidget* widget = Control(id);
  if (widget == nullptr) return {};
  const QRect geometry = widget->geometry();
  const int left = geometry.x() + kFrameWidth;
  const int top = geometry.y() + kFrameAndCaptionHeight;
  return ui::Rect{left, top, left + geometry.width(), top + geometry.height()};
}

void TemplateDialog::MoveControl(int id, const ui::Rect& rect, bool repaint) {
  QWidget* widget = Control(id);
  if (widget == nullptr) return;
  widget->setGeometry(rect.left, rect.top, rect.Width(), rect.Height());
  if (repaint) widget->update();
}

void TemplateDialog::SetDialogIcon() {
  setWindowIcon(AppIcon());
}

void TemplateDialog::EndDialog(int result) {
  done(result);
}

}  // namespace varden::qt
