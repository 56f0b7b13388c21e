#include "ui/qt/template_dialog.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <vector>

#include "ui/dialog/group_navigation.h"
#include "ui/qt/app_icon.h"
#include "ui/qt/clickable_icon.h"

namespace varden::qt {
namespace {

using ui::ControlKind;
namespace style = ui::style;

bool Has(std::uint32_t bits, std::uint32_t flag) {
  return (bits & flag) == flag;
}

// The static styles' alignment bits sit in the low nibble.
constexpr std::uint32_t kSsTypeMask = 0x1F;

Qt::Alignment StaticAlignment(std::uint32_t bits) {
  Qt::Alignment alignment =
      (bits & kSsTypeMask) == style::kSsCenter ? Qt::AlignHCenter : Qt::AlignLeft;
  alignment |= Has(bits, style::kSsCenterImage) ? Qt::AlignVCenter : Qt::AlignTop;
  return alignment;
}

// The progress bar's segmented look of the platform's common control.
constexpr const char* kSegmentedBar =
    "QProgressBar { border: 1px solid palette(dark); background: palette(base); }"
    "QProgressBar::chunk { background-color: #0a246a; width: 7px; margin: 1px; }";

}  // namespace

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString DisplayText(std::string_view text) {
  QString shown = FromUtf8(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return shown;
}

TemplateDialog::TemplateDialog(const ui::DialogTemplate& dialog, bool japanese, QWidget* parent)
    : QDialog(parent), template_(dialog) {
  const QFont font = TemplateFont(dialog, japanese);
  setFont(font);
  units_ = BaseUnitsOf(font);
  setWindowTitle(FromUtf8(dialog.caption));
  setWindowIcon(AppIcon());
  // A modal frame: neither resizable nor with a context-help button.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(ToPixels(dialog.rect, units_).size());

  QWidget* previous_stop = nullptr;
  for (const ui::ControlTemplate& control : dialog.controls) {
    QWidget* widget = BuildControl(control);
    QRect geometry = ToPixels(control.rect, units_);
    // A drop-down list's template height is that of its open list; closed, it is one line.
    if (control.kind == ControlKind::kComboBox) geometry.setHeight(widget->sizeHint().height());
    // An icon control takes the icon's own size, and its frame, as the platform's does.
    if (control.kind == ControlKind::kIcon) {
      const int frame = Has(control.style, style::kSsSunken) ? 2 : 0;
      geometry.setSize(QSize(kIconSide + frame, kIconSide + frame));
    }
    widget->setGeometry(geometry);
    widget->setEnabled(!control.Disabled());
    ordered_.append(widget);
    if (control.id >= 0) controls_.insert(control.id, widget);
    if (widget->focusPolicy() != Qt::NoFocus) {
      if (previous_stop != nullptr) setTabOrder(previous_stop, widget);
      previous_stop = widget;
    }
  }
  for (QWidget* widget : findChildren<QWidget*>()) widget->installEventFilter(this);
  NameControlsAfterLabels();
  // Group boxes are drawn behind the controls they frame and never take their clicks.
  for (QWidget* widget : ordered_) {
    if (qobject_cast<QGroupBox*>(widget) != nullptr) {
      widget->lower();
      widget->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
  }
}

void TemplateDialog::NameControlsAfterLabels() {
  const std::span<const ui::ControlTemplate> controls = template_.controls;
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const ui::DialogUnitRect& own = controls[i].rect;
    if (controls[i].kind != ControlKind::kComboBox && controls[i].kind != ControlKind::kEdit)
      continue;
    QString name;
    int nearest = -1;  // the bottom edge of the label chosen so far
    for (std::size_t j = 0; j < controls.size(); ++j) {
      const ui::DialogUnitRect& label = controls[j].rect;
      const int bottom = label.y + label.height;
      const bool above = bottom <= own.y && bottom > nearest && label.x < own.x + own.width &&
                         own.x < label.x + label.width;
      if (!above) continue;
      if (auto* text = qobject_cast<QLabel*>(ordered_[j])) {
        name = text->text();
      } else if (auto* group = qobject_cast<QGroupBox*>(ordered_[j])) {
        name = group->title();
      } else {
        continue;
      }
      nearest = bottom;
    }
    ordered_[i]->setAccessibleName(name);
  }
}

int TemplateDialog::IndexOf(const QWidget* widget) const {
  for (; widget != nullptr && widget != this; widget = widget->parentWidget()) {
    const qsizetype index = ordered_.indexOf(const_cast<QWidget*>(widget));
    if (index >= 0) return static_cast<int>(index);
  }
  return -1;
}

bool TemplateDialog::StepInGroup(int index, bool backward) {
  std::vector<ui::NavigableControl> controls;
  for (int i = 0; i < ordered_.size(); ++i) {
    ui::NavigableControl control = ui::NavigationOf(template_.controls[i]);
    control.enabled = ordered_[i]->isEnabled();
    control.visible = !ordered_[i]->isHidden();
    controls.push_back(control);
  }
  const ui::GroupStep step = ui::StepInGroup(controls, index, backward);
  if (step.index < 0) return false;
  QWidget* target = ordered_[step.index];
  // As the dialog manager moves it: an edit field's text is selected.
  target->setFocus(Qt::TabFocusReason);
  auto* button = qobject_cast<QAbstractButton*>(target);
  if (step.check && button != nullptr && !button->isChecked()) button->click();
  return true;
}

bool TemplateDialog::OnDialogKey(DialogKey) {
  return false;
}

bool TemplateDialog::HandleDialogKey(QWidget* target, const QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // A push button with the focus is pressed; elsewhere Enter is the dialog's OK.
      if (auto* button = qobject_cast<QPushButton*>(target)) {
        button->click();
        return true;
      }
      return OnDialogKey(DialogKey::kOk);
    case Qt::Key_Escape:
      return OnDialogKey(DialogKey::kCancel);
    case Qt::Key_F1:
      return OnDialogKey(DialogKey::kHelp);
    case Qt::Key_Space:
    case Qt::Key_F10:
    case Qt::Key_Menu:
      // Alt+Space (as on the platform of the templates), Shift+F10 and the menu key.
      if (event->modifiers() != (event->key() == Qt::Key_Space ? Qt::AltModifier
                                 : event->key() == Qt::Key_F10 ? Qt::ShiftModifier
                                                               : Qt::NoModifier))
        return false;
      return OnDialogKey(DialogKey::kSystemMenu);
    default:
      return false;
  }
}

void TemplateDialog::keyPressEvent(QKeyEvent* event) {
  if (!HandleDialogKey(this, event)) QDialog::keyPressEvent(event);
}

bool TemplateDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
  const auto* press = static_cast<QKeyEvent*>(event);
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget != nullptr && widget->window() == this && HandleDialogKey(widget, press)) return true;
  const Qt::KeyboardModifiers modifiers = press->modifiers() & ~Qt::KeypadModifier;
  const int key = press->key();
  const int index = IndexOf(widget);
  if (index >= 0 && modifiers == Qt::NoModifier) {
    if (key == Qt::Key_Down || key == Qt::Key_Right) return StepInGroup(index, false);
    if (key == Qt::Key_Up || key == Qt::Key_Left) return StepInGroup(index, true);
  }
  // A control's own Alt shortcut has taken its key before the key is pressed here.
  const bool letter =
      (key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z);
  if (letter && modifiers.testFlag(Qt::AltModifier) && !modifiers.testFlag(Qt::ControlModifier))
    return true;
  return QDialog::eventFilter(watched, event);
}

