// The Qt program on emulated drives, on Qt's offscreen platform: what the user sees at
// start-up, after a choice of drive and through a change of region; the ways the dialog
// ends; the region-button rows; the Japanese labels and font; the About box, the help topic
// and the system-menu commands; the application object and the demo's state file.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRawFont>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <QtTest>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include "app/qt/demo_state.h"
#include "app/qt/region_app.h"
#include "app/transfer_buffer.h"
#include "drive/drive_access.h"
#include "emulated/emulated_drive.h"
#include "emulated/state_file.h"
#include "text/catalogue.h"
#include "ui/qt/main_dialog.h"
#include "ui/resources/resource.h"

using namespace varden;
using qt::MainDialog;

namespace {

constexpr unsigned kEnglish = 437;
constexpr unsigned kJapanese = 932;

class NoWait : public Sleeper {
 public:
  int waits = 0;
  void SleepMilliseconds(int) override { ++waits; }
};

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

emulated::DriveState Drive(char letter, std::uint8_t mask, int changes, bool disc) {
  emulated::DriveState drive;
  drive.letter = letter;
  drive.region_mask = mask;
  drive.user_changes = changes;
  drive.disc.present = disc;
  return drive;
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
  std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(kTransferBufferSize);
  std::unique_ptr<emulated::EmulatedDrives> drives_;
  NoWait sleeper_;

  // A dialog on the given drives, started up.
  std::unique_ptr<MainDialog> Start(std::vector<emulated::DriveState> drives,
                                    unsigned code_page = kEnglish) {
    *drives_ = emulated::EmulatedDrives(std::move(drives));
    auto dialog = std::make_unique<MainDialog>(code_page, sleeper_);
    dialog->Initialise();
    dialog->show();
    return dialog;
  }

 private slots:
  void init() {
    ResetDriveAccess();
    text::ResetLanguage();
    drives_ = std::make_unique<emulated::EmulatedDrives>();
    SetDeviceSeam(drives_.get());
    AttachTransferBuffer(buffer_.data());
  }
  void cleanup() {
    ResetDriveAccess();
    text::ResetLanguage();
  }

  void startUpShowsTheProgressWindowThenTheDialog_data() {
    QTest::addColumn<int>("drives");
    QTest::newRow("no drive") << 0;
    QTest::newRow("four drives of the maker and one other") << 5;
  }
  void startUpShowsTheProgressWindowThenTheDialog() {
    QFETCH(int, drives);
    std::vector<emulated::DriveState> scenario = emulated::DemoScenario();
    scenario.resize(drives == 0 ? 0 : scenario.size());
    *drives_ = emulated::EmulatedDrives(scenario);
    MainDialog dialog(kEnglish, sleeper_);
    int opened = 0, closed = 0;
    QStringList texts;
    QList<int> positions;
    connect(&dialog, &MainDialog::progressOpened, [&] {
      ++opened;
      QVERIFY(dialog.ProgressWindow()->isVisible());
      QCOMPARE(dialog.ProgressWindow()->windowTitle(), QStringLiteral("Now processing..."));
    });
    connect(&dialog, &MainDialog::progressStepped, [&](int position, const QString& text) {
      QVERIFY(dialog.ProgressWindow()->isVisible());
      QVERIFY(!dialog.isVisible());
      positions << position;
      texts << text;
    });
    connect(&dialog, &MainDialog::progressClosed, [&] { ++closed; });
    dialog.Initialise();

    QCOMPARE(opened, 1);
    QCOMPARE(closed, 1);
    QVERIFY(dialog.ProgressWindow() == nullptr);
    QCOMPARE(texts.size(), 23);
    QCOMPARE(texts.first(), QStringLiteral("Now checking device No.1"));
    QCOMPARE(texts.last(), QStringLiteral("Now checking device No.23"));
    QCOMPARE(positions.first(), 1);
    QCOMPARE(positions.last(), 23);

    auto* list = Widget<QComboBox>(dialog, IDC_DRIVE_LIST);
    auto* changes = Widget<QLabel>(dialog, IDC_CHANGES_LEFT);
    if (drives == 0) {
      QCOMPARE(list->count(), 0);
      QCOMPARE(list->currentIndex(), -1);
      QCOMPARE(changes->text(), QStringLiteral("Regional code can can be changed 5 times"));
      for (int id : kRegionButton) QVERIFY(!dialog.Control(id)->isEnabled());
      for (int id : kDiscRegionBox) QVERIFY(!dialog.Control(id)->isEnabled());
      QCOMPARE(LogText(dialog), std::string());
    } else {
      QCOMPARE(list->count(), 4);  // the other maker's drive is not listed
      QCOMPARE(list->currentIndex(), 0);
      QVERIFY(list->itemText(0).startsWith(QStringLiteral("E: MERIDAX DVD-ROM MX-1608")));
      QCOMPARE(changes->text(), QStringLiteral("Regional code can be changed 5time(s)"));
      QCOMPARE(LogText(dialog), std::string("Drive has no region.\r\nNo copyright protrction "
                                            "disc.\r\nAll region is allowed.\r\n"));
      for (int id : kRegionButton) QVERIFY(dialog.Control(id)->isEnabled());
    }
    QCOMPARE(Widget<QPushButton>(dialog, IDC_EXIT)->text(), QStringLiteral("Exit"));
    QVERIFY(dialog.focusWidget() == list || dialog.focusWidget() == list->lineEdit());
  }

  void selectionChangeReportsTheChosenDrive() {
    auto dialog = Start(emulated::DemoScenario());
    auto* list = Widget<QComboBox>(*dialog, IDC_DRIVE_LIST);
    list->setCurrentIndex(1);
    emit list->activated(1);
    const std::string log = LogText(*dialog);
    QVERIFY(log.ends_with("Drive's region is 2.\r\nThis disc is allowed region 2 4\r\n"));
    QCOMPARE(dialog->Logic().LastReportedIndex(), 1);
    QVERIFY(dialog->Control(IDC_REGION2)->property("pushed").toBool());
    QCOMPARE(Widget<QLabel>(*dialog, IDC_CHANGES_LEFT)->text(),
             QStringLiteral("Regional code can be changed 4time(s)"));
    QVERIFY(Widget<QCheckBox>(*dialog, IDC_DISC_REGION2)->isChecked());
    QVERIFY(Widget<QCheckBox>(*dialog, IDC_DISC_REGION4)->isChecked());
    // The newest text is in view: the log is scrolled to its end.
    auto* log_edit = Widget<QPlainTextEdit>(*dialog, IDC_LOG);
    QVERIFY(log_edit->verticalScrollBar()->value() > 0);
    QVERIFY(log_edit->textCursor().atEnd());
    QVERIFY(log_edit->viewport()->rect().contains(log_edit->cursorRect()));
    // Appending without scrolling shows the log as new text shows: from its start.
    dialog->Logic().AppendLogNoScroll("Appended.\r\n");
    QCOMPARE(log_edit->verticalScrollBar()->value(), 0);
    QCOMPARE(log_edit->textCursor().position(), 0);
    QVERIFY(LogText(*dialog).ends_with("4\r\nAppended.\r\n"));
  }

  void setRegionAsksForADisc_data() {
    QTest::addColumn<bool>("ok");
    QTest::newRow("answered Cancel") << false;
    QTest::newRow("answered OK after inserting a disc") << true;
  }
  void setRegionAsksForADisc() {
    QFETCH(bool, ok);
    // No region, but a change already used: the change waits for a ready drive.
    auto dialog = Start({Drive('E', 0xFF, 4, false)});
    Widget<QRadioButton>(*dialog, IDC_REGION3)->click();
    QVERIFY(dialog->GetCheck(IDC_REGION3));
    QString shown_text, shown_title;
    QMessageBox::Icon shown_icon = QMessageBox::NoIcon;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
      shown_text = box->text();
      shown_title = box->windowTitle();
      shown_icon = box->icon();
      QCOMPARE(box->parentWidget(), static_cast<QWidget*>(dialog.get()));
      QVERIFY(box->button(QMessageBox::Ok) != nullptr);
      if (ok) {
        drives_->InsertDisc('E', emulated::Disc{.present = true});
        box->button(QMessageBox::Ok)->click();
      } else {
        box->button(QMessageBox::Cancel)->click();
      }
    });
    QTest::mouseClick(Widget<QPushButton>(*dialog, IDC_SET_REGION), Qt::LeftButton);

