// The help window: one compiled help file read with chmlib and shown in a text browser whose
// links, images and style sheets all load from that same file.
#pragma once

#include <QByteArray>
#include <QTextBrowser>
#include <QUrl>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct chmFile;

namespace varden::qt {

// One open compiled help file. Objects are named by their path inside the file ("/Varden.htm").
class ChmArchive {
 public:
  // Nothing when the file does not exist or is no compiled help file.
  static std::unique_ptr<ChmArchive> Open(const std::filesystem::path& file);
  ~ChmArchive();
  ChmArchive(const ChmArchive&) = delete;
  ChmArchive& operator=(const ChmArchive&) = delete;

  bool Contains(std::string_view object) const;
  // The object's bytes; nothing when the file lacks it, it cannot be read whole, or it is larger
  // than any page of a help file can sensibly be (a damaged file must not exhaust memory).
  std::optional<QByteArray> Read(std::string_view object) const;

  const std::filesystem::path& file() const { return file_; }

 private:
  ChmArchive(chmFile* handle, std::filesystem::path file);

  chmFile* handle_;
  std::filesystem::path file_;
};

// The address of an object inside the help file as the browser sees it ("chm:/Varden.htm"), and
// back. ObjectPathOf answers nothing for an address outside the help file.
QUrl ChmUrl(std::string_view object);
std::optional<std::string> ObjectPathOf(const QUrl& url);

// A text browser over one compiled help file. Relative links resolve against the page shown and
// load from the file; a link to a page the file lacks keeps the current page; web and mail
// links go to the desktop's own programs; nothing else is ever opened.
class ChmBrowser : public QTextBrowser {
 public:
  ChmBrowser(std::shared_ptr<const ChmArchive> archive, QWidget* parent);

  QVariant loadResource(int type, const QUrl& name) override;

 protected:
  void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override;

 private:
  QUrl Resolve(const QUrl& name) const;

  std::shared_ptr<const ChmArchive> archive_;
};

// A window of its own showing one compiled help file, titled with the title of the page shown.
class HelpWindow : public QWidget {
 public:
  // A window on `topic` ("/Varden.htm", an anchor "#name" may follow) of `file`, owned by
  // `caller` (may be null) and deleted when closed; not yet shown. nullptr when the file cannot
  // be opened as a compiled help file or lacks the topic.
  static HelpWindow* Open(const std::filesystem::path& file, std::string_view topic,
                          QWidget* caller);

  // Turns to another topic of the same file; false (and the page stays) when the file lacks it.
  bool ShowTopic(std::string_view topic);

  const std::filesystem::path& file() const { return archive_->file(); }
  QTextBrowser* browser() const { return browser_; }

 private:
  HelpWindow(std::shared_ptr<const ChmArchive> archive, QWidget* caller);
  void UpdateTitle();

  std::shared_ptr<const ChmArchive> archive_;
  ChmBrowser* browser_;
};

}  // namespace varden::qt
