// The Qt program on emulated drives, on Qt's offscreen platform: what the Qt controls show at
// start-up, after a choice of drive and through a change of region; the ways the dialog
// ends; the region-button rows; the system menu, the help window and the application object.
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
// test when none opens in time.
template <class T>
void WhenModal(std::function<void(T*)> act) {
  auto* timer = new QTimer;
  auto* clock = new QElapsedTimer;
  clock->start();
  QObject::connect(timer, &QTimer::timeout, [timer, clock, act] {
    auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
    if (window == nullptr && clock->elapsed() < 5000) return;
    timer->deleteLater();
    delete clock;
    if (window == nullptr) QFAIL("no modal window opened");
    act(window);
  });
  timer->start(5);
}

template <class W>
W* Widget(MainDialog& dialog, int id) {
  return qobject_cast<W*>(dialog.Control(id));
}

std::string LogText(MainDialog& dialog) {
  return dialog.GetText(IDC_LOG);
}

}  // namespace

class MainDialogTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<RegionBench> bench_;  // the emulated drives and the waits

  // A dialog on the given drives, started up and shown.
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

  // On the demo's drives: four of the maker and one other.
  void startUpShowsTheProgressWindowThenTheDialog() {
    bench_->drives = emulated::EmulatedDrives(emulated::DemoScenario());
    MainDialog dialog(kEnglish, bench_->sleeper);
    int opened = 0, closed = 0;
    QStringList steps;
    connect(&dialog, &MainDialog::progressOpened, [&] {
      ++opened;
      QCOMPARE(dialog.ProgressWindow()->windowTitle(), QStringLiteral("Now processing..."));
    });
    connect(&dialog, &MainDialog::progressStepped, [&](int position, const QString& text) {
      QVERIFY(dialog.ProgressWindow()->isVisible() && !dialog.isVisible());
      steps << QString::number(position) + "|" + text;
    });
    connect(&dialog, &MainDialog::progressClosed, [&] { ++closed; });
    dialog.Initialise();

    QCOMPARE(opened + closed, 2);
    QVERIFY(dialog.ProgressWindow() == nullptr);
    QCOMPARE(steps.size(), 23);
    QCOMPARE(steps.first(), QStringLiteral("1|Now checking device No.1"));
    QCOMPARE(steps.last(), QStringLiteral("23|Now checking device No.23"));

    auto* list = Widget<QComboBox>(dialog, IDC_DRIVE_LIST);
    QCOMPARE(list->count(), 4);  // the other maker's drive is not listed
    QCOMPARE(list->currentIndex(), 0);
    for (int id : kRegionButton) QVERIFY(dialog.Control(id)->isEnabled());
    QCOMPARE(Widget<QLabel>(dialog, IDC_CHANGES_LEFT)->text(),
             QStringLiteral("Regional code can be changed 5time(s)"));
    QCOMPARE(LogText(dialog), std::string("Drive has no region.\r\nNo copyright protrction "
                                          "disc.\r\nAll region is allowed.\r\n"));
    QVERIFY(dialog.focusWidget() == list || dialog.focusWidget() == list->lineEdit());
    // The first report was scrolled into view before the log was laid out: once shown, a
    // log that fits is not scrolled at all.
    dialog.show();
    QCOMPARE(Widget<QPlainTextEdit>(dialog, IDC_LOG)->verticalScrollBar()->value(), 0);
  }

  void selectionChangeReportsTheChosenDrive() {
    auto dialog = Start(emulated::DemoScenario());
    auto* list = Widget<QComboBox>(*dialog, IDC_DRIVE_LIST);
    list->setCurrentIndex(1);
    emit list->activated(1);
    QVERIFY(
        LogText(*dialog).ends_with("Drive's region is 2.\r\nThis disc is allowed region 2 4\r\n"));
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
    dialog->SetDiscPromptHook([&](char letter) {
      hooked += letter;
      bench_->drives.InsertDisc(letter, emulated::Disc{.present = true});
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
    QCOMPARE(hooked, QStringLiteral("E"));
    const std::string log = LogText(*dialog);
    const std::size_t canceled = log.find("Operation is canceled.\r\nDrive has no region.\r\n");
    QVERIFY2(canceled != std::string::npos && log.find("Success to set regional code.\r\nDrive's "
                                                       "region is 3.\r\n") > canceled,
             log.c_str());
  }

  void theDialogEndsOrNot_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");  // -1: the dialog stays
    QTest::newRow("close box") << "close" << 2;
    QTest::newRow("Escape in the list") << "escape" << 2;
    QTest::newRow("Enter in the list") << "enter-list" << 1;
    QTest::newRow("Enter in the log") << "enter-log" << 1;
    QTest::newRow("Enter on Get Region presses it") << "enter-get" << -1;
  }
  void theDialogEndsOrNot() {
    QFETCH(QString, how);
    QFETCH(int, result);
    auto dialog = Start(emulated::DemoScenario());
    const std::size_t log_before = LogText(*dialog).size();
    int finished = -1;
    connect(dialog.get(), &QDialog::finished, [&](int r) { finished = r; });
    QWidget* list = Widget<QComboBox>(*dialog, IDC_DRIVE_LIST)->lineEdit();
    auto* get = Widget<QPushButton>(*dialog, IDC_GET_REGION);
    if (how == "close") dialog->close();
    if (how == "escape") QTest::keyClick(list, Qt::Key_Escape);
    if (how == "enter-list") QTest::keyClick(list, Qt::Key_Return);
    if (how == "enter-log") QTest::keyClick(dialog->Control(IDC_LOG), Qt::Key_Enter);
    if (how == "enter-get") {
      get->setFocus();
      QTest::keyClick(get, Qt::Key_Return);
      QVERIFY(LogText(*dialog).size() > log_before);
    }
    QCOMPARE(finished, result);
    QCOMPARE(dialog->isVisible(), result == -1);
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
    // Help without a help file: an error box without an icon, and nothing in the log.
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
    QCOMPARE(LogText(*dialog), std::string());
    QVERIFY(dialog->isVisible());
  }

#if defined(VARDEN_HELP_FILES_DIR)
  // F1 opens the help files of this build in a window owned by the dialog, beside it where the
  // screen has room, else centred on it; never over the dialog's corner, never off the screen.
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
    QVERIFY(!shown.intersects(owner) ||
            (shown.center() - owner.center()).manhattanLength() <= 2 * qt::kFrameWidth);
    delete help;
  }
#endif

  // The transfer buffer is held for the whole run and released once; without it the program
  // refuses to start, in the run's language.
  void applicationHoldsTheBufferForTheRun_data() {
    QTest::addColumn<bool>("allocated");
    QTest::addColumn<unsigned>("code_page");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("allocated") << true << kEnglish << "";
    QTest::newRow("not allocated") << false << kEnglish << "Varden cannot start";
    QTest::newRow("not allocated, Japanese") << false << kJapanese << "Varden を起動できません";
  }
  void applicationHoldsTheBufferForTheRun() {
    QFETCH(bool, allocated);
    QFETCH(unsigned, code_page);
    QFETCH(QString, refusal);
    int allocations = 0, releases = 0;
    qt::RunOptions options;
    options.code_page = code_page;
    options.seam = &bench_->drives;
    options.sleeper = &bench_->sleeper;
    options.buffer = {[&] { return ++allocations, allocated ? 0 : -1; }, [&] { ++releases; }};
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
};

QTEST_MAIN(MainDialogTest)
#include "main_dialog_qt_test.moc"