    QCOMPARE(shown_text, QStringLiteral("Disc is not present !\nPlease insert approproiate disc"));
    QCOMPARE(shown_title, QStringLiteral("Attention"));
    QCOMPARE(shown_icon, QMessageBox::Warning);
    const std::string log = LogText(*dialog);
    if (ok) {
      QVERIFY(log.find("Success to set regional code.\r\nDrive's region is 3.\r\n") !=
              std::string::npos);
      QCOMPARE(drives_->Find('E')->region_mask, std::uint8_t{0xFB});
    } else {
      QVERIFY(log.find("Operation is canceled.\r\nDrive has no region.\r\n") != std::string::npos);
      QCOMPARE(drives_->Find('E')->region_mask, std::uint8_t{0xFF});
    }
  }

  void theDialogEnds_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("Exit") << "exit" << 2;
    QTest::newRow("close box") << "close" << 2;
    QTest::newRow("Escape in the list") << "escape" << 2;
    QTest::newRow("Enter in the list") << "enter-list" << 1;
    QTest::newRow("Enter in the log") << "enter-log" << 1;
  }
  void theDialogEnds() {
    QFETCH(QString, how);
    QFETCH(int, result);
    auto dialog = Start(emulated::DemoScenario());
    int finished = -1;
    connect(dialog.get(), &QDialog::finished, [&](int r) { finished = r; });
    auto* list = Widget<QComboBox>(*dialog, IDC_DRIVE_LIST);
    if (how == "exit") QTest::mouseClick(Widget<QPushButton>(*dialog, IDC_EXIT), Qt::LeftButton);
    if (how == "close") dialog->close();
    if (how == "escape") QTest::keyClick(list->lineEdit(), Qt::Key_Escape);
    if (how == "enter-list") QTest::keyClick(list->lineEdit(), Qt::Key_Return);
    if (how == "enter-log") QTest::keyClick(dialog->Control(IDC_LOG), Qt::Key_Enter);
    QCOMPARE(finished, result);
    QVERIFY(!dialog->isVisible());
  }

  void enterOnAPushButtonPressesItInstead() {
    auto dialog = Start(emulated::DemoScenario());
    const std::size_t before = LogText(*dialog).size();
    auto* get = Widget<QPushButton>(*dialog, IDC_GET_REGION);
    get->setFocus();
    QTest::keyClick(get, Qt::Key_Return);
    QVERIFY(dialog->isVisible());
    QVERIFY(LogText(*dialog).size() > before);
  }

  void regionRowsFillTheGroupBoxBelowItsCaption_data() {
    QTest::addColumn<unsigned>("code_page");
    QTest::newRow("English") << kEnglish;
    QTest::newRow("Japanese") << kJapanese;
  }
  void regionRowsFillTheGroupBoxBelowItsCaption() {
    QFETCH(unsigned, code_page);
    auto dialog = Start({}, code_page);
    const QRect group = dialog->Control(IDC_DRIVE_REGION_GROUP)->geometry();
    const QRect first = dialog->Control(IDC_REGION1)->geometry();
    const int h = first.height();
    QVERIFY(h > 0);
    for (int k = 0; k < 6; ++k) {
      const QRect row = dialog->Control(kRegionButton[k])->geometry();
      QCOMPARE(row, QRect(group.x() + qt::kFrameWidth + 10,
                          group.y() + qt::kFrameAndCaptionHeight + k * h, group.width() - 15, h));
    }
    const QRect label = dialog->Control(IDC_CHANGES_LEFT)->geometry();
    QCOMPARE(label.y(), first.y() + 6 * h + 5);
    // The picture: the first row below the group box's caption, the label inside the box.
    QVERIFY(first.y() >= group.y() + QFontMetrics(dialog->font()).height());
    QVERIFY(label.bottom() <= group.bottom());
  }

  void japaneseModeShowsEveryTextWithTheJapaneseFont() {
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral("qtbase_ja"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
    QCoreApplication::installTranslator(&translator);
    auto dialog = Start({Drive('E', 0xFF, 4, false)}, kJapanese);
    for (const text::LabelRow& row : text::JapaneseLabels()) {
      QWidget* widget = dialog->Control(row.control_id);
      const QString expected = QString::fromUtf8(row.text.data(), row.text.size());
      if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        QCOMPARE(group->title(), expected);
      } else {
        QCOMPARE(qobject_cast<QAbstractButton*>(widget)->text(), expected);
      }
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
        if (c == U'\r' || c == U'\n') continue;
        QVERIFY2(raw.supportsCharacter(c),
                 qPrintable(QStringLiteral("U+%1 in \"%2\"").arg(int(c), 4, 16).arg(line)));
      }
    }

    // Message boxes read in Japanese, with Qt's own Japanese buttons.
    QString cancel_text, box_text;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
      box_text = box->text();
      cancel_text = box->button(QMessageBox::Cancel)->text();
      box->button(QMessageBox::Cancel)->click();
    });
    Widget<QRadioButton>(*dialog, IDC_REGION2)->click();
    QTest::mouseClick(Widget<QPushButton>(*dialog, IDC_SET_REGION), Qt::LeftButton);
    QCOMPARE(box_text, QStringLiteral("ディスクがありません\n適切なディスクを挿入してください。"));
    QCOMPARE(cancel_text, QStringLiteral("キャンセル"));
    QCoreApplication::removeTranslator(&translator);
  }

  void aboutBoxShowsTheVersionLine_data() {
    QTest::addColumn<unsigned>("code_page");
    QTest::newRow("English") << kEnglish;
    QTest::newRow("Japanese") << kJapanese;
  }
  void aboutBoxShowsTheVersionLine() {
    QFETCH(unsigned, code_page);
    auto dialog = Start({}, code_page);
    QString version, title;
    WhenModal<qt::TemplateDialog>([&](qt::TemplateDialog* about) {
      version = qobject_cast<QLabel*>(about->Control(IDC_VERSION))->text();
      title = about->windowTitle();
      QTest::keyClick(about, Qt::Key_Return);  // OK is the default button
    });
    QAction* item = nullptr;
    for (QAction* action : dialog->SystemMenu()->actions()) {
      if (action->data().toUInt() == IDM_ABOUTBOX) item = action;
    }
    QVERIFY(item != nullptr);
    item->trigger();
    QCOMPARE(version, QStringLiteral("Varden Version 1.08"));
    QCOMPARE(title, QStringLiteral("About Varden"));
    QVERIFY(dialog->isVisible());
  }

  void helpTopicFoundOrMissing_data() {
    QTest::addColumn<unsigned>("code_page");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");
    QTest::newRow("English, found") << kEnglish << true << ".\\kelvane.chm::/Varden.htm"
                                    << "";
    QTest::newRow("English, missing") << kEnglish << false << ".\\kelvane.chm::/Varden.htm"
                                      << "Help file is not found.";
    QTest::newRow("Japanese, missing") << kJapanese << false << ".\\kelvanej.chm::/Varden.htm"
                                       << "ヘルプファイルが見つかりません。";
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
    QString shown, title;
    int buttons = 0;
    QMessageBox::Icon icon = QMessageBox::Warning;
    if (!found) {
      WhenModal<QMessageBox>([&](QMessageBox* box) {
        shown = box->text();
        title = box->windowTitle();
        icon = box->icon();
        buttons = box->buttons().size();
        box->button(QMessageBox::Ok)->click();
      });
    }
    QTest::keyClick(dialog.get(), Qt::Key_F1);
    QCOMPARE(asked, QStringList{path});
    QCOMPARE(calling_window, static_cast<QWidget*>(dialog.get()));
    QCOMPARE(shown, message);
    if (!found) {
      QCOMPARE(title, QStringLiteral("Error"));
      QCOMPARE(icon, QMessageBox::NoIcon);
      QCOMPARE(buttons, 1);
    }
    QCOMPARE(LogText(*dialog), std::string());
  }

