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
//   key:enter|escape|f1  presses the key where the focus is; waits until it has been taken
//   wait-exit        waits for the program to end ("ended exit=<code>")
//   windows          lists the program's visible top-level windows (class, caption)
//
// Texts are UTF-8, with carriage return, line feed and backslash written as \r, \n and \\;
// a step that cannot be done prints "error <what>".
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

// A window's text, asked of the window itself, which works across processes.
std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_BLOCK, kStepTimeoutMs, &length);
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                      SMTO_BLOCK, kStepTimeoutMs, &copied);
  text.resize(copied);
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

struct Search {
  DWORD process_id;
  const wchar_t* caption;  // nullptr: any dialog-class window but `except`
  HWND except;
  HWND found;
};

// The program's visible top-level windows, one line each: class and caption.
BOOL CALLBACK ListWindow(HWND window, LPARAM process_id) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == static_cast<DWORD>(process_id) && IsWindowVisible(window)) {
    Line("window " + Escape(ClassOf(window)) + " caption=" + Escape(TextOf(window)));
  }
  return TRUE;
}

BOOL CALLBACK Visit(HWND window, LPARAM l) {
  auto* search = reinterpret_cast<Search*>(l);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->process_id || !IsWindowVisible(window) || window == search->except ||
      ClassOf(window) != kDialogClass) {
    return TRUE;
  }
  if (search->caption != nullptr && TextOf(window) != search->caption) return TRUE;
  search->found = window;
  return FALSE;
}

// A visible dialog-class window of the program with that caption (nullptr: any but `except`).
HWND FindDialog(const Program& program, const wchar_t* caption, HWND except = nullptr) {
  Search search{program.process.dwProcessId, caption, except, nullptr};
  EnumWindows(&Visit, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool Ended(const Program& program) {
  return WaitForSingleObject(program.process.hProcess, 0) == WAIT_OBJECT_0;
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
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < kStepTimeoutMs) {
    if (!box_only && !program.busy) {
      Line("idle");
      return true;
    }
    if (HWND box = FindDialog(program, nullptr, program.dialog); box != nullptr) {
      program.box = box;
      Line("box-open");
      return true;
    }
    if (!box_only && Ended(program)) return true;
    Sleep(kPollMs);
  }
  Line(box_only ? "error no box appeared" : "error the dialog did not answer in time");
  return false;
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
    const bool checked =
        ClassOf(control) == L"Button" && SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
    Line("control " + std::to_string(id) + " enabled=" + (IsWindowEnabled(control) ? "1" : "0") +
         " checked=" + (checked ? "1" : "0") + " text=" + Escape(TextOf(control)));
  }
  HWND list = GetDlgItem(program.dialog, IDC_DRIVE_LIST);
  const auto count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
  const auto selected = static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0));
  Line("drives count=" + std::to_string(count) + " selected=" + std::to_string(selected));
  for (int i = 0; i < count; ++i) {
    const auto length = SendMessageW(list, CB_GETLBTEXTLEN, i, 0);
    std::wstring item(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
    item.resize(static_cast<std::size_t>(length));
    Line("drive " + std::to_string(i) + " " + Escape(item));
  }
  Line("log " + Escape(TextOf(GetDlgItem(program.dialog, IDC_LOG))));
  // The focused control, and whether Enter there presses it (a default push button).
  HWND focus = FocusOf(program);
  if (GetParent(focus) != program.dialog) focus = GetParent(focus);  // the list's edit field
  DWORD_PTR code = 0;
  SendMessageTimeoutW(focus, WM_GETDLGCODE, 0, 0, SMTO_BLOCK, kStepTimeoutMs, &code);
  Line("focus " + std::to_string(GetDlgCtrlID(focus)) +
       " default=" + ((code & DLGC_DEFPUSHBUTTON) != 0 ? "1" : "0"));
}

struct BoxContents {
  std::wstring texts;
  std::wstring buttons;
  bool icon = false;
};

BOOL CALLBACK CollectBoxChild(HWND child, LPARAM l) {
  auto* box = reinterpret_cast<BoxContents*>(l);
  const std::wstring kind = ClassOf(child);
  const std::wstring text = TextOf(child);
  if (kind == L"Static" && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
    DWORD_PTR icon = 0;
    SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_BLOCK, kStepTimeoutMs, &icon);
    box->icon = box->icon || (icon != 0 && IsWindowVisible(child) != FALSE);
  } else if (kind == L"Static" && !text.empty()) {
    box->texts += (box->texts.empty() ? L"" : L"|") + text;
  } else if (kind == L"Button" && IsWindowVisible(child)) {
    box->buttons += (box->buttons.empty() ? L"" : L"|") + text;
  }
  return TRUE;
}

