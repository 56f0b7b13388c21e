// The help viewer: help paths, where help files are found, and the help window over the help
// files of this build.

#include <gtest/gtest.h>

#include <QtTest>
#include <QtWidgets>
#include <algorithm>
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

TEST(ParseHelpPath, SplitsFileAndTopic) {
  const std::pair<std::string_view, std::optional<HelpPath>> cases[] = {
      {".\\kelvanej.chm::/Varden.htm", HelpPath{"kelvanej.chm", "/Varden.htm"}},
      {".\\help\\x.chm::/Varden.htm", HelpPath{"help/x.chm", "/Varden.htm"}},
      {"x.chm::\\Varden.htm", HelpPath{"x.chm", "/Varden.htm"}},
      {".\\kelvane.chm:/Varden.htm", std::nullopt},
      {".\\kelvane.chm::", std::nullopt},
      {".\\kelvane.chm::/#menu", std::nullopt},  // an anchor only
      {".\\help\\::/Varden.htm", std::nullopt},  // a folder
  };
  for (const auto& [path, expected] : cases) {
    const std::optional<HelpPath> got = ParseHelpPath(path);
    EXPECT_TRUE(got == expected) << path << " gave " << (got ? got->file + "|" + got->topic : "");
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
  for (const fs::path& dir : {dirs.current, dirs.executable, dirs.data})
    WriteFile(dir / "everywhere.chm", "x");
  WriteFile(dirs.executable / "beside.chm", "x");
  WriteFile(dirs.data / "installed.chm", "x");
  const std::pair<std::string, std::optional<fs::path>> cases[] = {
      {"everywhere.chm", dirs.current / "everywhere.chm"},
      {"beside.chm", dirs.executable / "beside.chm"},
      {"installed.chm", dirs.data / "installed.chm"},
      {"missing.chm", std::nullopt},
      {(dirs.current / "beside.chm").string(), std::nullopt},  // absolute: not searched
  };
  for (const auto& [file, expected] : cases)
    EXPECT_EQ(ResolveHelpFile(file, dirs), expected) << file;
}

class HtmlHelpTest : public ::testing::Test {
 protected:
  HtmlHelpTest() : saved_(fs::current_path()) { fs::current_path(kHelpFilesDir); }
  ~HtmlHelpTest() override { fs::current_path(saved_); }
  void SetUp() override { caller_.show(); }

  HelpWindow* Open(std::string_view path) {
    return dynamic_cast<HelpWindow*>(HtmlHelp(&caller_, path));
  }
  long OpenHelpWindows() const {
    return std::ranges::count_if(caller_.children(), [](QObject* child) {
      auto* window = dynamic_cast<HelpWindow*>(child);
      return window != nullptr && window->isVisible();
    });
  }

  fs::path saved_;
  QWidget caller_;
};

TEST_F(HtmlHelpTest, AnswersNullAndShowsNothingWhenTheTopicCannotBeShown) {
  QTemporaryDir temp;
  WriteFile(temp.filePath("fake.chm").toStdString(), "<html>not a compiled help file</html>");
  const std::string fake = temp.filePath("fake.chm").toStdString() + "::/Varden.htm";
  const std::string paths[] = {".\\missing.chm::/Varden.htm", ".\\kelvane.chm::/Missing.htm", fake};
  for (const std::string& path : paths) {
    EXPECT_EQ(HtmlHelp(&caller_, path), nullptr) << path;
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
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