QWidget* TemplateDialog::BuildControl(const ui::ControlTemplate& control) {
  const QString text = FromUtf8(control.text);
  const Qt::FocusPolicy focus = control.TabStop() ? Qt::StrongFocus : Qt::ClickFocus;
  switch (control.kind) {
    case ControlKind::kIcon:
      return new ClickableIcon(Has(control.style, style::kSsSunken), this);
    case ControlKind::kText: {
      auto* label = new QLabel(text, this);
      label->setAlignment(StaticAlignment(control.style));
      label->setTextFormat(Qt::PlainText);
      // A left-aligned static breaks its lines; a vertically centred one is one line.
      label->setWordWrap(!Has(control.style, style::kSsCenterImage) &&
                         (control.style & kSsTypeMask) == style::kSsLeft);
      if (Has(control.style, style::kSsSunken))
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      return label;
    }
    case ControlKind::kGroupBox:
      return new QGroupBox(text, this);
    case ControlKind::kRadioButton: {
      auto* radio = new QRadioButton(text, this);
      radio->setFocusPolicy(focus);
      return radio;
    }
    case ControlKind::kCheckBox: {
      auto* box = new QCheckBox(text, this);
      box->setFocusPolicy(focus);
      return box;
    }
    case ControlKind::kPushButton: {
      auto* button = new QPushButton(text, this);
      const bool default_button = (control.style & 0xF) == style::kBsDefPushButton;
      button->setAutoDefault(default_button);
      button->setDefault(default_button);
      button->setFocusPolicy(focus);
      return button;
    }
    case ControlKind::kComboBox: {
      auto* combo = new QComboBox(this);
      combo->setEditable(true);
      combo->setInsertPolicy(QComboBox::NoInsert);
      combo->setFocusPolicy(focus);
      return combo;
    }
    case ControlKind::kEdit: {
      auto* edit = new QPlainTextEdit(this);
      edit->setReadOnly(Has(control.style, style::kEsReadOnly));
      edit->setVerticalScrollBarPolicy(Has(control.style, style::kVScroll) ? Qt::ScrollBarAlwaysOn
                                                                           : Qt::ScrollBarAsNeeded);
      edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
      // The keyboard still moves the caret in a read-only log.
      edit->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
      edit->setFocusPolicy(focus);
      edit->setPlainText(text);
      return edit;
    }
    case ControlKind::kProgressBar: {
      auto* bar = new QProgressBar(this);
      bar->setTextVisible(false);
      bar->setStyleSheet(kSegmentedBar);
      return bar;
    }
  }
  return new QWidget(this);
}

}  // namespace varden::qt
