// Drives one run of a Varden program from outside, as a user would, and prints what the
// dialog shows, one fact per line, for the Wine test script to check.
//
//   driver.exe <program.exe> <step>...
//
// The program starts in its own folder, or in the folder VARDEN_DRIVER_START_IN names.
//
// Steps:
//   dump             the main dialog: controls (id, enabled, checked, text), drive list, log
//   sysmenu-open     opens the main dialog's system menu (Alt+Space), waits until it shows
//   select:N         chooses drive-list item N as the user does (selection, then CBN_SELCHANGE)
//   check:ID         clicks a radio button or check box
//   click:ID         clicks a push button (BN_CLICKED), waits until the dialog is idle again
//                    or shows a box
//   sys:N            sends the system command N (decimal), waits as click does
//   windows          lists the program's visible top-level windows (class, caption)
//   box              prints the box the dialog shows: caption, texts, buttons, icon
//   press:ok|cancel  presses a button of that box, waits as click does
//   menu-close       closes that menu again (Escape) and waits until the dialog is idle
//   wait-box         waits for a box that a key opened
//   wait-idle        waits as click does (after a key that closed a menu or a box)
//   focus:ID         moves the focus to a control
//   key:enter|escape|f1  presses the key in the control that has the focus
//   wait-exit        waits for the program to end
//   snap:NAME        prints "snap NAME" and waits for the file snap-NAME.done (a screenshot)
//
// Lines: "dialog caption=...", "control <id> enabled=<0|1> checked=<0|1> text=<...>",
// "drives count=<n> selected=<k>", "drive <i> <text>", "log <text>", "progress-window <0|1>",
// "menu-open", "menu-closed",
// "window <class> caption=<text>", "box caption=... texts=a|b buttons=OK|Cancel icon=<0|1>",
// "idle", "box-open", "ended exit=<code>", "error <what>". Texts are UTF-8 with carriage
// return, line feed and backslash written as \r, \n and \\.
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
#include <vector>

#include "ui/resources/resource.h"
#include "ui/win32/wide_text.h"

namespace {

using varden::win32::Narrow;
using varden::win32::Widen;

constexpr wchar_t kMainCaption[] = L"Varden for Windows2000";
constexpr wchar_t kProgressCaption[] = L"Now processing...";
constexpr wchar_t kDialogClass[] = L"#32770";
constexpr wchar_t kMenuClass[] = L"#32768";
constexpr DWORD kStartTimeoutMs = 30000;
constexpr DWORD kStepTimeoutMs = 20000;
constexpr DWORD kPollMs = 50;

// The main dialog's controls in template order.
constexpr int kControls[] = {
    IDC_TITLE,        IDC_DRIVE_REGION_GROUP,
    IDC_REGION1,      IDC_REGION2,
    IDC_REGION3,      IDC_REGION4,
    IDC_REGION5,      IDC_REGION6,
    IDC_DRIVE_LIST,   IDC_DISC_REGION1,
    IDC_DISC_REGION2, IDC_DISC_REGION3,
    IDC_DISC_REGION4, IDC_DISC_REGION5,
    IDC_DISC_REGION6, IDC_DISC_REGION_GROUP,
    IDC_SET_REGION,   IDC_EXIT,
    IDC_GET_REGION,   IDC_CHANGES_LEFT,
};

void Line(const std::string& text) {
  const std::string line = text + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

std::string Escape(const std::wstring& text) {
  std::string out;
  for (char c : Narrow(text)) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\\') {
      out += "\\\\";
    } else {
      out += c;
    }
  }
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

struct FindContext {
  DWORD process_id;
  const wchar_t* caption;  // nullptr: any dialog-class window but `except`
  HWND except;
  HWND found;
};

BOOL CALLBACK FindWindowOf(HWND window, LPARAM l) {
  auto* context = reinterpret_cast<FindContext*>(l);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != context->process_id || !IsWindowVisible(window)) return TRUE;
  if (ClassOf(window) != kDialogClass || window == context->except) return TRUE;
  if (context->caption != nullptr && TextOf(window) != context->caption) return TRUE;
  context->found = window;
  return FALSE;
}

HWND FindDialog(const Program& program, const wchar_t* caption, HWND except = nullptr) {
  FindContext context{program.process.dwProcessId, caption, except, nullptr};
  EnumWindows(&FindWindowOf, reinterpret_cast<LPARAM>(&context));
  return context.found;
}

bool Ended(const Program& program) {
  return WaitForSingleObject(program.process.hProcess, 0) == WAIT_OBJECT_0;
}

// Sends a message from a second thread, so that this one can answer the boxes that the
// handler opens while the sender waits for it.
void SendAsync(Program& program, UINT message, WPARAM w, LPARAM l) {
  if (program.worker.joinable()) program.worker.join();
  program.busy = true;
  HWND dialog = program.dialog;
  program.worker = std::thread([&program, dialog, message, w, l] {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(dialog, message, w, l, SMTO_BLOCK, 10 * 60 * 1000, &result);
    program.busy = false;
  });
}

