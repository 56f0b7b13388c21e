// Drives one run of a Varden program from outside, only as a user can (a disabled control
// takes no click), and prints what the dialog shows, one fact per line, for the Wine test
// script to check:  driver.exe <program.exe> <step>...
//
//   dump             the main dialog: controls (id, enabled, checked, text), drive list, log,
//                    and the control with the focus (and whether it is the default button)
//   select:N         chooses drive-list item N (selection, then CBN_SELCHANGE)
//   check:ID         clicks a radio button or check box
//   click:ID         clicks a push button with the mouse (button down and up), then waits
//                    until the dialog is idle again ("idle") or shows a box ("box-open")
//   sys:N            sends the system command N (decimal), waits as click does
//   box              prints the box the dialog shows: caption, texts, buttons, icon
//   press:ok|cancel  presses a button of that box, waits as click does
//   wait-box         waits for a box that a key opened
//   focus:ID         moves the focus to a control
//   key:enter|escape|f1|down|up|left|right|tab|alt-g  presses the key (alt-g: Alt with G)
//                    where the focus is; waits until it has been taken
//   wait-exit        waits for the program to end ("ended exit=<code>")
//   windows          lists the program's visible top-level windows (class, caption)
//
// Texts are UTF-8, with carriage return, line feed and backslash written as \r, \n and \\;
// a step that cannot be done prints "error <what>" and ends the run.
// The program starts in its own folder, or in the folder VARDEN_DRIVER_START_IN names.
// <windows.h> first: the other platform headers build on it.
// clang-format off
#include <windows.h>
// clang-format on

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ui/resources/resource.h"
#include "ui/win32/wide_text.h"

namespace {

using varden::win32::Narrow;

constexpr wchar_t kMainCaption[] = L"Varden for Windows2000";
constexpr wchar_t kDialogClass[] = L"#32770";
constexpr DWORD kStepTimeoutMs = 20000;
constexpr DWORD kPollMs = 50;

void Line(const std::string& text) {
  std::printf("%s\n", text.c_str());
  std::fflush(stdout);
}

std::string Escape(const std::wstring& text) {
  std::string out;
  for (char c : Narrow(text))
    out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : c == '\\' ? "\\\\" : std::string(1, c);
  return out;
}

// A message sent to a window of the program; its answer, or 0 when none came in time.
DWORD_PTR Send(HWND window, UINT message, WPARAM w = 0, LPARAM l = 0) {
  DWORD_PTR answer = 0;
  SendMessageTimeoutW(window, message, w, l, SMTO_BLOCK, kStepTimeoutMs, &answer);
  return answer;
}

// A window's text, or with `item` a combo box's list item, asked of the window itself, which
// works across processes.
std::wstring TextOf(HWND window, int item = -1) {
  const bool own = item < 0;
  std::wstring text(Send(window, own ? WM_GETTEXTLENGTH : CB_GETLBTEXTLEN, own ? 0 : item) + 1,
                    L'\0');
  text.resize(Send(window, own ? WM_GETTEXT : CB_GETLBTEXT, own ? text.size() : item,
                   reinterpret_cast<LPARAM>(text.data())));
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

struct Program {
  PROCESS_INFORMATION process{};
  HWND dialog = nullptr;
  HWND box = nullptr;  // the box last reported open
  std::thread worker;
  std::atomic<bool> busy{false};
};

using Walk = std::pair<DWORD, std::vector<HWND>>;  // a process, its windows

BOOL CALLBACK Collect(HWND window, LPARAM l) {
  auto* walk = reinterpret_cast<Walk*>(l);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == walk->first && IsWindowVisible(window)) walk->second.push_back(window);
  return TRUE;
}

// The program's visible top-level windows, topmost first.
std::vector<HWND> WindowsOf(const Program& program) {
  Walk walk{program.process.dwProcessId, {}};
  EnumWindows(&Collect, reinterpret_cast<LPARAM>(&walk));
  return walk.second;
}

// A visible dialog-class window of the program with that caption (nullptr: any but `except`).
HWND FindDialog(const Program& program, const wchar_t* caption, HWND except = nullptr) {
  for (HWND window : WindowsOf(program)) {
    if (window != except && ClassOf(window) == kDialogClass &&
        (caption == nullptr || TextOf(window) == caption))
      return window;
  }
  return nullptr;
}

bool Ended(const Program& program) {
  return WaitForSingleObject(program.process.hProcess, 0) == WAIT_OBJECT_0;
}

// Asks `done` every poll interval until it answers true (then true) or `ms` have passed.
template <typename Done>
bool Poll(Done done, DWORD ms = kStepTimeoutMs) {
  for (const DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(kPollMs)) {
    if (done()) return true;
  }
  return false;
}

// Reports a step that cannot be done.
bool Error(const std::string& what) {
  Line("error " + what);
  return false;
}

// Sends a message from a second thread, so that this one can answer the boxes that the
// handler opens while the sender waits for it.
void SendAsync(Program& program, HWND target, UINT message, WPARAM w, LPARAM l) {
  if (program.worker.joinable()) program.worker.join();
  program.busy = true;
  program.worker = std::thread([&program, target, message, w, l] {
    SendMessageTimeoutW(target, message, w, l, SMTO_BLOCK, 10 * 60 * 1000, nullptr);
    program.busy = false;
  });
}

// Waits until a box is open ("box-open"), or, unless `box_only`, until the handler has
// returned ("idle") or the program has ended.
bool WaitIdleOrBox(Program& program, bool box_only = false) {
  const bool answered = Poll([&] {
    if (!box_only && !program.busy) {
      Line("idle");
      return true;
    }
    if (HWND box = FindDialog(program, nullptr, program.dialog); box != nullptr) {
      program.box = box;
      Line("box-open");
      return true;
    }
    return !box_only && Ended(program);
  });
  return answered || Error(box_only ? "no box appeared" : "the dialog did not answer in time");
}

HWND FocusOf(const Program& program) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  return GetGUIThreadInfo(program.process.dwThreadId, &info) ? info.hwndFocus : nullptr;
}

