#include "ui/qt/template_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionFrame>

#include "ui/qt/app_icon.h"

namespace varden::qt {
namespace {

using ui::ControlKind;
namespace style = ui::style;

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

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

QString DisplayText(std::string_view text) {
  QString shown = FromUtf8(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return shown;
}

ClickableIcon::ClickableIcon(bool sunken, QWidget* parent) : QWidget(parent), sunken_(sunken) {
  setCursor(Qt::PointingHandCursor);
}

void ClickableIcon::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int frame = sunken_ ? 1 : 0;
  if (sunken_) {
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(0, 0, width() - 1, 0);
    painter.drawLine(0, 0, 0, height() - 1);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(0, height() - 1, width() - 1, height() - 1);
    painter.drawLine(width() - 1, 0, width() - 1, height() - 1);
  }
  // The icon at its natural 32 pixels, centred, or smaller when the control is smaller.
  const int side = qMin(32, qMin(width(), height()) - 2 * frame);
  const QRect target((width() - side) / 2, (height() - side) / 2, side, side);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawPixmap(target, AppIcon().pixmap(side, side));
}

void ClickableIcon::mousePressEvent(QMouseEvent* event) {
  emit clicked(event->globalPosition().toPoint());
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
    widget->setGeometry(geometry);
    widget->setEnabled(!control.Disabled());
    ordered_.append(widget);
    if (control.id >= 0) controls_.insert(control.id, widget);
    if (widget->focusPolicy() != Qt::NoFocus) {
      if (previous_stop != nullptr) setTabOrder(previous_stop, widget);
      previous_stop = widget;
    }
  }
  // Group boxes are drawn behind the controls they frame and never take their clicks.
  for (QWidget* widget : ordered_) {
    if (qobject_cast<QGroupBox*>(widget) != nullptr) {
      widget->lower();
      widget->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
  }
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
