// The Qt program on emulated drives, on Qt's offscreen platform: what the user sees at
// start-up, after a choice of drive and through a change of region; the ways the dialog
// ends; the region-button rows; the Japanese labels and font; the About box, the help topic
// and the system-menu commands; the application object and the demo's state file.
#include <QtTest>
#include <QtWidgets>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include "../recording_view.h"
#include "app/qt/demo_state.h"
#include "app/qt/region_app.h"
#include "emulated/state_file.h"
#include "ui/qt/main_dialog.h"

using namespace varden;
using qt::MainDialog;
using test_support::RegionBench;

namespace {

constexpr unsigned kEnglish = 437;
constexpr unsigned kJapanese = 932;

// Runs `act` on the modal window once one of type T is open (a message box or the About
// box, opened by what the test does next); fails the test when none opens in time.
template <class T>
void WhenModal(std::function<void(T*)> act) {
  auto* timer = new QTimer;
  auto* clock = new QElapsedTimer;
  clock->start();
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, clock, act] {
    if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      act(window);
    } else if (clock->elapsed() > 5000) {
      timer->stop();
      QFAIL("no modal window opened");
    } else {
      return;
    }
    timer->deleteLater();
    delete clock;
  });
  timer->start();
}

// No region and a change already used, no disc: a change waits for a ready drive.
const emulated::DriveState kDriveWithoutDisc = test_support::Drive(0xFF, 4, test_support::kNoDisc);

template <class W>
W* Widget(MainDialog& dialog, int id) {
  return qobject_cast<W*>(dialog.Control(id));
}

std::string LogText(MainDialog& dialog) {
  return dialog.GetText(IDC_LOG);
}

