#include "ui/qt/html_help.h"

#include <QCoreApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <system_error>

#include "ui/dialog/window_placement.h"
#include "ui/qt/help_window.h"

namespace varden::qt {

namespace {

constexpr std::string_view kTopicSeparator = "::";
constexpr std::string_view kCurrentFolderPrefix = "./";

std::string WithForwardSlashes(std::string_view text) {
  std::string result(text);
  std::replace(result.begin(), result.end(), '\\', '/');
  return result;
}

// A new help window stands beside the calling window where the screen has room for it, else
// covering as little of it as it must (see ui::PlaceBeside); always on the caller's screen.
void PlaceBeside(QWidget* window, const QWidget* caller) {
  if (caller == nullptr || !caller->isVisible()) return;
  const QRect owner = caller->frameGeometry();
  const QScreen* screen = caller->screen();
  const QRect area = screen != nullptr ? screen->availableGeometry() : owner;
  // The frame is not known before the window is mapped; the caller's stands in for it.
  const QSize frame_extra = owner.size() - caller->geometry().size();
  const QSize outer = window->size() + frame_extra;
  const auto edges = [](const QRect& r) {
    return ui::Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
  };
  const ui::Rect placed = ui::PlaceBeside(edges(area), edges(owner), outer.width(), outer.height());
  window->resize(QSize(placed.Width(), placed.Height()) - frame_extra);
  window->move(placed.left, placed.top);
}

bool IsRegularFile(const std::filesystem::path& candidate) {
  std::error_code error;
  return std::filesystem::is_regular_file(candidate, error);
}

}  // namespace

std::optional<HelpPath> ParseHelpPath(std::string_view path) {
  const std::size_t separator = path.find(kTopicSeparator);
  if (separator == std::string_view::npos) return std::nullopt;

  std::string file = WithForwardSlashes(path.substr(0, separator));
  while (file.starts_with(kCurrentFolderPrefix)) file.erase(0, kCurrentFolderPrefix.size());

  std::string topic = WithForwardSlashes(path.substr(separator + kTopicSeparator.size()));
  if (!topic.starts_with('/')) topic.insert(topic.begin(), '/');
  const std::string_view page = std::string_view(topic).substr(0, topic.find('#'));

  if (file.empty() || file.ends_with('/') || page == "/") return std::nullopt;
  return HelpPath{std::move(file), std::move(topic)};
}

std::optional<std::filesystem::path> ResolveHelpFile(std::string_view file,
                                                     const HelpSearchDirs& dirs) {
  const std::filesystem::path name(file);
  if (name.empty()) return std::nullopt;
  if (name.is_absolute()) {
    if (IsRegularFile(name)) return name;
    return std::nullopt;
  }
  for (const std::filesystem::path* dir : {&dirs.current, &dirs.executable, &dirs.data}) {
    if (dir->empty()) continue;
    std::filesystem::path candidate = *dir / name;
    if (IsRegularFile(candidate)) return candidate;
  }
  return std::nullopt;
}

HelpSearchDirs DefaultHelpSearchDirs() {
  HelpSearchDirs dirs;
  std::error_code error;
  dirs.current = std::filesystem::current_path(error);
  if (error) dirs.current.clear();
  if (QCoreApplication::instance() != nullptr) {
    dirs.executable = QCoreApplication::applicationDirPath().toStdString();
  }
#ifdef VARDEN_DATA_DIR
  dirs.data = VARDEN_DATA_DIR;
#endif
  return dirs;
}

QWidget* HtmlHelp(QWidget* caller, std::string_view path) {
  const std::optional<HelpPath> help = ParseHelpPath(path);
  if (!help) return nullptr;
  const std::optional<std::filesystem::path> file =
      ResolveHelpFile(help->file, DefaultHelpSearchDirs());
  if (!file) return nullptr;

  HelpWindow* window = nullptr;
  if (caller != nullptr) {
    std::error_code error;
    // dynamic_cast rather than findChildren: the window needs no meta-object of its own.
    for (QObject* child : caller->children()) {
      auto* open = dynamic_cast<HelpWindow*>(child);
      // A closed window is hidden until its deletion and is not reused.
      if (open != nullptr && open->isVisible() &&
          std::filesystem::equivalent(open->file(), *file, error)) {
        if (!open->ShowTopic(help->topic)) return nullptr;
        window = open;
        break;
      }
    }
  }
  if (window == nullptr) {
    window = HelpWindow::Open(*file, help->topic, caller);
    if (window == nullptr) return nullptr;
    PlaceBeside(window, caller);
  }

  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

}  // namespace varden::qt
