#include "ui/qt/progress_window.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <string>

#include "ui/resources/resource.h"
#include "ui/resources/templates.h"

namespace varden::qt {
namespace {

// The screen's refresh rate when the platform does not tell it.
constexpr qreal kDefaultRefreshRate = 60;
constexpr qreal kMillisecondsPerSecond = 1000;

QProgressBar* Bar(const TemplateDialog& window) {
  return qobject_cast<QProgressBar*>(window.Control(IDC_PROGRESS));
}

QLabel* Label(const TemplateDialog& window) {
  return qobject_cast<QLabel*>(window.Control(IDC_PROGRESS_TEXT));
}

}  // namespace

ProgressWindow::ProgressWindow(bool japanese, int range_high, int step)
    : TemplateDialog(ui::ProgressTemplate(), japanese, nullptr), step_(step) {
  setModal(false);
  Bar(*this)->setRange(0, range_high);
  Bar(*this)->setValue(0);
  // At its template position, the top-left corner of the screen's usable area, where the
  // platform of the templates shows it (its owner still stands at the screen's origin then).
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().topLeft());
  }
  show();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  painted_.start();
}

void ProgressWindow::Step() {
  QProgressBar* bar = Bar(*this);
  int position = bar->value() + step_;
  if (position > bar->maximum()) position = bar->minimum() + (position - bar->maximum());
  // The bar would paint itself at once; it waits for the window's next painting instead.
  bar->setUpdatesEnabled(false);
  bar->setValue(position);
  bar->setUpdatesEnabled(true);
}

void ProgressWindow::SetText(std::string_view text) {
  Label(*this)->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  // The scan takes no input meanwhile. What changed (the bar and the text) is painted at once
  // unless the last painting is younger than one frame of the screen, which could not show
  // this step anyway.
  const QScreen* shown_on = screen();
  const qreal hertz = shown_on != nullptr && shown_on->refreshRate() > 0 ? shown_on->refreshRate()
                                                                         : kDefaultRefreshRate;
  if (painted_.elapsed() < static_cast<qint64>(kMillisecondsPerSecond / hertz)) return;
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  painted_.start();
}

int ProgressWindow::Position() const {
  return Bar(*this)->value();
}

QString ProgressWindow::Text() const {
  return Label(*this)->text();
}

}  // namespace varden::qt