void Dump(const Program& program) {
  Line("dialog caption=" + Escape(TextOf(program.dialog)));
  // The controls in template order, the log aside.
  for (HWND control = GetWindow(program.dialog, GW_CHILD); control != nullptr;
       control = GetWindow(control, GW_HWNDNEXT)) {
    const int id = GetDlgCtrlID(control);
    if (id < IDC_TITLE || id > IDC_CHANGES_LEFT || id == IDC_LOG) continue;
    const bool checked = ClassOf(control) == L"Button" && Send(control, BM_GETCHECK) == BST_CHECKED;
    Line("control " + std::to_string(id) + " enabled=" + (IsWindowEnabled(control) ? "1" : "0") +
         " checked=" + (checked ? "1" : "0") + " text=" + Escape(TextOf(control)));
  }
  HWND list = GetDlgItem(program.dialog, IDC_DRIVE_LIST);
  const auto count = static_cast<int>(Send(list, CB_GETCOUNT));
  Line("drives count=" + std::to_string(count) +
       " selected=" + std::to_string(static_cast<int>(Send(list, CB_GETCURSEL))));
  for (int i = 0; i < count; ++i)
    Line("drive " + std::to_string(i) + " " + Escape(TextOf(list, i)));
  Line("log " + Escape(TextOf(GetDlgItem(program.dialog, IDC_LOG))));
  // The focused control, and whether Enter there presses it (a default push button).
  HWND focus = FocusOf(program);
  if (GetParent(focus) != program.dialog) focus = GetParent(focus);  // the list's edit field
  Line("focus " + std::to_string(GetDlgCtrlID(focus)) +
       " default=" + ((Send(focus, WM_GETDLGCODE) & DLGC_DEFPUSHBUTTON) != 0 ? "1" : "0"));
}

void DumpBox(const Program& program) {
  std::wstring texts, buttons;
  bool icon = false;
  for (HWND child = GetWindow(program.box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    const std::wstring kind = ClassOf(child), text = TextOf(child);
    if (kind == L"Static" && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      icon = icon || (Send(child, STM_GETICON) != 0 && IsWindowVisible(child) != FALSE);
    } else if (kind == L"Static" && !text.empty()) {
      texts += (texts.empty() ? L"" : L"|") + text;
    } else if (kind == L"Button" && IsWindowVisible(child)) {
      buttons += (buttons.empty() ? L"" : L"|") + text;
    }
  }
  Line("box caption=" + Escape(TextOf(program.box)) + " texts=" + Escape(texts) +
       " buttons=" + Escape(buttons) + " icon=" + (icon ? "1" : "0"));
}

bool Press(Program& program, const std::string& which) {
  const int id = which == "cancel" ? IDCANCEL : IDOK;
  HWND box = std::exchange(program.box, nullptr);
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
  // The closed box must not be taken for a new one while it is still being destroyed.
  Poll([box] { return IsWindow(box) == FALSE; });
  return WaitIdleOrBox(program);
}

void PressKey(const Program& program, const std::string& which) {
  const std::pair<const char*, WPARAM> keys[] = {
      {"escape", VK_ESCAPE}, {"f1", VK_F1},       {"down", VK_DOWN}, {"up", VK_UP},
      {"left", VK_LEFT},     {"right", VK_RIGHT}, {"tab", VK_TAB},   {"alt-g", 'G'}};
  WPARAM key = VK_RETURN;
  for (const auto& [name, code] : keys) key = which == name ? code : key;
  HWND target = FocusOf(program);
  if (target == nullptr) target = program.dialog;
  if (key == 'G') {
    constexpr LPARAM kAltDown = 1 | (1 << 29);  // repeat count 1, context code: Alt held
    PostMessageW(target, WM_SYSKEYDOWN, key, kAltDown);
    PostMessageW(target, WM_SYSKEYUP, key, kAltDown | 0xC0000000);
  } else if (key == VK_F1) {
    // A typed F1 becomes WM_KEYF1 as the platform reads the keyboard, which posting skips.
    constexpr UINT kKeyF1 = 0x004D;
    PostMessageW(target, kKeyF1, 0, 0);
  } else {
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
  }
  // The program has read the posted keys once it waits for input again.
  Sleep(kPollMs);
  WaitForInputIdle(program.process.hProcess, kStepTimeoutMs);
}

bool Start(Program& program, const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  std::wstring folder = slash == std::wstring::npos ? L"." : path.substr(0, slash);
  if (const wchar_t* start_in = _wgetenv(L"VARDEN_DRIVER_START_IN")) folder = start_in;
  std::wstring command = L"\"" + path + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (!CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &program.process))
    return Error("cannot start the program");
  Poll([&] { return Ended(program) || (program.dialog = FindDialog(program, kMainCaption)); },
       2 * kStepTimeoutMs);
  if (program.dialog == nullptr) return Error("the main dialog did not appear");
  WaitForInputIdle(program.process.hProcess, kStepTimeoutMs);
  Line("started");
  return true;
}