void DumpBox(const Program& program) {
  if (program.box == nullptr || !IsWindow(program.box)) {
    Line("error no box");
    return;
  }
  BoxContents box;
  EnumChildWindows(program.box, &CollectBoxChild, reinterpret_cast<LPARAM>(&box));
  Line("box caption=" + Escape(TextOf(program.box)) + " texts=" + Escape(box.texts) +
       " buttons=" + Escape(box.buttons) + " icon=" + (box.icon ? "1" : "0"));
}

bool Press(Program& program, const std::string& which) {
  if (program.box == nullptr || !IsWindow(program.box)) {
    Line("error no box to press");
    return false;
  }
  const int id = which == "cancel" ? IDCANCEL : IDOK;
  HWND box = program.box;
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
  program.box = nullptr;
  // The closed box must not be taken for a new one while it is still being destroyed.
  const DWORD start = GetTickCount();
  while (IsWindow(box) && GetTickCount() - start < kStepTimeoutMs) Sleep(kPollMs);
  return WaitIdleOrBox(program);
}

bool PressKey(const Program& program, const std::string& which) {
  const WPARAM key = which == "escape" ? VK_ESCAPE : which == "f1" ? VK_F1 : VK_RETURN;
  HWND target = FocusOf(program);
  if (target == nullptr) target = program.dialog;
  if (key == VK_F1) {
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
  return true;
}

bool WaitExit(Program& program) {
  DWORD code = 0;
  const bool ended = WaitForSingleObject(program.process.hProcess, kStepTimeoutMs) == 0;
  GetExitCodeProcess(program.process.hProcess, &code);
  Line(ended ? "ended exit=" + std::to_string(code) : "error the program did not end");
  return ended;
}

bool Start(Program& program, const std::wstring& path) {
  std::wstring folder = path;
  const std::size_t slash = folder.find_last_of(L"\\/");
  folder = slash == std::wstring::npos ? L"." : folder.substr(0, slash);
  if (const wchar_t* start_in = _wgetenv(L"VARDEN_DRIVER_START_IN")) folder = start_in;
  std::wstring command = L"\"" + path + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (!CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &program.process)) {
    Line("error cannot start the program");
    return false;
  }
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 2 * kStepTimeoutMs && !Ended(program)) {
    program.dialog = FindDialog(program, kMainCaption);
    if (program.dialog != nullptr) {
      WaitForInputIdle(program.process.hProcess, kStepTimeoutMs);
      Line("started");
      return true;
    }
    Sleep(kPollMs);
  }
  Line("error the main dialog did not appear");
  return false;
}

// The control `id` of the dialog when a user could click it: visible and enabled.
HWND Clickable(const Program& program, int id) {
  HWND control = GetDlgItem(program.dialog, id);
  if (control != nullptr && IsWindowVisible(control) && IsWindowEnabled(control)) return control;
  Line("error control " + std::to_string(id) + " cannot be clicked");
  return nullptr;
}

bool RunStep(Program& program, const std::string& step) {
  const std::size_t colon = step.find(':');
  const std::string verb = step.substr(0, colon);
  const std::string argument = colon == std::string::npos ? "" : step.substr(colon + 1);
  const int number = static_cast<int>(std::strtol(argument.c_str(), nullptr, 0));
  Line("step " + step);
  HWND control = nullptr;  // what a click goes to, when a user can click it
  if (verb == "select" || verb == "check" || verb == "click") {
    control = Clickable(program, verb == "select" ? IDC_DRIVE_LIST : number);
    if (control == nullptr) return false;
  }
  if (verb == "dump") {
    Dump(program);
  } else if (verb == "windows") {
    EnumWindows(&ListWindow, static_cast<LPARAM>(program.process.dwProcessId));
  } else if (verb == "wait-box") {
    return WaitIdleOrBox(program, true);
  } else if (verb == "select") {
    SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(number), 0);
    SendAsync(program, program.dialog, WM_COMMAND, MAKEWPARAM(IDC_DRIVE_LIST, CBN_SELCHANGE),
              reinterpret_cast<LPARAM>(control));
    return WaitIdleOrBox(program);
  } else if (verb == "check") {
    SendMessageW(control, BM_CLICK, 0, 0);
  } else if (verb == "click") {
    constexpr LPARAM kInside = MAKELPARAM(4, 4);
    SendMessageTimeoutW(control, WM_LBUTTONDOWN, MK_LBUTTON, kInside, SMTO_BLOCK, kStepTimeoutMs,
                        nullptr);
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
    SendMessageW(program.dialog, WM_NEXTDLGCTL,
                 reinterpret_cast<WPARAM>(GetDlgItem(program.dialog, number)), TRUE);
  } else if (verb == "key") {
    return PressKey(program, argument);
  } else if (verb == "wait-exit") {
    return WaitExit(program);
  } else {
    Line("error unknown step " + step);
    return false;
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
