#include "ui/qt/clickable_icon.h"

#include <QMouseEvent>
#include <QPainter>

#include "ui/qt/app_icon.h"

namespace varden::qt {

ClickableIcon::ClickableIcon(bool sunken, QWidget* parent) : QWidget(parent), sunken_(sunken) {
  setCursor(Qt::PointingHandCursor);
}

void ClickableIcon::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int frame = sunken_ ? 1 : 0;
  if (sunken_) {
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(0, 0, width() - 1, 0);
    painter.drawLine(0, 0, 0, height() - 1);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(0, height() - 1, width() - 1, height() - 1);
    painter.drawLine(width() - 1, 0, width() - 1, height() - 1);
  }
  // The icon at its natural size, drawn from a picture of the screen's pixel density.
  const QRect target(frame, frame, kIconSide, kIconSide);
  painter.drawPixmap(target, AppIcon().pixmap(QSize(kIconSide, kIconSide), devicePixelRatioF()));
}

void ClickableIcon::mousePressEvent(QMouseEvent* event) {
  emit clicked(event->globalPosition().toPoint());
}

}  // namespace varden::qt
