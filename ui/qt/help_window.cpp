#include "ui/qt/help_window.h"

#include <chm_lib.h>

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QStyle>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>
#include <utility>

namespace varden::qt {

namespace {

constexpr const char* kChmScheme = "chm";
// The largest object read from a help file; pages, style sheets and pictures are far smaller.
constexpr LONGUINT64 kMaxObjectSize = 16 * 1024 * 1024;
constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 560;

bool IsWebOrMail(const QUrl& url) {
  const QString scheme = url.scheme();
  return scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
         scheme == QLatin1String("mailto");
}

}  // namespace

// --- ChmArchive ------------------------------------------------------------------------------

std::unique_ptr<ChmArchive> ChmArchive::Open(const std::filesystem::path& file) {
  chmFile* handle = chm_open(file.c_str());
  if (handle == nullptr) return nullptr;
  return std::unique_ptr<ChmArchive>(new ChmArchive(handle, file));
}

ChmArchive::ChmArchive(chmFile* handle, std::filesystem::path file)
    : handle_(handle), file_(std::move(file)) {}

ChmArchive::~ChmArchive() {
  chm_close(handle_);
}

bool ChmArchive::Contains(std::string_view object) const {
  const std::string name(object);
  chmUnitInfo unit{};
  return chm_resolve_object(handle_, name.c_str(), &unit) == CHM_RESOLVE_SUCCESS;
}

std::optional<QByteArray> ChmArchive::Read(std::string_view object) const {
  const std::string name(object);
  chmUnitInfo unit{};
  if (chm_resolve_object(handle_, name.c_str(), &unit) != CHM_RESOLVE_SUCCESS) return std::nullopt;
  if (unit.length > kMaxObjectSize) return std::nullopt;
  QByteArray bytes(static_cast<qsizetype>(unit.length), Qt::Uninitialized);
  if (unit.length == 0) return bytes;
  const LONGINT64 got =
      chm_retrieve_object(handle_, &unit, reinterpret_cast<unsigned char*>(bytes.data()), 0,
                          static_cast<LONGINT64>(unit.length));
  if (got != static_cast<LONGINT64>(unit.length)) return std::nullopt;
  return bytes;
}

// --- Addresses -------------------------------------------------------------------------------

QUrl ChmUrl(std::string_view object) {
  // Parsed as a whole so that an anchor after the page name ("/dialog.htm#menu") stays one.
  QString text = QString::fromUtf8(object.data(), static_cast<qsizetype>(object.size()));
  if (!text.startsWith(QLatin1Char('/'))) text.prepend(QLatin1Char('/'));
  return QUrl(QLatin1String(kChmScheme) + QLatin1Char(':') + text);
}

std::optional<std::string> ObjectPathOf(const QUrl& url) {
  if (url.scheme() != QLatin1String(kChmScheme)) return std::nullopt;
  const QString path = url.path(QUrl::FullyDecoded);
  if (path.isEmpty() || path == QLatin1String("/")) return std::nullopt;
  if (!path.startsWith(QLatin1Char('/'))) return (QLatin1Char('/') + path).toStdString();
  return path.toStdString();
}

// --- ChmBrowser ------------------------------------------------------------------------------

ChmBrowser::ChmBrowser(std::shared_ptr<const ChmArchive> archive, QWidget* parent)
    : QTextBrowser(parent), archive_(std::move(archive)) {
  setOpenLinks(true);
  setOpenExternalLinks(false);  // every link comes through doSetSource
}

QUrl ChmBrowser::Resolve(const QUrl& name) const {
  if (!name.isRelative()) return name;
  // While a new page is being laid out, the document already carries its address, while
  // source() may still name the page before it.
  QUrl base(document()->metaInformation(QTextDocument::DocumentUrl));
  if (base.scheme() != QLatin1String(kChmScheme)) base = source();
  return base.resolved(name);
}

QVariant ChmBrowser::loadResource(int /*type*/, const QUrl& name) {
  // Never the file system or the network: only what the help file holds.
  const std::optional<std::string> object = ObjectPathOf(Resolve(name));
  if (!object) return {};
  std::optional<QByteArray> bytes = archive_->Read(*object);
  if (!bytes) return {};
  return *bytes;
}

void ChmBrowser::doSetSource(const QUrl& name, QTextDocument::ResourceType type) {
  const QUrl url = Resolve(name);
  const std::optional<std::string> object = ObjectPathOf(url);
  if (!object) {
    if (IsWebOrMail(url)) QDesktopServices::openUrl(url);
    return;
  }
  if (!archive_->Contains(*object)) return;
  QTextBrowser::doSetSource(url, type);
}

// --- HelpWindow ------------------------------------------------------------------------------

HelpWindow* HelpWindow::Open(const std::filesystem::path& file, std::string_view topic,
                             QWidget* caller) {
  std::shared_ptr<const ChmArchive> archive = ChmArchive::Open(file);
  if (!archive) return nullptr;
  const std::optional<std::string> object = ObjectPathOf(ChmUrl(topic));
  if (!object || !archive->Contains(*object)) return nullptr;
  auto* window = new HelpWindow(std::move(archive), caller);
  window->ShowTopic(topic);
  return window;
}

HelpWindow::HelpWindow(std::shared_ptr<const ChmArchive> archive, QWidget* caller)
    : QWidget(caller, Qt::Window), archive_(std::move(archive)) {
  setAttribute(Qt::WA_DeleteOnClose);
  browser_ = new ChmBrowser(archive_, this);

  // Back, forward and the first page shown, as pictures only: the window adds no texts of
  // its own to the program's messages.
  auto* back = new QToolButton(this);
  back->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
  back->setEnabled(false);
  auto* forward = new QToolButton(this);
  forward->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
  forward->setEnabled(false);
  auto* home = new QToolButton(this);
  home->setIcon(style()->standardIcon(QStyle::SP_DirHomeIcon));
  connect(back, &QToolButton::clicked, browser_, &QTextBrowser::backward);
  connect(forward, &QToolButton::clicked, browser_, &QTextBrowser::forward);
  connect(home, &QToolButton::clicked, browser_, &QTextBrowser::home);
  connect(browser_, &QTextBrowser::backwardAvailable, back, &QToolButton::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward, &QToolButton::setEnabled);
  connect(browser_, &QTextBrowser::sourceChanged, this, [this] { UpdateTitle(); });

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(back);
  buttons->addWidget(forward);
  buttons->addWidget(home);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(browser_);
  resize(kWindowWidth, kWindowHeight);
  setWindowIcon(caller != nullptr ? caller->windowIcon() : QIcon());
}

bool HelpWindow::ShowTopic(std::string_view topic) {
  const QUrl url = ChmUrl(topic);
  const std::optional<std::string> object = ObjectPathOf(url);
  if (!object || !archive_->Contains(*object)) return false;
  browser_->setSource(url);
  UpdateTitle();
  return true;
}

void HelpWindow::UpdateTitle() {
  const QString title = browser_->documentTitle();
  setWindowTitle(title.isEmpty() ? QString::fromStdString(file().filename().string()) : title);
}

}  // namespace varden::qt
