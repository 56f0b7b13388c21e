// The yardstick of the start-up measurement (scripts/measure-startup.sh): a plain Qt dialog
// with the main dialog's controls, at the same places and in the same font, and nothing
// else: no drive scan, no progress window, no icon, no report.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "text/catalogue.h"
#include "text/linux/locale_code_page.h"
#include "ui/qt/dialog_units.h"
#include "ui/resources/templates.h"

namespace {

using varden::ui::ControlKind;

QWidget* Build(const varden::ui::ControlTemplate& control, QWidget* parent) {
  const QString text = QString::fromUtf8(control.text.data(), control.text.size());
  switch (control.kind) {
    case ControlKind::kText:
      return new QLabel(text, parent);
    case ControlKind::kGroupBox:
      return new QGroupBox(text, parent);
    case ControlKind::kRadioButton:
      return new QRadioButton(text, parent);
    case ControlKind::kCheckBox:
      return new QCheckBox(text, parent);
    case ControlKind::kPushButton:
      return new QPushButton(text, parent);
    case ControlKind::kComboBox: {
      auto* combo = new QComboBox(parent);
      combo->setEditable(true);
      return combo;
    }
    case ControlKind::kEdit:
      return new QPlainTextEdit(text, parent);
    case ControlKind::kProgressBar:
      return new QProgressBar(parent);
    case ControlKind::kIcon:
      break;
  }
  return new QWidget(parent);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const bool japanese = varden::text::LocaleCodePage() == varden::text::kJapaneseCodePage;
  const varden::ui::DialogTemplate& main = varden::ui::MainDialogTemplate();
  QDialog dialog;
  const QFont font = varden::qt::TemplateFont(main, japanese);
  dialog.setFont(font);
  const varden::qt::DialogBaseUnits units = varden::qt::BaseUnitsOf(font);
  dialog.setWindowTitle(QStringLiteral("Bare dialog"));
  dialog.setFixedSize(varden::qt::ToPixels(main.rect, units).size());
  for (const varden::ui::ControlTemplate& control : main.controls) {
    Build(control, &dialog)->setGeometry(varden::qt::ToPixels(control.rect, units));
  }
  return dialog.exec();
}