#if defined(VARDEN_HELP_FILES_DIR)
  // The program's own viewer over the help files of this build.
  void helpTopicOpensFromTheHelpFiles_data() {
    QTest::addColumn<unsigned>("code_page");
    QTest::addColumn<bool>("in_help_folder");
    QTest::newRow("English, help folder") << kEnglish << true;
    QTest::newRow("Japanese, help folder") << kJapanese << true;
    QTest::newRow("English, elsewhere") << kEnglish << false;
  }
  void helpTopicOpensFromTheHelpFiles() {
    QFETCH(unsigned, code_page);
    QFETCH(bool, in_help_folder);
    QTemporaryDir elsewhere;
    const QString before = QDir::currentPath();
    QDir::setCurrent(in_help_folder ? QStringLiteral(VARDEN_HELP_FILES_DIR) : elsewhere.path());
    auto dialog = Start({}, code_page);
    QString shown;
    if (!in_help_folder) {
      WhenModal<QMessageBox>([&](QMessageBox* box) {
        shown = box->text();
        box->accept();
      });
    }
    const QList<QWidget*> windows_before = QApplication::topLevelWidgets();
    QTest::keyClick(dialog.get(), Qt::Key_F1);
    QDir::setCurrent(before);
    int new_visible = 0;
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (!windows_before.contains(window) && window->isVisible()) ++new_visible;
    }
    QCOMPARE(new_visible, in_help_folder ? 1 : 0);
    QCOMPARE(shown, in_help_folder ? QString() : QStringLiteral("Help file is not found."));
  }