// Waits until the handler has returned ("idle"), a box is open ("box-open") or the program
// has ended.
bool WaitIdleOrBox(Program& program) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < kStepTimeoutMs) {
    if (!program.busy) {
      Line("idle");
      return true;
    }
    if (HWND box = FindDialog(program, nullptr, program.dialog); box != nullptr) {
      program.box = box;
      Line("box-open");
      return true;
    }
    if (Ended(program)) return true;
    Sleep(kPollMs);
  }
  Line("error the dialog did not answer in time");
  return false;
}

struct ListContext {
  DWORD process_id;
  std::vector<HWND> windows;
};

BOOL CALLBACK ListWindowOf(HWND window, LPARAM l) {
  auto* context = reinterpret_cast<ListContext*>(l);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == context->process_id && IsWindowVisible(window)) context->windows.push_back(window);
  return TRUE;
}

// The program's visible top-level windows: class and caption.
void ListWindows(const Program& program) {
  ListContext context{program.process.dwProcessId, {}};
  EnumWindows(&ListWindowOf, reinterpret_cast<LPARAM>(&context));
  for (HWND window : context.windows) {
    Line("window " + Escape(ClassOf(window)) + " caption=" + Escape(TextOf(window)));
  }
}

// Waits for a box that a key opened (no handler of ours is waiting for it).
bool WaitBox(Program& program) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < kStepTimeoutMs) {
    if (HWND box = FindDialog(program, nullptr, program.dialog); box != nullptr) {
      program.box = box;
      Line("box-open");
      return true;
    }
    Sleep(kPollMs);
  }
  Line("error no box appeared");
  return false;
}

void Dump(const Program& program) {
  Line("dialog caption=" + Escape(TextOf(program.dialog)));
  Line(std::string("progress-window ") +
       (FindDialog(program, kProgressCaption) != nullptr ? "1" : "0"));
  for (int id : kControls) {
    HWND control = GetDlgItem(program.dialog, id);
    if (control == nullptr) {
      Line("error no control " + std::to_string(id));
      continue;
    }
    const LRESULT check = SendMessageW(control, BM_GETCHECK, 0, 0);
    const bool button = ClassOf(control) == L"Button";
    Line("control " + std::to_string(id) + " enabled=" + (IsWindowEnabled(control) ? "1" : "0") +
         " checked=" + (button && check == BST_CHECKED ? "1" : "0") +
         " text=" + Escape(TextOf(control)));
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
}

// Opens the system menu as Alt+Space does and waits until it shows.
bool OpenSystemMenu(Program& program) {
  SendAsync(program, WM_SYSCOMMAND, SC_KEYMENU, L' ');
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < kStepTimeoutMs) {
    HWND menu = nullptr;
    while ((menu = FindWindowExW(nullptr, menu, kMenuClass, nullptr)) != nullptr) {
      DWORD owner = 0;
      GetWindowThreadProcessId(menu, &owner);
      if (owner == program.process.dwProcessId && IsWindowVisible(menu)) {
        Line("menu-open");
        return true;
      }
    }
    Sleep(kPollMs);
  }
  Line("error the system menu did not open");
  return false;
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
  const LONG style = GetWindowLongW(child, GWL_STYLE);
  if (kind == L"Static") {
    if ((style & SS_TYPEMASK) == SS_ICON) {
      DWORD_PTR icon = 0;
      SendMessageTimeoutW(child, STM_GETICON, 0, 0, SMTO_BLOCK, kStepTimeoutMs, &icon);
      box->icon = box->icon || (icon != 0 && IsWindowVisible(child) != FALSE);
    } else if (!text.empty()) {
      box->texts += (box->texts.empty() ? L"" : L"|") + text;
    }
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
  const DWORD start = GetTickCount();
  while (IsWindow(box) && IsWindowVisible(box) && GetTickCount() - start < kStepTimeoutMs) {
    Sleep(kPollMs);
  }
  program.box = nullptr;
  // The closed box must not be taken for a new one while it is still being destroyed.
  while (IsWindow(box) && GetTickCount() - start < kStepTimeoutMs) Sleep(kPollMs);
  return WaitIdleOrBox(program);
}

// Closes the menu that sysmenu-open opened, with Escape as often as the menu takes it,
// and waits until the system command has returned.
bool CloseMenu(Program& program) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < kStepTimeoutMs) {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(program.process.dwThreadId, &info);
    const bool in_menu = (info.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE)) != 0;
    if (!in_menu && !program.busy) {
      Line("menu-closed");
      return true;
    }
    if (in_menu) {
      HWND target = info.hwndMenuOwner != nullptr ? info.hwndMenuOwner : program.dialog;
      PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 1);
      PostMessageW(target, WM_KEYUP, VK_ESCAPE, 0xC0000001);
    }
    Sleep(4 * kPollMs);
  }
  Line("error the menu did not close");
  return false;
}

