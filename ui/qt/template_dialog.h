// A dialog built from one of Varden's templates: each control of the template becomes the
// matching widget at its rectangle converted from dialog units, in template order (which is
// the tab order), with its text, its initial enabled state and its focus policy. It holds the
// control primitives that any template dialog offers its logic, addressed by control id, and
// the dialog keys of the platform of the templates.
#pragma once

#include <QDialog>
#include <QFont>
#include <QHash>
#include <QSet>
#include <QString>
#include <string>
#include <string_view>

#include "ui/dialog/dialog_controls.h"
#include "ui/qt/clickable_icon.h"
#include "ui/qt/dialog_units.h"
#include "ui/resources/templates.h"

namespace varden::qt {

// UTF-8 in, as it stands.
QString FromUtf8(std::string_view text);
// UTF-8 in, with "\r\n" made a plain line break for display.
QString DisplayText(std::string_view text);

// The dialog's frame and caption as a dialog standing at the screen's origin has them: the
// region-button layout measures with this offset (see ui::DialogControls::LayoutRect).
inline constexpr int kFrameWidth = 3;
inline constexpr int kFrameAndCaptionHeight = 22;

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

  // The control primitives, as ui::DialogControls describes them; an id the dialog does not
  // hold, or a control of another kind, is ignored.
  void Enable(int id, bool on);
  void SetCheck(int id, bool on);
  bool GetCheck(int id);
  void Highlight(int id);
  void SetText(int id, std::string_view text);
  std::string GetText(int id);
  void ComboInsert(int id, int index, std::string_view text);
  void ComboSelect(int id, int index);
  int ComboSelection(int id);
  void SetEditSelection(int id, int start, int end);
  void ScrollCaret(int id);
  ui::Rect LayoutRect(int id);
  void MoveControl(int id, const ui::Rect& rect, bool repaint);
  void SetDialogIcon();
  void EndDialog(int result);

 protected:
  // The keys that the platform's dialog manager gives the dialog rather than a control.
  enum class DialogKey {
    kOk,          // Enter, where no push button has the focus
    kCancel,      // Escape
    kHelp,        // F1
    kSystemMenu,  // Alt+Space, Shift+F10 and the menu key
  };
  // Answers whether the dialog took the key; by default it does not, and the dialog's own
  // handling of the key stays.
  virtual bool OnDialogKey(DialogKey key);

  // The dialog keys of every template dialog: those above, the arrow keys within a control
  // group, and Alt with a key that no control uses, which does nothing (never text in an edit
  // field).
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* BuildControl(const ui::ControlTemplate& control);
  // The control (in template order) that `widget` is or belongs to; -1 for none.
  int IndexOf(const QWidget* widget) const;
  // Moves the focus along the group of control `index`; false when the control keeps the key.
  bool StepInGroup(int index, bool backward);
  // Answers true when the key pressed a push button or the dialog took it.
  bool HandleDialogKey(QWidget* target, const QKeyEvent* event);

  const ui::DialogTemplate& template_;
  DialogBaseUnits units_;
  QHash<int, QWidget*> controls_;
  QList<QWidget*> ordered_;
  // Each edit control's text as last set, "\r\n" kept: selections count in it.
  QHash<int, std::string> edit_texts_;
  // The edit controls whose caret waits to be scrolled into view until they are laid out
  // (shown).
  QSet<int> scroll_pending_;
};

}  // namespace varden::qt
