// The main dialog in Qt: built from IDD_MAIN, it offers the toolkit-free dialog logic
// (ui/dialog/region_dialog.h) the template dialog's control primitives and its own window,
// and forwards every user event to it. It also opens the progress window
// (ui/qt/progress_window.h), renders the About box from its template and the message boxes,
// and a stand-in for the system menu: a Linux window manager does not take items into its
// title-bar menu, so the same items with the same command ids open from the dialog's icon and
// its context menu.
#pragma once

#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "region/region_view.h"
#include "ui/dialog/dialog_controls.h"
#include "ui/dialog/region_dialog.h"
#include "ui/qt/progress_window.h"
#include "ui/qt/template_dialog.h"

class QMenu;

namespace varden::qt {

// Shows a help topic by its path (".\name.chm::/topic.htm") with `caller` as the calling
// window; answers the help window, or nullptr when neither file nor topic is found.
using HelpViewer = std::function<QWidget*(QWidget* caller, std::string_view path)>;

// The program's help viewer (nullptr for every topic when the program has none).
HelpViewer DefaultHelpViewer();

class MainDialog : public TemplateDialog, public ui::DialogControls {
  Q_OBJECT

 public:
  // `code_page` stands in for the OEM code page (932: Japanese); `sleeper` serves the
  // readiness loop's waits. Both are taken at start-up and fixed for the run.
  MainDialog(unsigned code_page, Sleeper& sleeper, QWidget* parent = nullptr);
  ~MainDialog() override;

  // The start-up sequence, once: drive scan with its progress window, layout, labels, the
  // first report; then the dialog is placed at the screen's centre with the focus on the
  // drive list. Not shown yet.
  void Initialise();
  // Initialise, then run the dialog modally; answers its result.
  int Run();

  ui::RegionDialog& Logic() { return *logic_; }
  QMenu* SystemMenu() const { return system_menu_; }
  // The progress window while it exists.
  ProgressWindow* Progress() const { return progress_; }
  void SetHelpViewer(HelpViewer viewer) { help_viewer_ = std::move(viewer); }
  // Called with the selected drive's letter in place of the disc prompt: `ask` shows the box
  // and answers whether the user chose OK; the hook answers whether to go on (the demo lets
  // its drives go while the box is open, and puts a disc into its emulated drive on OK).
  using DiscPromptHook = std::function<bool(char letter, const std::function<bool()>& ask)>;
  void SetDiscPromptHook(DiscPromptHook hook) { disc_prompt_hook_ = std::move(hook); }

  // ui::DialogControls: the control primitives are the template dialog's.
  void Enable(int id, bool on) override { TemplateDialog::Enable(id, on); }
  void SetCheck(int id, bool on) override { TemplateDialog::SetCheck(id, on); }
  bool GetCheck(int id) override { return TemplateDialog::GetCheck(id); }
  void Highlight(int id) override { TemplateDialog::Highlight(id); }
  void SetText(int id, std::string_view text) override { TemplateDialog::SetText(id, text); }
  std::string GetText(int id) override { return TemplateDialog::GetText(id); }
  void ComboInsert(int id, int index, std::string_view text) override {
    TemplateDialog::ComboInsert(id, index, text);
  }
  void ComboSelect(int id, int index) override { TemplateDialog::ComboSelect(id, index); }
  int ComboSelection(int id) override { return TemplateDialog::ComboSelection(id); }
  void SetEditSelection(int id, int start, int end) override {
    TemplateDialog::SetEditSelection(id, start, end);
  }
  void ScrollCaret(int id) override { TemplateDialog::ScrollCaret(id); }
  ui::Rect LayoutRect(int id) override { return TemplateDialog::LayoutRect(id); }
  void MoveControl(int id, const ui::Rect& rect, bool repaint) override {
    TemplateDialog::MoveControl(id, rect, repaint);
  }
  void SetDialogIcon() override { TemplateDialog::SetDialogIcon(); }
  void EndDialog(int result) override { TemplateDialog::EndDialog(result); }
  bool HasSystemMenu() override;
  void AppendSystemMenuSeparator() override;
  void AppendSystemMenuItem(unsigned command, std::string_view text) override;
  void DefaultSysCommand(unsigned command) override;
  bool MessageOkCancelExclamation(std::string_view text, std::string_view caption) override;
  void MessageOk(std::string_view text, std::string_view caption) override;
  void ProgressOpen(int range_high, int step) override;
  void ProgressStep() override;
  void ProgressText(std::string_view text) override;
  void ProgressClose() override;
  void RunAboutBox(std::string_view version_line) override;
  bool ShowHelpTopic(std::string_view path) override;

 signals:
  // The progress window appeared, took a step (bar position and text as shown), went.
  void progressOpened();
  void progressStepped(int position, const QString& text);
  void progressClosed();
  // A user command (a push button, a drive-list choice, a system-menu command) has run.
  void commandFinished();

 protected:
  bool OnDialogKey(DialogKey key) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void RunCommand(const std::function<void()>& command);

  unsigned code_page_;
  bool japanese_;
  std::unique_ptr<ui::RegionDialog> logic_;
  QMenu* system_menu_ = nullptr;
  QPointer<ProgressWindow> progress_;
  HelpViewer help_viewer_;
  DiscPromptHook disc_prompt_hook_;
  bool initialised_ = false;
};

}  // namespace varden::qt