void PressKey(const Program& program, const std::string& which) {
  const WPARAM key = which == "escape" ? VK_ESCAPE : which == "f1" ? VK_F1 : VK_RETURN;
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  HWND target = nullptr;
  if (GetGUIThreadInfo(program.process.dwThreadId, &info)) target = info.hwndFocus;
  if (target == nullptr) target = program.dialog;
  if (key == VK_F1) {
    // The platform turns a typed F1 into WM_KEYF1 as it reads the keyboard, which a posted
    // key does not pass through; the help request starts from there.
    constexpr UINT kKeyF1 = 0x004D;
    PostMessageW(target, kKeyF1, 0, 0);
    return;
  }
  PostMessageW(target, WM_KEYDOWN, key, 1);
  PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

bool WaitExit(Program& program) {
  if (WaitForSingleObject(program.process.hProcess, kStepTimeoutMs) != WAIT_OBJECT_0) {
    Line("error the program did not end");
    return false;
  }
  DWORD code = 0;
  GetExitCodeProcess(program.process.hProcess, &code);
  Line("ended exit=" + std::to_string(code));
  return true;
}

bool Snap(const std::string& name) {
  Line("snap " + name);
  const std::wstring done = Widen("snap-" + name + ".done");
  const DWORD start = GetTickCount();
  while (GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() - start > kStepTimeoutMs) {
      Line("error no screenshot " + name);
      return false;
    }
    Sleep(kPollMs);
  }
  DeleteFileW(done.c_str());
  return true;
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
  while (GetTickCount() - start < kStartTimeoutMs) {
    program.dialog = FindDialog(program, kMainCaption);
    if (program.dialog != nullptr) {
      WaitForInputIdle(program.process.hProcess, kStepTimeoutMs);
      Line("started");
      return true;
    }
    if (Ended(program)) break;
    Sleep(kPollMs);
  }
  Line("error the main dialog did not appear");
  return false;
}

int Number(const std::string& text) {
  return std::stoi(text, nullptr, 0);
}

bool RunStep(Program& program, const std::string& step) {
  const std::size_t colon = step.find(':');
  const std::string verb = step.substr(0, colon);
  const std::string argument = colon == std::string::npos ? "" : step.substr(colon + 1);
  Line("step " + step);
  if (verb == "dump") {
    Dump(program);
  } else if (verb == "sysmenu-open") {
    return OpenSystemMenu(program);
  } else if (verb == "windows") {
    ListWindows(program);
  } else if (verb == "menu-close") {
    return CloseMenu(program);
  } else if (verb == "wait-box") {
    return WaitBox(program);
  } else if (verb == "wait-idle") {
    return WaitIdleOrBox(program);
  } else if (verb == "select") {
    HWND list = GetDlgItem(program.dialog, IDC_DRIVE_LIST);
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(Number(argument)), 0);
    SendAsync(program, WM_COMMAND, MAKEWPARAM(IDC_DRIVE_LIST, CBN_SELCHANGE),
              reinterpret_cast<LPARAM>(list));
    return WaitIdleOrBox(program);
  } else if (verb == "check") {
    SendMessageW(GetDlgItem(program.dialog, Number(argument)), BM_CLICK, 0, 0);
  } else if (verb == "click") {
    const int id = Number(argument);
    SendAsync(program, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
              reinterpret_cast<LPARAM>(GetDlgItem(program.dialog, id)));
    return WaitIdleOrBox(program);
  } else if (verb == "sys") {
    SendAsync(program, WM_SYSCOMMAND, static_cast<WPARAM>(Number(argument)), 0);
    return WaitIdleOrBox(program);
  } else if (verb == "box") {
    DumpBox(program);
  } else if (verb == "press") {
    return Press(program, argument);
  } else if (verb == "focus") {
    SendMessageW(program.dialog, WM_NEXTDLGCTL,
                 reinterpret_cast<WPARAM>(GetDlgItem(program.dialog, Number(argument))), TRUE);
  } else if (verb == "key") {
    PressKey(program, argument);
  } else if (verb == "wait-exit") {
    return WaitExit(program);
  } else if (verb == "snap") {
    return Snap(argument);
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

  if (program.worker.joinable()) {
    if (!Ended(program) && program.busy) {
      TerminateProcess(program.process.hProcess, 1);
    }
    program.worker.join();
  }
  if (!Ended(program)) {
    // Whatever the steps left open ends here, so that no program outlives its test.
    TerminateProcess(program.process.hProcess, 1);
    WaitForSingleObject(program.process.hProcess, kStepTimeoutMs);
  }
  CloseHandle(program.process.hThread);
  CloseHandle(program.process.hProcess);
  LocalFree(argv);
  return ok ? 0 : 1;
}
