// The help viewer: help paths, where help files are found, and the help window over the help
// files of this build, on Qt's offscreen platform.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPointer>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "ui/qt/help_window.h"
#include "ui/qt/html_help.h"

namespace varden::qt {
namespace {

namespace fs = std::filesystem;

const fs::path kHelpFilesDir = VARDEN_HELP_FILES_DIR;

// --- Help paths ------------------------------------------------------------------------------

struct ParseCase {
  const char* name;
  std::string_view path;
  std::optional<HelpPath> expected;
};

TEST(ParseHelpPath, SplitsFileAndTopic) {
  const ParseCase cases[] = {
      {"the program's English form", ".\\kelvane.chm::/Varden.htm",
       HelpPath{"kelvane.chm", "/Varden.htm"}},
      {"the program's Japanese form", ".\\kelvanej.chm::/Varden.htm",
       HelpPath{"kelvanej.chm", "/Varden.htm"}},
      {"forward slash", "./x.chm::/Varden.htm", HelpPath{"x.chm", "/Varden.htm"}},
      {"bare file name", "x.chm::/Varden.htm", HelpPath{"x.chm", "/Varden.htm"}},
      {"folder with backslashes", ".\\help\\x.chm::/Varden.htm",
       HelpPath{"help/x.chm", "/Varden.htm"}},
      {"absolute file", "/opt/varden/x.chm::/a.htm", HelpPath{"/opt/varden/x.chm", "/a.htm"}},
      {"topic without its slash", "x.chm::Varden.htm", HelpPath{"x.chm", "/Varden.htm"}},
      {"topic with backslash", "x.chm::\\Varden.htm", HelpPath{"x.chm", "/Varden.htm"}},
      {"topic with an anchor", "x.chm::/dialog.htm#menu", HelpPath{"x.chm", "/dialog.htm#menu"}},
      {"no separator", ".\\kelvane.chm", std::nullopt},
      {"single colon", ".\\kelvane.chm:/Varden.htm", std::nullopt},
      {"empty topic", ".\\kelvane.chm::", std::nullopt},
      {"topic of a slash only", ".\\kelvane.chm::/", std::nullopt},
      {"topic of an anchor only", ".\\kelvane.chm::/#menu", std::nullopt},
      {"no file", "::/Varden.htm", std::nullopt},
      {"current folder only", ".\\::/Varden.htm", std::nullopt},
      {"folder instead of file", ".\\help\\::/Varden.htm", std::nullopt},
      {"empty", "", std::nullopt},
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

// --- Finding the help file -------------------------------------------------------------------

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "varden-help-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void WriteFile(const fs::path& file, const std::string& content) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << content;
}

TEST(ResolveHelpFile, SearchesCurrentThenExecutableThenData) {
  TempDir temp;
  const HelpSearchDirs dirs{temp.path() / "current", temp.path() / "bin", temp.path() / "data"};
  for (const fs::path* dir : {&dirs.current, &dirs.executable, &dirs.data}) {
    WriteFile(*dir / "everywhere.chm", "x");
  }
  WriteFile(dirs.executable / "beside.chm", "x");
  WriteFile(dirs.data / "installed.chm", "x");
  WriteFile(dirs.executable / "sub" / "nested.chm", "x");
  fs::create_directories(dirs.current / "folder.chm");  // a folder of that name does not count
  WriteFile(dirs.data / "folder.chm", "x");

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
      {"relative folder", "sub/nested.chm", dirs, dirs.executable / "sub" / "nested.chm"},
      {"a folder is skipped", "folder.chm", dirs, dirs.data / "folder.chm"},
      {"nowhere", "missing.chm", dirs, std::nullopt},
      {"empty search folders skipped", "installed.chm", HelpSearchDirs{{}, {}, dirs.data},
       dirs.data / "installed.chm"},
      {"absolute name as it is", (dirs.data / "installed.chm").string(), dirs,
       dirs.data / "installed.chm"},
      {"absolute name is not searched", (dirs.current / "beside.chm").string(), dirs, std::nullopt},
      {"empty name", "", dirs, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ResolveHelpFile(c.file, c.dirs), c.expected);
  }
}

// --- The help files of this build ------------------------------------------------------------

const char* const kHelpFiles[] = {"kelvane.chm", "kelvanej.chm"};
const char* const kPages[] = {"/Varden.htm", "/dialog.htm", "/messages.htm", "/regions.htm"};

std::unique_ptr<ChmArchive> OpenBuilt(const char* name) {
  std::unique_ptr<ChmArchive> archive = ChmArchive::Open(kHelpFilesDir / name);
  EXPECT_NE(archive, nullptr) << name;
  return archive;
}

// Every link on every page leads to an object in the same file, and every anchor to an id.
TEST(HelpFiles, EveryLinkLeadsInsideTheFile) {
  for (const char* name : kHelpFiles) {
    std::unique_ptr<ChmArchive> archive = OpenBuilt(name);
    ASSERT_NE(archive, nullptr);
    for (const char* page : kPages) {
      SCOPED_TRACE(std::string(name) + page);
      const std::optional<QByteArray> html = archive->Read(page);
      ASSERT_TRUE(html.has_value());
      QTextDocument document;
      document.setHtml(QString::fromUtf8(*html));
      int links = 0;
      for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
          const QString href = it.fragment().charFormat().anchorHref();
          if (href.isEmpty()) continue;
          ++links;
          const QUrl target = ChmUrl(page).resolved(QUrl(href));
          const std::optional<std::string> object = ObjectPathOf(target);
          ASSERT_TRUE(object.has_value()) << href.toStdString();
          const std::optional<QByteArray> linked = archive->Read(*object);
          ASSERT_TRUE(linked.has_value()) << href.toStdString();
          if (target.hasFragment()) {
            EXPECT_TRUE(linked->contains("id=\"" + target.fragment().toUtf8() + "\""))
                << href.toStdString();
          }
        }
      }
      EXPECT_GT(links, 0);
      for (const char* resource : {"/help.css", "/varden.png"}) {
        EXPECT_TRUE(archive->Contains(resource)) << resource;
      }
    }
  }
}