bool RunStep(Program& program, const std::string& step) {
  const std::size_t colon = step.find(':');
  const std::string verb = step.substr(0, colon);
  const std::string argument = colon == std::string::npos ? "" : step.substr(colon + 1);
  const int number = static_cast<int>(std::strtol(argument.c_str(), nullptr, 0));
  Line("step " + step);
  const int id = verb == "select" ? IDC_DRIVE_LIST : number;
  HWND control = GetDlgItem(program.dialog, id);
  // A user clicks only a control that is visible and enabled.
  if ((verb == "select" || verb == "check" || verb == "click") &&
      (!IsWindowVisible(control) || !IsWindowEnabled(control)))
    return Error("control " + std::to_string(id) + " cannot be clicked");
  if ((verb == "box" || verb == "press") && !IsWindow(program.box)) return Error("no box");
  if (verb == "dump") {
    Dump(program);
  } else if (verb == "windows") {
    for (HWND window : WindowsOf(program))
      Line("window " + Escape(ClassOf(window)) + " caption=" + Escape(TextOf(window)));
  } else if (verb == "wait-box") {
    return WaitIdleOrBox(program, true);
  } else if (verb == "select") {
    Send(control, CB_SETCURSEL, static_cast<WPARAM>(number));
    SendAsync(program, program.dialog, WM_COMMAND, MAKEWPARAM(IDC_DRIVE_LIST, CBN_SELCHANGE),
              reinterpret_cast<LPARAM>(control));
    return WaitIdleOrBox(program);
  } else if (verb == "check") {
    Send(control, BM_CLICK);
  } else if (verb == "click") {
    constexpr LPARAM kInside = MAKELPARAM(4, 4);
    Send(control, WM_LBUTTONDOWN, MK_LBUTTON, kInside);
    SendAsync(program, control, WM_LBUTTONUP, 0, kInside);
    return WaitIdleOrBox(program);
  } else if (verb == "sys") {
    SendAsync(program, program.dialog, WM_SYSCOMMAND, static_cast<WPARAM>(number), 0);
    return WaitIdleOrBox(program);
  } else if (verb == "box") {
    DumpBox(program);
  } else if (verb == "press") {
    return Press(program, argument);
  } else if (verb == "focus") {
    Send(program.dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
  } else if (verb == "key") {
    PressKey(program, argument);
  } else if (verb == "wait-exit") {
    if (WaitForSingleObject(program.process.hProcess, kStepTimeoutMs) != WAIT_OBJECT_0)
      return Error("the program did not end");
    DWORD code = 0;
    GetExitCodeProcess(program.process.hProcess, &code);
    Line("ended exit=" + std::to_string(code));
  } else {
    return Error("unknown step " + step);
  }
  return true;
}

}  // namespace

int main() {
  _setmode(_fileno(stdout), _O_BINARY);
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 2) {
    Line("error usage: driver.exe <program.exe> <step>...");
    return 2;
  }
  Program program;
  bool ok = Start(program, argv[1]);
  for (int i = 2; ok && i < argc; ++i) ok = RunStep(program, Narrow(argv[i]));

  // Whatever the steps left open ends here, so that no program outlives its test.
  if (!Ended(program)) {
    TerminateProcess(program.process.hProcess, 1);
    WaitForSingleObject(program.process.hProcess, kStepTimeoutMs);
  }
  if (program.worker.joinable()) program.worker.join();
  CloseHandle(program.process.hThread);
  CloseHandle(program.process.hProcess);
  LocalFree(argv);
  return ok ? 0 : 1;
}
