// The Qt program on emulated drives: what its controls show at start-up, after a choice of
// drive and through a change of region; how the dialog ends; its menu, help and buffer.
#include <QtTest>
#include <QtWidgets>
#include <functional>
#include <memory>
#include <vector>

#include "../recording_view.h"
#include "app/qt/region_app.h"
#include "emulated/state_file.h"
#include "ui/qt/main_dialog.h"

using namespace varden;
using qt::MainDialog;
using test_support::RegionBench;

namespace {

constexpr unsigned kEnglish = 437;
constexpr unsigned kJapanese = 932;

// Runs `act` on the modal window of type T that what the test does next opens; fails the
// test when none opens within about five seconds.
template <class T>
void WhenModal(std::function<void(T*)> act, int tries = 1000) {
  QTimer::singleShot(5, [act, tries] {
    if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget())) return act(window);
    if (tries == 0) QFAIL("no modal window opened");
    WhenModal(act, tries - 1);
  });
}

template <class W>
W* Widget(MainDialog& dialog, int id) {
  return qobject_cast<W*>(dialog.Control(id));
}

}  // namespace

class MainDialogTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<RegionBench> bench_;  // the emulated drives and the waits

  std::unique_ptr<MainDialog> Start(std::vector<emulated::DriveState> drives,
                                    unsigned code_page = kEnglish) {
    bench_->drives = emulated::EmulatedDrives(std::move(drives));
    auto dialog = std::make_unique<MainDialog>(code_page, bench_->sleeper);
    dialog->Initialise();
    dialog->show();
    return dialog;
  }

 private slots:
  void init() { bench_ = std::make_unique<RegionBench>(); }
  void cleanup() { bench_.reset(); }

  void startUpShowsTheProgressWindowThenTheDialog() {
    bench_->drives = emulated::EmulatedDrives(emulated::DemoScenario());
    MainDialog dialog(kEnglish, bench_->sleeper);
    int opened = 0, closed = 0, steps = 0;
    connect(&dialog, &MainDialog::progressOpened, [&] {
      ++opened;
      QCOMPARE(dialog.Progress()->pos(), dialog.screen()->availableGeometry().topLeft());
    });
    connect(&dialog, &MainDialog::progressStepped, [&](int position, const QString& text) {
      QVERIFY(dialog.Progress()->isVisible() && !dialog.isVisible());
      QCOMPARE(position, ++steps);
      QCOMPARE(text, QStringLiteral("Now checking device No.%1").arg(position));
    });
    connect(&dialog, &MainDialog::progressClosed, [&] { ++closed; });
    dialog.Initialise();
    QVERIFY(opened == 1 && closed == 1 && dialog.Progress() == nullptr);
    QCOMPARE(steps, 23);
    auto* list = Widget<QComboBox>(dialog, IDC_DRIVE_LIST);
    QCOMPARE(list->currentIndex(), 0);
    QCOMPARE(Widget<QLabel>(dialog, IDC_CHANGES_LEFT)->text(),
             QStringLiteral("Regional code can be changed 5time(s)"));
    QVERIFY(dialog.focusWidget() == list || dialog.focusWidget() == list->lineEdit());
    // Scrolled before the log was laid out: once shown, a log that fits is not scrolled.
    dialog.show();
    QCOMPARE(Widget<QPlainTextEdit>(dialog, IDC_LOG)->verticalScrollBar()->value(), 0);
  }

  void selectionChangeReportsTheChosenDrive() {
    auto dialog = Start(emulated::DemoScenario());
    auto* list = Widget<QComboBox>(*dialog, IDC_DRIVE_LIST);
    list->setCurrentIndex(1);
    emit list->activated(1);
    QVERIFY(dialog->GetText(IDC_LOG).ends_with(
        "Drive's region is 2.\r\nThis disc is allowed region 2 4\r\n"));
    QVERIFY(dialog->Control(IDC_REGION2)->property("pushed").toBool());
    // The newest text is in view; appending without scrolling shows the log from its start.
    auto* log = Widget<QPlainTextEdit>(*dialog, IDC_LOG);
    QVERIFY(log->verticalScrollBar()->value() > 0);
    QVERIFY(log->viewport()->rect().contains(log->cursorRect()));
    dialog->Logic().AppendLogNoScroll("Appended.\r\n");
    QCOMPARE(log->verticalScrollBar()->value(), 0);
    QCOMPARE(log->textCursor().position(), 0);
  }

  // Cancel, then OK: the hook is called with the selected drive on OK alone (the demo puts
  // a disc in there).
  void setRegionAsksForADisc() {
    // No region and a change already used, no disc: a change waits for a ready drive.
    auto dialog = Start({test_support::Drive(0xFF, 4, test_support::kNoDisc)});
    QString hooked, shown;
    dialog->SetDiscPromptHook([&](char letter, const std::function<bool()>& ask) {
      if (!ask()) return false;
      hooked += letter;
      bench_->drives.InsertDisc(letter, emulated::Disc{.present = true});
      return true;
    });
    Widget<QRadioButton>(*dialog, IDC_REGION3)->click();
    for (bool ok : {false, true}) {
      // Checks in the box's handler would leave it open on failure: they come after.
      WhenModal<QMessageBox>([&, ok](QMessageBox* box) {
        shown += box->windowTitle() + "|" + box->text() + QString::number(box->icon()) + "|";
        box->button(ok ? QMessageBox::Ok : QMessageBox::Cancel)->click();
      });
      QTest::mouseClick(Widget<QPushButton>(*dialog, IDC_SET_REGION), Qt::LeftButton);
    }
    QCOMPARE(shown, QStringLiteral("Attention|Disc is not present !\nPlease insert approproiate "
                                   "disc%1|")
                        .arg(QMessageBox::Warning)
                        .repeated(2));
    QCOMPARE(hooked, QStringLiteral("E"));  // the box answered Cancel, then OK
  }

  void theDialogEndsOrNot() {
    // The control a key is pressed in (0: the close box is used), and the result (-1: stays,
    // and the button pressed has run).
    const std::tuple<int, Qt::Key, int> cases[] = {{0, Qt::Key_unknown, 2},
                                                   {IDC_DRIVE_LIST, Qt::Key_Escape, 2},
                                                   {IDC_DRIVE_LIST, Qt::Key_Return, 1},
                                                   {IDC_LOG, Qt::Key_Enter, 1},
                                                   {IDC_GET_REGION, Qt::Key_Return, -1}};
    for (const auto& [id, key, result] : cases) {
      auto dialog = Start(emulated::DemoScenario());
      const std::size_t log_before = dialog->GetText(IDC_LOG).size();
      int finished = -1;
      connect(dialog.get(), &QDialog::finished, [&](int r) { finished = r; });
      QWidget* control = id == IDC_DRIVE_LIST ? Widget<QComboBox>(*dialog, id)->lineEdit()
                         : id != 0            ? dialog->Control(id)
                                              : nullptr;
      if (control == nullptr) dialog->close();
      if (control != nullptr) control->setFocus(), QTest::keyClick(control, key);
      QCOMPARE(finished, result);
      QCOMPARE(dialog->isVisible(), result == -1);
      QCOMPARE(dialog->GetText(IDC_LOG).size() > log_before, result == -1);
    }
  }

  // Keys as the dialog manager of the Windows program takes them: after each, the control with
  // the focus and the checked region button. The Wine test presses the same keys.
  void keyboardReachesEveryControl() {
    auto dialog = Start(emulated::DemoScenario());
    const std::tuple<Qt::Key, Qt::KeyboardModifiers, int, int> keys[] = {
        {Qt::Key_Down, {}, IDC_REGION1, IDC_REGION1},     // past the title and the group box
        {Qt::Key_Left, {}, IDC_GET_REGION, IDC_REGION1},  // round the group's end
        {Qt::Key_Up, {}, IDC_EXIT, IDC_REGION1},
        {Qt::Key_Tab, {}, IDC_GET_REGION, IDC_REGION1},
        {Qt::Key_Tab, {}, IDC_DRIVE_LIST, IDC_REGION1},
        {Qt::Key_G, Qt::AltModifier, IDC_DRIVE_LIST, IDC_REGION1},  // no control's letter
        {Qt::Key_Right, {}, IDC_DRIVE_LIST, IDC_REGION1},           // the list keeps its arrows
        {Qt::Key_Backtab, Qt::ShiftModifier, IDC_GET_REGION, IDC_REGION1},
        {Qt::Key_Right, {}, IDC_REGION1, IDC_REGION1}};
    auto* list = Widget<QComboBox>(*dialog, IDC_DRIVE_LIST);
    const QString listed = list->currentText();
    dialog->Control(IDC_GET_REGION)->setFocus();
    QString path, expected;
    for (const auto& [key, modifiers, focus, checked] : keys) {
      QTest::keyClick(dialog->focusWidget(), key, modifiers);
      int focus_now = 0, checked_now = 0;
      for (const ui::ControlTemplate& control : dialog->Template().controls) {
        QWidget* widget = dialog->Control(control.id);
        if (widget != nullptr && widget->isAncestorOf(dialog->focusWidget()))
          focus_now = control.id;
        if (widget == dialog->focusWidget()) focus_now = control.id;
        if (dialog->GetCheck(control.id) && control.kind == ui::ControlKind::kRadioButton)
          checked_now = control.id;
      }
      path += QStringLiteral("%1:%2 ").arg(focus_now).arg(checked_now);
      expected += QStringLiteral("%1:%2 ").arg(focus).arg(checked);
    }
    QCOMPARE(path, expected);
    QCOMPARE(list->currentText(), listed);
  }

  // Names as a screen reader reads them; the icons drawn for the screen's pixel density (this
  // test runs at QT_SCALE_FACTOR=2 too) and at their own size.
  void namesAndIcons() {
    auto dialog = Start({});
    const std::pair<int, QString> names[] = {{IDC_DRIVE_LIST, "DVD-ROM Varden for Windows2000"},
                                             {IDC_LOG, "Disc Regional Code"},
                                             {IDC_APP_ICON, "Menu"}};
    for (const auto& [id, name] : names) {
      QCOMPARE(QAccessible::queryAccessibleInterface(dialog->Control(id))->text(QAccessible::Name),
               name);
    }
    const qreal ratio = dialog->devicePixelRatioF();
    QCOMPARE(dialog->windowIcon().pixmap(QSize(32, 32), ratio).size(), QSize(32, 32) * ratio);
    QCOMPARE(dialog->Control(IDC_APP_ICON)->size(), QSize(34, 34));  // and its sunken frame
    QPixmap warning;                                                 // the disc prompt's
    WhenModal<QMessageBox>([&](QMessageBox* box) { warning = box->iconPixmap(), box->reject(); });
    dialog->MessageOkCancelExclamation("", "");
    QCOMPARE(warning.devicePixelRatio(), ratio);
    const int side = dialog->style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
    QCOMPARE(warning.size(), QSize(side, side) * ratio);
  }

  // The menu: the platform's own item, then Help and About, each after a separator, in the
  // run's language; each item runs its command and the dialog stays.
  void systemMenuAndFrame() {
    auto dialog = Start({}, kJapanese);
    const QList<QAction*> actions = dialog->SystemMenu()->actions();
    QCOMPARE(actions.size(), 5);
    QVERIFY(actions[1]->isSeparator() && actions[3]->isSeparator());
    QCOMPARE(actions[2]->text() + "|" + actions[4]->text(),
             QStringLiteral("ヘルプ(&H)|Vardenについて(&A)"));
    // Help without a help file: an error box without an icon.
    dialog->SetHelpViewer([](QWidget*, std::string_view) -> QWidget* { return nullptr; });
    QString shown;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
      shown = QStringLiteral("%1|%2|%3|%4|")
                  .arg(box->windowTitle(), box->text())
                  .arg(box->icon())
                  .arg(box->buttons().size());
      box->button(QMessageBox::Ok)->click();
    });
    actions[2]->trigger();
    WhenModal<qt::TemplateDialog>([&](qt::TemplateDialog* box) {
      shown += box->windowTitle() + "|" + qobject_cast<QLabel*>(box->Control(IDC_VERSION))->text();
      QTest::keyClick(box, Qt::Key_Return);  // OK is the default button
    });
    actions[4]->trigger();
    QCOMPARE(shown, QStringLiteral("Error|ヘルプファイルが見つかりません。|0|1|About Varden|Varden "
                                   "Version 1.08"));
    QVERIFY(dialog->isVisible());
  }