// The build clears the compiler's time stamps, so the same pages give the same file.
TEST(HelpFiles, CarryNoBuildTime) {
  constexpr std::size_t kHeaderTimestampOffset = 16;
  constexpr std::size_t kSystemVersionSize = 4;
  constexpr unsigned kSystemTimestampCode = 10;
  for (const char* name : kHelpFiles) {
    SCOPED_TRACE(name);
    std::ifstream in(kHelpFilesDir / name, std::ios::binary);
    std::vector<unsigned char> header(kHeaderTimestampOffset + 4);
    in.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(header.size()));
    for (std::size_t i = kHeaderTimestampOffset; i < header.size(); ++i) EXPECT_EQ(header[i], 0);

    std::unique_ptr<ChmArchive> archive = OpenBuilt(name);
    ASSERT_NE(archive, nullptr);
    const std::optional<QByteArray> system = archive->Read("/#SYSTEM");
    ASSERT_TRUE(system.has_value());
    const auto byte = [&](qsizetype at) { return static_cast<unsigned char>(system->at(at)); };
    bool seen = false;
    for (qsizetype at = kSystemVersionSize; at + 4 <= system->size();) {
      const unsigned code = byte(at) | byte(at + 1) << 8;
      const qsizetype length = byte(at + 2) | byte(at + 3) << 8;
      ASSERT_LE(at + 4 + length, system->size());
      if (code == kSystemTimestampCode) {
        seen = true;
        for (qsizetype i = 0; i < length; ++i) EXPECT_EQ(byte(at + 4 + i), 0);
      }
      at += 4 + length;
    }
    EXPECT_TRUE(seen);
  }
}

// --- The help window -------------------------------------------------------------------------

class CurrentDir {
 public:
  explicit CurrentDir(const fs::path& dir) : saved_(fs::current_path()) { fs::current_path(dir); }
  ~CurrentDir() { fs::current_path(saved_); }

 private:
  fs::path saved_;
};

HelpWindow* AsHelpWindow(QWidget* widget) {
  return dynamic_cast<HelpWindow*>(widget);
}

class HtmlHelpTest : public ::testing::Test {
 protected:
  void SetUp() override { caller_.show(); }

  int OpenHelpWindows() const {
    int count = 0;
    for (QObject* child : caller_.children()) {
      auto* window = AsHelpWindow(qobject_cast<QWidget*>(child));
      if (window != nullptr && window->isVisible()) ++count;
    }
    return count;
  }

  QWidget caller_;
  CurrentDir in_help_files_{kHelpFilesDir};
};

TEST_F(HtmlHelpTest, ShowsTheTopicInAWindowOfItsOwn) {
  struct Case {
    std::string_view path;
    QString title;
    QString text;  // something the page says
  };
  const Case cases[] = {
      {".\\kelvane.chm::/Varden.htm", "Varden Help", "usually five"},
      {".\\kelvanej.chm::/Varden.htm", QString::fromUtf8("Varden ヘルプ"),
       QString::fromUtf8("通常5回")},
      {"./kelvane.chm::/regions.htm", "The six DVD regions", "Mainland China"},
      {"./kelvanej.chm::/messages.htm#change", QString::fromUtf8("メッセージ"),
       QString::fromUtf8("リージョンの設定は成功しました。")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path));
    QWidget* shown = HtmlHelp(&caller_, c.path);
    HelpWindow* window = AsHelpWindow(shown);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isWindow());
    EXPECT_FALSE(window->isModal());
    EXPECT_EQ(window->parentWidget(), &caller_);
    EXPECT_TRUE(window->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_EQ(window->windowTitle(), c.title);
    EXPECT_TRUE(window->browser()->toPlainText().contains(c.text));

    QPointer<QWidget> watch(window);
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watch.isNull()) << "a closed help window is deleted";
  }
}

