#include "ui/qt/warning_picture.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace varden::qt {
namespace {

// The triangle's colours: the platform's sign yellow, edged in a dark amber.
constexpr QRgb kFill = 0xFFFFD21E;
constexpr QRgb kEdge = 0xFF8A6500;
// Shares of the side: the margin around the triangle and its edge's width; the mark's stroke
// width, top and foot; its dot's diameter and centre.
constexpr qreal kMargin = 1.0 / 32;
constexpr qreal kEdgeWidth = 1.5 / 32;
constexpr qreal kStroke = 3.5 / 32;
constexpr qreal kMarkTop = 11.0 / 32;
constexpr qreal kMarkFoot = 21.0 / 32;
constexpr qreal kDot = 4.0 / 32;
constexpr qreal kDotCentre = 25.5 / 32;

}  // namespace

QPixmap WarningPicture(int side, qreal ratio) {
  const int pixels = static_cast<int>(std::lround(side * ratio));
  QPixmap picture(pixels, pixels);
  picture.setDevicePixelRatio(ratio);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal s = side;
  const qreal inset = s * (kMargin + kEdgeWidth / 2);
  QPainterPath triangle;
  triangle.moveTo(s / 2, inset);
  triangle.lineTo(s - inset, s - inset);
  triangle.lineTo(inset, s - inset);
  triangle.closeSubpath();
  painter.setPen(
      QPen(QColor::fromRgba(kEdge), s * kEdgeWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(QColor::fromRgba(kFill));
  painter.drawPath(triangle);
  // The exclamation mark: a stroke with rounded ends, and its dot.
  painter.setPen(QPen(Qt::black, s * kStroke, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(s / 2, s * kMarkTop), QPointF(s / 2, s * kMarkFoot));
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::black);
  painter.drawEllipse(QPointF(s / 2, s * kDotCentre), s * kDot / 2, s * kDot / 2);
  return picture;
}

}  // namespace varden::qt
