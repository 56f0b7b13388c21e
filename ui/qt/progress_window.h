// The progress window of the drive scan, built from its template: a modeless window with a
// bar and a line of text, shown at the template's place while the scan runs.
#pragma once

#include <QElapsedTimer>
#include <string_view>

#include "ui/qt/template_dialog.h"

namespace varden::qt {

class ProgressWindow : public TemplateDialog {
  Q_OBJECT

 public:
  // Shown at once, at the top-left corner of the screen's usable area, the bar empty and
  // running to `range_high` in steps of `step`.
  ProgressWindow(bool japanese, int range_high, int step);

  // One step of the bar; it starts over when a step passes its end, as the platform's bar does.
  void Step();
  // Replaces the text, and lets the window paint what changed unless it painted less than a
  // frame of the screen ago.
  void SetText(std::string_view text);

  int Position() const;
  QString Text() const;

 private:
  int step_;
  QElapsedTimer painted_;  // since the window was last painted
};

}  // namespace varden::qt