TEST_F(HtmlHelpTest, AnswersNullAndShowsNothingWhenTheTopicCannotBeShown) {
  TempDir temp;
  WriteFile(temp.path() / "fake.chm", "<html>not a compiled help file</html>");
  const std::string fake = (temp.path() / "fake.chm").string() + "::/Varden.htm";
  const std::string_view paths[] = {
      ".\\missing.chm::/Varden.htm",   // no such file anywhere
      ".\\kelvane.chm::/Missing.htm",  // file present, topic missing
      ".\\kelvane.chm",                // no topic at all
      ".\\kelvane.chm::",              // empty topic
      fake,                            // a file that is no compiled help file
  };
  for (std::string_view path : paths) {
    SCOPED_TRACE(std::string(path));
    EXPECT_EQ(HtmlHelp(&caller_, path), nullptr);
    EXPECT_EQ(OpenHelpWindows(), 0);
  }
}

TEST_F(HtmlHelpTest, AnotherTopicOfAnOpenFileReusesItsWindow) {
  QWidget* first = HtmlHelp(&caller_, ".\\kelvane.chm::/Varden.htm");
  ASSERT_NE(first, nullptr);
  QWidget* second = HtmlHelp(&caller_, ".\\kelvane.chm::/dialog.htm");
  EXPECT_EQ(second, first);
  EXPECT_EQ(first->windowTitle(), "The Varden window");
  EXPECT_EQ(HtmlHelp(&caller_, ".\\kelvane.chm::/Missing.htm"), nullptr);
  EXPECT_EQ(first->windowTitle(), "The Varden window");
  QWidget* japanese = HtmlHelp(&caller_, ".\\kelvanej.chm::/Varden.htm");
  EXPECT_NE(japanese, first);
  EXPECT_EQ(OpenHelpWindows(), 2);
}

TEST_F(HtmlHelpTest, FollowsLinksInsideTheFileOnly) {
  HelpWindow* window = AsHelpWindow(HtmlHelp(&caller_, ".\\kelvane.chm::/Varden.htm"));
  ASSERT_NE(window, nullptr);
  QTextBrowser* browser = window->browser();

  // The keyboard way of a click: Tab selects the page's first link, Enter follows it.
  browser->setFocus();
  QTest::keyClick(browser, Qt::Key_Tab);
  QTest::keyClick(browser, Qt::Key_Return);
  EXPECT_EQ(window->windowTitle(), "The Varden window");
  EXPECT_EQ(browser->source(), ChmUrl("/dialog.htm"));

  browser->backward();
  EXPECT_EQ(window->windowTitle(), "Varden Help");

  browser->setSource(QUrl("messages.htm#boxes"));
  EXPECT_EQ(window->windowTitle(), "Messages");
  EXPECT_EQ(browser->source(), ChmUrl("/messages.htm#boxes"));

  // A page the file lacks and anything outside the file keep the page shown.
  for (const char* outside : {"nothing.htm", "file:///etc/hostname", "qrc:/x.htm", "x:/y"}) {
    SCOPED_TRACE(outside);
    browser->setSource(QUrl(outside));
    EXPECT_EQ(window->windowTitle(), "Messages");
    EXPECT_EQ(browser->source(), ChmUrl("/messages.htm#boxes"));
  }
}

TEST_F(HtmlHelpTest, LoadsStyleSheetsAndPicturesFromTheFile) {
  HelpWindow* window = AsHelpWindow(HtmlHelp(&caller_, ".\\kelvane.chm::/regions.htm"));
  ASSERT_NE(window, nullptr);
  QTextBrowser* browser = window->browser();

  const QVariant css = browser->loadResource(QTextDocument::StyleSheetResource, QUrl("help.css"));
  EXPECT_TRUE(css.toByteArray().contains("body"));
  const QVariant png = browser->loadResource(QTextDocument::ImageResource, QUrl("varden.png"));
  EXPECT_EQ(QImage::fromData(png.toByteArray()).size(), QSize(256, 256));

  EXPECT_FALSE(browser->loadResource(QTextDocument::HtmlResource, QUrl("nothing.htm")).isValid());
  EXPECT_FALSE(
      browser->loadResource(QTextDocument::HtmlResource, QUrl("file:///etc/hostname")).isValid());
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