#if defined(VARDEN_HELP_FILES_DIR)
  // F1 opens the help files of this build in a window owned by the dialog, on the screen and
  // covering at most half of the dialog (the screen is too small to show it beside it).
  void helpWindowOpensBesideTheDialog() {
    const QString before = QDir::currentPath();
    QDir::setCurrent(QStringLiteral(VARDEN_HELP_FILES_DIR));
    auto dialog = Start({});
    QTest::keyClick(dialog.get(), Qt::Key_F1);
    QDir::setCurrent(before);
    QWidget* help = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (window != dialog.get() && window->isVisible()) help = window;
    }
    QVERIFY(help != nullptr);
    QCOMPARE(help->parentWidget(), static_cast<QWidget*>(dialog.get()));
    const QRect owner = dialog->frameGeometry(), shown = help->frameGeometry();
    QVERIFY(dialog->screen()->availableGeometry().contains(shown));
    QVERIFY(shown.left() >= owner.center().x() || shown.right() <= owner.center().x());
    delete help;
  }
#endif

  // The transfer buffer is held for the whole run and released once; without it the program
  // refuses to start, in the run's language.
  void applicationHoldsTheBufferForTheRun() {
    const std::tuple<bool, unsigned, QString> cases[] = {
        {true, kEnglish, ""},
        {false, kEnglish, "Varden cannot start"},
        {false, kJapanese, "Varden を起動できません"}};
    for (const auto& [allocated, code_page, refusal] : cases) {
      int allocations = 0, releases = 0;
      const qt::RunOptions options{
          .code_page = code_page,
          .seam = &bench_->drives,
          .sleeper = &bench_->sleeper,
          .buffer = {[&] { return ++allocations, allocated ? 0 : -1; }, [&] { ++releases; }},
          .configure = {}};
      QString shown;
      if (allocated) {
        WhenModal<MainDialog>([&](MainDialog* dialog) {
          dialog->close();
          QCOMPARE(releases, 0);  // held while the dialog was shown
        });
      } else {
        WhenModal<QMessageBox>([&](QMessageBox* box) {
          shown = box->text();
          box->accept();
        });
      }
      QCOMPARE(qt::RunRegionApp(options), allocated ? 0 : 1);
      QCOMPARE(allocations, 1);
      QCOMPARE(releases, allocated ? 1 : 0);
      QVERIFY(allocated ? shown.isEmpty() : shown.startsWith(refusal) && shown.contains("425984"));
    }
  }
};

QTEST_MAIN(MainDialogTest)
#include "main_dialog_qt_test.moc"
