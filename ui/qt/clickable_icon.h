// The widget of a template's icon control: the program's icon at its natural size, in a
// sunken frame when the template asks for one, answering a click (the main dialog's icon
// opens its system menu).
#pragma once

#include <QPoint>
#include <QWidget>

namespace varden::qt {

class ClickableIcon : public QWidget {
  Q_OBJECT

 public:
  ClickableIcon(bool sunken, QWidget* parent);

 signals:
  void clicked(QPoint global_position);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  bool sunken_;
};

}  // namespace varden::qt