void AddLanguageRows() {
  QTest::addColumn<unsigned>("code_page");
  QTest::newRow("English") << kEnglish;
  QTest::newRow("Japanese") << kJapanese;
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

  void startUpShowsTheProgressWindowThenTheDialog_data() {
    QTest::addColumn<bool>("drives");
    QTest::newRow("no drive") << false;
    QTest::newRow("four drives of the maker and one other") << true;
  }
  void startUpShowsTheProgressWindowThenTheDialog() {
    QFETCH(bool, drives);
    if (drives) bench_->drives = emulated::EmulatedDrives(emulated::DemoScenario());
    MainDialog dialog(kEnglish, bench_->sleeper);
    int opened = 0, closed = 0;
    QList<int> positions;
    QStringList texts;
    connect(&dialog, &MainDialog::progressOpened, [&] {
      ++opened;
      QVERIFY(dialog.ProgressWindow()->isVisible());
      QCOMPARE(dialog.ProgressWindow()->windowTitle(), QStringLiteral("Now processing..."));
    });
    connect(&dialog, &MainDialog::progressStepped, [&](int position, const QString& text) {
      QVERIFY(dialog.ProgressWindow()->isVisible() && !dialog.isVisible());
      positions << position;
      texts << text;
    });
    connect(&dialog, &MainDialog::progressClosed, [&] { ++closed; });
    dialog.Initialise();

    QCOMPARE(opened, 1);
    QCOMPARE(closed, 1);
    QVERIFY(dialog.ProgressWindow() == nullptr);
    QCOMPARE(positions.size(), 23);
    QCOMPARE(positions.first(), 1);
    QCOMPARE(positions.last(), 23);
    QCOMPARE(texts.first(), QStringLiteral("Now checking device No.1"));
    QCOMPARE(texts.last(), QStringLiteral("Now checking device No.23"));

    auto* list = Widget<QComboBox>(dialog, IDC_DRIVE_LIST);
    QCOMPARE(list->count(), drives ? 4 : 0);  // the other maker's drive is not listed
    QCOMPARE(list->currentIndex(), drives ? 0 : -1);
    for (int id : kRegionButton) QCOMPARE(dialog.Control(id)->isEnabled(), drives);
    QCOMPARE(Widget<QLabel>(dialog, IDC_CHANGES_LEFT)->text(),
             drives ? QStringLiteral("Regional code can be changed 5time(s)")
                    : QStringLiteral("Regional code can can be changed 5 times"));  // template
    if (drives) {
      QVERIFY(list->itemText(0).startsWith(QStringLiteral("E: MERIDAX DVD-ROM MX-1608")));
      QCOMPARE(LogText(dialog), std::string("Drive has no region.\r\nNo copyright protrction "
                                            "disc.\r\nAll region is allowed.\r\n"));
    } else {
      for (int id : kDiscRegionBox) QVERIFY(!dialog.Control(id)->isEnabled());
      QCOMPARE(LogText(dialog), std::string());
    }
    QVERIFY(dialog.focusWidget() == list || dialog.focusWidget() == list->lineEdit());
  }

  void selectionChangeReportsTheChosenDrive() {
    auto dialog = Start(emulated::DemoScenario());
    auto* list = Widget<QComboBox>(*dialog, IDC_DRIVE_LIST);
    list->setCurrentIndex(1);
    emit list->activated(1);
    QVERIFY(
        LogText(*dialog).ends_with("Drive's region is 2.\r\nThis disc is allowed region 2 4\r\n"));
    QCOMPARE(dialog->Logic().LastReportedIndex(), 1);
    QVERIFY(dialog->Control(IDC_REGION2)->property("pushed").toBool());
    QCOMPARE(Widget<QLabel>(*dialog, IDC_CHANGES_LEFT)->text(),
             QStringLiteral("Regional code can be changed 4time(s)"));
    QVERIFY(Widget<QCheckBox>(*dialog, IDC_DISC_REGION2)->isChecked());
    QVERIFY(Widget<QCheckBox>(*dialog, IDC_DISC_REGION4)->isChecked());
    // The newest text is in view; appending without scrolling shows the log from its start.
    auto* log = Widget<QPlainTextEdit>(*dialog, IDC_LOG);
    QVERIFY(log->verticalScrollBar()->value() > 0);
    QVERIFY(log->textCursor().atEnd());
    QVERIFY(log->viewport()->rect().contains(log->cursorRect()));
    dialog->Logic().AppendLogNoScroll("Appended.\r\n");
    QCOMPARE(log->verticalScrollBar()->value(), 0);
    QCOMPARE(log->textCursor().position(), 0);
    QVERIFY(LogText(*dialog).ends_with("4\r\nAppended.\r\n"));
  }

  void setRegionAsksForADisc_data() {
    QTest::addColumn<bool>("ok");
    QTest::newRow("answered Cancel") << false;
    QTest::newRow("answered OK after inserting a disc") << true;
  }
  void setRegionAsksForADisc() {
    QFETCH(bool, ok);
    auto dialog = Start({kDriveWithoutDisc});
    Widget<QRadioButton>(*dialog, IDC_REGION3)->click();
    QVERIFY(dialog->GetCheck(IDC_REGION3));
    // Checks in the box's handler would leave it open on failure: they come after.
    QString shown;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget* owner = nullptr;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
      shown = box->windowTitle() + "|" + box->text();
      icon = box->icon();
      owner = box->parentWidget();
      if (ok) bench_->drives.InsertDisc('E', emulated::Disc{.present = true});
      box->button(ok ? QMessageBox::Ok : QMessageBox::Cancel)->click();
    });
    QTest::mouseClick(Widget<QPushButton>(*dialog, IDC_SET_REGION), Qt::LeftButton);
    QCOMPARE(icon, QMessageBox::Warning);
    QCOMPARE(owner, static_cast<QWidget*>(dialog.get()));

    QCOMPARE(shown,
             QStringLiteral("Attention|Disc is not present !\nPlease insert approproiate disc"));
    const std::string log = LogText(*dialog);
    const char* expected = ok ? "Success to set regional code.\r\nDrive's region is 3.\r\n"
                              : "Operation is canceled.\r\nDrive has no region.\r\n";
    QVERIFY2(log.find(expected) != std::string::npos, log.c_str());
    QCOMPARE(bench_->drives.Find('E')->region_mask, static_cast<std::uint8_t>(ok ? 0xFB : 0xFF));
  }

  void theDialogEndsOrNot_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");  // -1: the dialog stays
    QTest::newRow("Exit") << "exit" << 2;
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
    auto* list = Widget<QComboBox>(*dialog, IDC_DRIVE_LIST);
    auto* get = Widget<QPushButton>(*dialog, IDC_GET_REGION);
    if (how == "exit") QTest::mouseClick(Widget<QPushButton>(*dialog, IDC_EXIT), Qt::LeftButton);
    if (how == "close") dialog->close();
    if (how == "escape") QTest::keyClick(list->lineEdit(), Qt::Key_Escape);
    if (how == "enter-list") QTest::keyClick(list->lineEdit(), Qt::Key_Return);
    if (how == "enter-log") QTest::keyClick(dialog->Control(IDC_LOG), Qt::Key_Enter);
    if (how == "enter-get") {
      get->setFocus();
      QTest::keyClick(get, Qt::Key_Return);
      QVERIFY(LogText(*dialog).size() > log_before);
    }
    QCOMPARE(finished, result);
    QCOMPARE(dialog->isVisible(), result == -1);
  }

  void regionRowsFillTheGroupBoxBelowItsCaption_data() { AddLanguageRows(); }
  void regionRowsFillTheGroupBoxBelowItsCaption() {
    QFETCH(unsigned, code_page);
    auto dialog = Start({}, code_page);
    const QRect group = dialog->Control(IDC_DRIVE_REGION_GROUP)->geometry();
    const QRect first = dialog->Control(IDC_REGION1)->geometry();
    const int h = first.height();
    QVERIFY(h > 0);
    for (int k = 0; k < 6; ++k) {
      QCOMPARE(dialog->Control(kRegionButton[k])->geometry(),
               QRect(group.x() + qt::kFrameWidth + 10,
                     group.y() + qt::kFrameAndCaptionHeight + k * h, group.width() - 15, h));
    }
    const QRect label = dialog->Control(IDC_CHANGES_LEFT)->geometry();
    QCOMPARE(label.y(), first.y() + 6 * h + 5);
    // The first row below the group box's caption, the label inside the box.
    QVERIFY(first.y() >= group.y() + QFontMetrics(dialog->font()).height());
    QVERIFY(label.bottom() <= group.bottom());
  }

  void japaneseModeShowsEveryTextWithTheJapaneseFont() {
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral("qtbase_ja"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
    QCoreApplication::installTranslator(&translator);
    auto dialog = Start({kDriveWithoutDisc}, kJapanese);
    for (const text::LabelRow& row : text::JapaneseLabels()) {
      QWidget* widget = dialog->Control(row.control_id);
      const auto* group = qobject_cast<QGroupBox*>(widget);
      QCOMPARE(group ? group->title() : qobject_cast<QAbstractButton*>(widget)->text(),
               QString::fromUtf8(row.text.data(), row.text.size()));
    }
    QCOMPARE(Widget<QLabel>(*dialog, IDC_TITLE)->text(),
             QStringLiteral("DVD-ROM Varden for Windows2000"));
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Varden for Windows2000"));

    // No text of the catalogue, in either language, lacks a glyph in the dialog's font.
    const QRawFont raw = QRawFont::fromFont(dialog->font());
    QVERIFY(raw.isValid());
    QVERIFY(raw.familyName().contains(QStringLiteral("IPA")));
    QStringList all;
    for (int key = 0; key <= static_cast<int>(text::Key::FMT_VERSION); ++key) {
      for (unsigned code_page : {kJapanese, kEnglish}) {
        text::DecideLanguage(code_page);
        all << QString::fromStdString(text::Text(static_cast<text::Key>(key)));
      }
    }
    text::DecideLanguage(kJapanese);
    for (const text::LabelRow& row : text::JapaneseLabels()) {
      all << QString::fromUtf8(row.text.data(), row.text.size());
    }
    for (const QString& line : all) {
      for (char32_t c : line.toUcs4()) {
        QVERIFY2(c == U'\r' || c == U'\n' || raw.supportsCharacter(c),
                 qPrintable(QStringLiteral("U+%1 in \"%2\"").arg(int(c), 4, 16).arg(line)));
      }
    }

    // Message boxes read in Japanese, with Qt's own Japanese buttons.
    QString shown;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
      shown = box->text() + "|" + box->button(QMessageBox::Cancel)->text();
      box->button(QMessageBox::Cancel)->click();
    });
    Widget<QRadioButton>(*dialog, IDC_REGION2)->click();
    QTest::mouseClick(Widget<QPushButton>(*dialog, IDC_SET_REGION), Qt::LeftButton);
    QCOMPARE(shown,
             QStringLiteral("ディスクがありません\n適切なディスクを挿入してください。|キャンセル"));
    QCoreApplication::removeTranslator(&translator);
  }

  // The menu: the platform's own item, then Help and About, each after a separator. The
  // About box (commands 10h to 1Fh) shows the same version line in either language and closes
  // with Enter; the help topic opens for 20h alone; the dialog stays open throughout.
  void systemMenuCommandsAreRouted_data() {
    QTest::addColumn<unsigned>("code_page");
    QTest::addColumn<QString>("help_item");
    QTest::addColumn<QString>("about_item");
    QTest::newRow("English") << kEnglish << "&Help (Varden)"
                             << "&About Varden...";
    QTest::newRow("Japanese") << kJapanese << "ヘルプ(&H)"
                              << "Vardenについて(&A)";
  }
  void systemMenuCommandsAreRouted() {
    QFETCH(unsigned, code_page);
    QFETCH(QString, help_item);
    QFETCH(QString, about_item);
    auto dialog = Start({}, code_page);
    const QList<QAction*> actions = dialog->SystemMenu()->actions();
    QCOMPARE(actions.size(), 5);
    QVERIFY(actions[1]->isSeparator() && actions[3]->isSeparator());
    QCOMPARE(actions[2]->text(), help_item);
    QCOMPARE(actions[2]->data().toUInt(), unsigned{IDM_HELP});
    QCOMPARE(actions[4]->text(), about_item);
    QCOMPARE(actions[4]->data().toUInt(), unsigned{IDM_ABOUTBOX});

    int helps = 0;
    QWidget help_window;
    dialog->SetHelpViewer([&](QWidget*, std::string_view) -> QWidget* {
      ++helps;
      return &help_window;
    });
    for (unsigned command = 0x10; command <= 0x2F; ++command) {
      const bool about = command <= 0x1F;
      QString shown;
      if (about) {
        WhenModal<qt::TemplateDialog>([&](qt::TemplateDialog* box) {
          shown =
              box->windowTitle() + "|" + qobject_cast<QLabel*>(box->Control(IDC_VERSION))->text();
          QTest::keyClick(box, Qt::Key_Return);  // OK is the default button
        });
      }
      const int helps_before = helps;
      if (command == IDM_HELP || command == IDM_ABOUTBOX) {
        actions[command == IDM_HELP ? 2 : 4]->trigger();
      } else {
        dialog->Logic().OnSysCommand(command);
      }
      QCOMPARE(shown, about ? QStringLiteral("About Varden|Varden Version 1.08") : QString());
      QCOMPARE(helps - helps_before, command == IDM_HELP ? 1 : 0);
      QVERIFY(dialog->isVisible());
    }
  }

  void helpTopicFoundOrMissing_data() {
    QTest::addColumn<unsigned>("code_page");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");
    QTest::newRow("English, found") << kEnglish << true << ".\\kelvane.chm::/Varden.htm"
                                    << "";
    QTest::newRow("English, missing") << kEnglish << false << ".\\kelvane.chm::/Varden.htm"
                                      << "Error|Help file is not found.";
    QTest::newRow("Japanese, missing") << kJapanese << false << ".\\kelvanej.chm::/Varden.htm"
                                       << "Error|ヘルプファイルが見つかりません。";
  }
  void helpTopicFoundOrMissing() {
    QFETCH(unsigned, code_page);
    QFETCH(bool, found);
    QFETCH(QString, path);
    QFETCH(QString, message);
    auto dialog = Start({}, code_page);
    QStringList asked;
    QWidget* calling_window = nullptr;
    QWidget help_window;
    dialog->SetHelpViewer([&](QWidget* caller, std::string_view topic) -> QWidget* {
      asked << QString::fromUtf8(topic.data(), topic.size());
      calling_window = caller;
      return found ? &help_window : nullptr;
    });
    QString shown;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    qsizetype buttons = 1;
    if (!found) {
      WhenModal<QMessageBox>([&](QMessageBox* box) {
        shown = box->windowTitle() + "|" + box->text();
        icon = box->icon();
        buttons = box->buttons().size();
        box->button(QMessageBox::Ok)->click();
      });
    }
    QTest::keyClick(dialog.get(), Qt::Key_F1);
    QCOMPARE(icon, QMessageBox::NoIcon);
    QCOMPARE(buttons, 1);
    QCOMPARE(asked, QStringList{path});
    QCOMPARE(calling_window, static_cast<QWidget*>(dialog.get()));
    QCOMPARE(shown, message);
    QCOMPARE(LogText(*dialog), std::string());
  }