#endif

  void systemMenuCommandsAreRouted() {
    auto dialog = Start({});
    // The menu: the platform's own item, then Help and About, each after a separator.
    const QList<QAction*> actions = dialog->SystemMenu()->actions();
    QCOMPARE(actions.size(), 5);
    QVERIFY(actions[1]->isSeparator() && actions[3]->isSeparator());
    QCOMPARE(actions[2]->text(), QStringLiteral("&Help (Varden)"));
    QCOMPARE(actions[2]->data().toUInt(), unsigned{IDM_HELP});
    QCOMPARE(actions[4]->text(), QStringLiteral("&About Varden..."));
    QCOMPARE(actions[4]->data().toUInt(), unsigned{IDM_ABOUTBOX});

    int help_calls = 0;
    QWidget help_window;
    dialog->SetHelpViewer([&](QWidget*, std::string_view) -> QWidget* {
      ++help_calls;
      return &help_window;
    });
    for (unsigned command = 0x10; command <= 0x2F; ++command) {
      bool about_opened = false;
      const bool expect_about = command <= 0x1F;
      if (expect_about) {
        WhenModal<qt::TemplateDialog>([&](qt::TemplateDialog* about) {
          about_opened = about->Template().id == IDD_ABOUTBOX;
          about->reject();
        });
      }
      const int helps_before = help_calls;
      dialog->Logic().OnSysCommand(command);
      QCOMPARE(about_opened, expect_about);
      QCOMPARE(help_calls - helps_before, command == 0x20 ? 1 : 0);
      QVERIFY(dialog->isVisible());
    }
  }

  void applicationHoldsTheBufferForTheRun() {
    int allocations = 0, releases = 0;
    qt::RunOptions options;
    options.seam = drives_.get();
    options.sleeper = &sleeper_;
    options.buffer = {[&] {
                        ++allocations;
                        return 0;
                      },
                      [&] { ++releases; }};
    WhenModal<MainDialog>([&](MainDialog* dialog) {
      QCOMPARE(releases, 0);
      dialog->close();
    });
    QCOMPARE(qt::RunRegionApp(options), 0);
    QCOMPARE(allocations, 1);
    QCOMPARE(releases, 1);
  }

  void applicationRefusesToStartWithoutTheBuffer() {
    int releases = 0;
    qt::RunOptions options;
    options.seam = drives_.get();
    options.buffer = {[] { return -1; }, [&] { ++releases; }};
    QString shown;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
      shown = box->text();
      box->accept();
    });
    QCOMPARE(qt::RunRegionApp(options), 1);
    QCOMPARE(shown, qt::NoBufferMessage());
    QCOMPARE(releases, 0);
  }

  void demoStateIsCreatedOnceAndADamagedFileIsLeftAlone() {
    QTemporaryDir folder;
    const std::filesystem::path file = folder.filePath("state/drives.json").toStdString();
    emulated::EmulatedDrives drives;
    qt::DemoOpen first = qt::OpenDemoState(file, drives);
    QVERIFY(first.ok);
    QVERIFY(first.created);
    QCOMPARE(drives.Drives().size(), emulated::DemoScenario().size());

    drives.Find('E')->region_mask = 0xFD;
    std::string error;
    QVERIFY(qt::SaveDemoState(file, drives, error));
    emulated::EmulatedDrives again;
    qt::DemoOpen second = qt::OpenDemoState(file, again);
    QVERIFY(second.ok);
    QVERIFY(!second.created);
    QCOMPARE(again.Find('E')->region_mask, std::uint8_t{0xFD});

    {
      std::ofstream damaged(file, std::ios::trunc);
      damaged << "{ not json";
    }
    emulated::EmulatedDrives none;
    qt::DemoOpen third = qt::OpenDemoState(file, none);
    QVERIFY(!third.ok);
    QVERIFY(!third.error.empty());
    std::ifstream kept(file);
    const std::string content((std::istreambuf_iterator<char>(kept)), {});
    QCOMPARE(content, std::string("{ not json"));
  }
};

QTEST_MAIN(MainDialogTest)
#include "main_dialog_qt_test.moc"
