// The help viewer: help paths, where help files are found, and the help window over the help
// files of this build, on Qt's offscreen platform.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "ui/qt/help_window.h"
#include "ui/qt/html_help.h"

namespace varden::qt {
namespace {

namespace fs = std::filesystem;

const fs::path kHelpFilesDir = VARDEN_HELP_FILES_DIR;

struct ParseCase {
  const char* name;
  std::string_view path;
  std::optional<HelpPath> expected;
};

TEST(ParseHelpPath, SplitsFileAndTopic) {
  const ParseCase cases[] = {
      {"the program's form", ".\\kelvanej.chm::/Varden.htm",
       HelpPath{"kelvanej.chm", "/Varden.htm"}},
      {"folder with backslashes", ".\\help\\x.chm::/Varden.htm",
       HelpPath{"help/x.chm", "/Varden.htm"}},
      {"absolute file", "/opt/varden/x.chm::/a.htm", HelpPath{"/opt/varden/x.chm", "/a.htm"}},
      {"topic with backslash", "x.chm::\\Varden.htm", HelpPath{"x.chm", "/Varden.htm"}},
      {"single colon", ".\\kelvane.chm:/Varden.htm", std::nullopt},
      {"empty topic", ".\\kelvane.chm::", std::nullopt},
      {"topic of an anchor only", ".\\kelvane.chm::/#menu", std::nullopt},
      {"folder instead of file", ".\\help\\::/Varden.htm", std::nullopt},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<HelpPath> got = ParseHelpPath(c.path);
    ASSERT_EQ(got.has_value(), c.expected.has_value());
    if (got) {
      EXPECT_EQ(got->file, c.expected->file);
      EXPECT_EQ(got->topic, c.expected->topic);
    }
  }
}

void WriteFile(const fs::path& file, const std::string& content) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << content;
}

TEST(ResolveHelpFile, SearchesCurrentThenExecutableThenData) {
  QTemporaryDir temp;
  const fs::path root = temp.path().toStdString();
  const HelpSearchDirs dirs{root / "current", root / "bin", root / "data"};
  for (const fs::path* dir : {&dirs.current, &dirs.executable, &dirs.data}) {
    WriteFile(*dir / "everywhere.chm", "x");
  }
  WriteFile(dirs.executable / "beside.chm", "x");
  WriteFile(dirs.data / "installed.chm", "x");

  struct Case {
    const char* name;
    std::string file;
    HelpSearchDirs dirs;
    std::optional<fs::path> expected;
  };
  const Case cases[] = {
      {"current directory first", "everywhere.chm", dirs, dirs.current / "everywhere.chm"},
      {"only beside the executable", "beside.chm", dirs, dirs.executable / "beside.chm"},
      {"only in the data folder", "installed.chm", dirs, dirs.data / "installed.chm"},
      {"nowhere", "missing.chm", dirs, std::nullopt},
      {"absolute name is not searched", (dirs.current / "beside.chm").string(), dirs, std::nullopt},
      {"empty name", "", dirs, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ResolveHelpFile(c.file, c.dirs), c.expected);
  }
}

class HtmlHelpTest : public ::testing::Test {
 protected:
  HtmlHelpTest() : saved_(fs::current_path()) { fs::current_path(kHelpFilesDir); }
  ~HtmlHelpTest() override { fs::current_path(saved_); }
  void SetUp() override { caller_.show(); }

  HelpWindow* Open(std::string_view path) {
    return dynamic_cast<HelpWindow*>(HtmlHelp(&caller_, path));
  }
  int OpenHelpWindows() const {
    int count = 0;
    for (QObject* child : caller_.children()) {
      auto* window = dynamic_cast<HelpWindow*>(child);
      if (window != nullptr && window->isVisible()) ++count;
    }
    return count;
  }

  fs::path saved_;
  QWidget caller_;
};

TEST_F(HtmlHelpTest, AnswersNullAndShowsNothingWhenTheTopicCannotBeShown) {
  QTemporaryDir temp;
  WriteFile(temp.filePath("fake.chm").toStdString(), "<html>not a compiled help file</html>");
  const std::string fake = temp.filePath("fake.chm").toStdString() + "::/Varden.htm";
  for (std::string_view path :
       {std::string_view(".\\missing.chm::/Varden.htm"),
        std::string_view(".\\kelvane.chm::/Missing.htm"), std::string_view(fake)}) {
    SCOPED_TRACE(std::string(path));
    EXPECT_EQ(HtmlHelp(&caller_, path), nullptr);
    EXPECT_EQ(OpenHelpWindows(), 0);
  }
}

TEST_F(HtmlHelpTest, AnotherTopicOfAnOpenFileReusesItsWindow) {
  HelpWindow* first = Open(".\\kelvane.chm::/Varden.htm");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(Open(".\\kelvane.chm::/dialog.htm"), first);
  EXPECT_EQ(first->windowTitle(), "The Varden window");
  HelpWindow* japanese = Open(".\\kelvanej.chm::/Varden.htm");
  ASSERT_NE(japanese, nullptr);
  EXPECT_NE(japanese, first);
  EXPECT_EQ(japanese->windowTitle(), QString::fromUtf8("Varden ヘルプ"));
  EXPECT_TRUE(japanese->isWindow() && !japanese->isModal() && japanese->parentWidget() == &caller_);
  EXPECT_EQ(OpenHelpWindows(), 2);
  QPointer<QWidget> watch(japanese);
  japanese->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(watch.isNull()) << "a closed help window is deleted";
}

TEST_F(HtmlHelpTest, ReadsOnlyWhatTheFileHolds) {
  HelpWindow* window = Open(".\\kelvane.chm::/Varden.htm");
  ASSERT_NE(window, nullptr);
  QTextBrowser* browser = window->browser();
  browser->setSource(QUrl("messages.htm#boxes"));
  EXPECT_EQ(window->windowTitle(), "Messages");
  // A page the file lacks and anything outside the file keep the page shown.
  for (const char* outside : {"nothing.htm", "file:///etc/hostname", "qrc:/x.htm", "x:/y"}) {
    SCOPED_TRACE(outside);
    browser->setSource(QUrl(outside));
    EXPECT_EQ(browser->source(), ChmUrl("/messages.htm#boxes"));
    EXPECT_FALSE(browser->loadResource(QTextDocument::HtmlResource, QUrl(outside)).isValid());
  }
  const QVariant png = browser->loadResource(QTextDocument::ImageResource, QUrl("varden.png"));
  EXPECT_EQ(QImage::fromData(png.toByteArray()).size(), QSize(256, 256));
}

}  // namespace
}  // namespace varden::qt

int main(int argc, char** argv) {
  // Headless wherever it runs.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