#if defined(VARDEN_HELP_FILES_DIR)
  // The program's own viewer opens the help files of this build in a window of its own.
  void helpTopicOpensFromTheHelpFiles_data() {
    AddLanguageRows();
  }
  void helpTopicOpensFromTheHelpFiles() {
    QFETCH(unsigned, code_page);
    const QString before = QDir::currentPath();
    QDir::setCurrent(QStringLiteral(VARDEN_HELP_FILES_DIR));
    auto dialog = Start({}, code_page);
    const QList<QWidget*> windows_before = QApplication::topLevelWidgets();
    QTest::keyClick(dialog.get(), Qt::Key_F1);
    QDir::setCurrent(before);
    int new_visible = 0;
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (!windows_before.contains(window) && window->isVisible()) ++new_visible;
    }
    QCOMPARE(new_visible, 1);
  }
#endif

  // The transfer buffer is held for the whole run and released once; without it the program
  // refuses to start.
  void applicationHoldsTheBufferForTheRun_data() {
    QTest::addColumn<bool>("allocated");
    QTest::newRow("allocated") << true;
    QTest::newRow("not allocated") << false;
  }
  void applicationHoldsTheBufferForTheRun() {
    QFETCH(bool, allocated);
    int allocations = 0, releases = 0, released_while_shown = 0;
    qt::RunOptions options;
    options.seam = &bench_->drives;
    options.sleeper = &bench_->sleeper;
    options.buffer = {[&] {
                        ++allocations;
                        return allocated ? 0 : -1;
                      },
                      [&] { ++releases; }};
    QString shown;
    if (allocated) {
      WhenModal<MainDialog>([&](MainDialog* dialog) {
        released_while_shown = releases;
        dialog->close();
      });
    } else {
      WhenModal<QMessageBox>([&](QMessageBox* box) {
        shown = box->text();
        box->accept();
      });
    }
    QCOMPARE(qt::RunRegionApp(options), allocated ? 0 : 1);
    QCOMPARE(allocations, 1);
    QCOMPARE(released_while_shown, 0);
    QCOMPARE(releases, allocated ? 1 : 0);
    QCOMPARE(shown, allocated ? QString() : qt::NoBufferMessage());
  }

  void demoStateIsCreatedOnceAndADamagedFileIsLeftAlone() {
    QTemporaryDir folder;
    const std::filesystem::path file = folder.filePath("state/drives.json").toStdString();
    emulated::EmulatedDrives drives, again, none;
    const qt::DemoOpen first = qt::OpenDemoState(file, drives);
    QVERIFY(first.ok && first.created);
    QCOMPARE(drives.Drives().size(), emulated::DemoScenario().size());

    drives.Find('E')->region_mask = 0xFD;
    std::string error;
    QVERIFY(qt::SaveDemoState(file, drives, error));
    const qt::DemoOpen second = qt::OpenDemoState(file, again);
    QVERIFY(second.ok && !second.created);
    QCOMPARE(again.Find('E')->region_mask, std::uint8_t{0xFD});

    std::ofstream(file, std::ios::trunc) << "{ not json";
    const qt::DemoOpen third = qt::OpenDemoState(file, none);
    QVERIFY(!third.ok && !third.error.empty());
    std::ifstream kept(file);
    QCOMPARE(std::string(std::istreambuf_iterator<char>(kept), {}), std::string("{ not json"));
  }
};

QTEST_MAIN(MainDialogTest)
#include "main_dialog_qt_test.moc"
