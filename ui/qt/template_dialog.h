// A dialog built from one of Varden's templates: each control of the template becomes the
// matching widget at its rectangle converted from dialog units, in template order (which is
// the tab order), with its text, its initial enabled state and its focus policy.
#pragma once

#include <QDialog>
#include <QFont>
#include <QHash>
#include <QString>
#include <string_view>

#include "ui/qt/dialog_units.h"
#include "ui/resources/templates.h"

class QLabel;

namespace varden::qt {

// UTF-8 in, with "\r\n" made a plain line break for display.
QString DisplayText(std::string_view text);

// A label that answers a click: the main dialog's icon opens its system menu.
class ClickableIcon;

class TemplateDialog : public QDialog {
  Q_OBJECT

 public:
  TemplateDialog(const ui::DialogTemplate& dialog, bool japanese, QWidget* parent = nullptr);

  // The widget of a control id, or nullptr (controls without an id are not kept).
  QWidget* Control(int id) const { return controls_.value(id, nullptr); }
  const ui::DialogTemplate& Template() const { return template_; }
  DialogBaseUnits BaseUnits() const { return units_; }
  // The controls in template order, controls without an id included.
  const QList<QWidget*>& ControlsInOrder() const { return ordered_; }

  // Names each control that shows no text of its own (the drive list, the log) for a screen
  // reader as the platform does: after the nearest static text or group box above it. Called
  // again whenever a label's text changes.
  void NameControlsAfterLabels();

 protected:
  // The dialog keys of every template dialog: the arrow keys within a control group, and Alt
  // with a key that no control uses, which does nothing (never text in an edit field).
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* BuildControl(const ui::ControlTemplate& control);
  // The control (in template order) that `widget` is or belongs to; -1 for none.
  int IndexOf(const QWidget* widget) const;
  // Moves the focus along the group of control `index`; false when the control keeps the key.
  bool StepInGroup(int index, bool backward);

  const ui::DialogTemplate& template_;
  DialogBaseUnits units_;
  QHash<int, QWidget*> controls_;
  QList<QWidget*> ordered_;
};

class ClickableIcon : public QWidget {
  Q_OBJECT

 public:
  ClickableIcon(bool sunken, QWidget* parent);

 signals:
  void clicked(QPoint global_position);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  bool sunken_;
};

}  // namespace varden::qt
