// Takes the Windows program's pictures for the documentation under Wine: it starts
// varden-demo.exe on the demo's own drives, brings up each window as a user would, and at each
// picture prints "snap NAME" and waits until the file snap-NAME.done appears (the calling
// script grabs the screen in between). Run by scripts/wine-tests.sh; not a test.
//
//   win32_pictures.exe <varden-demo.exe> en|ja
// <windows.h> first: the other platform headers build on it.
// clang-format off
#include <windows.h>
// clang-format on

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/resources/resource.h"

namespace {

constexpr DWORD kTimeoutMs = 20000;
constexpr DWORD kPollMs = 50;
constexpr DWORD kSettleMs = 500;
constexpr int kDriveWithoutDisc = 2;  // G:, the demo's third drive

PROCESS_INFORMATION demo{};

struct Search {
  const wchar_t* window_class;
  HWND except;
  const wchar_t* caption;  // nullptr: any
  HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM l) {
  auto* search = reinterpret_cast<Search*>(l);
  DWORD owner = 0;
  wchar_t name[64] = {};
  GetWindowThreadProcessId(window, &owner);
  GetClassNameW(window, name, 64);
  if (owner != demo.dwProcessId || !IsWindowVisible(window) || window == search->except ||
      std::wstring(name) != search->window_class) {
    return TRUE;
  }
  wchar_t caption[64] = {};
  GetWindowTextW(window, caption, 64);
  if (search->caption != nullptr && std::wstring(caption) != search->caption) return TRUE;
  search->found = window;
  return FALSE;
}

// Waits for a visible top-level window of the demo of that class, other than `except`; ends
// the demo and this tool when none comes.
HWND WaitWindow(const wchar_t* window_class, HWND except = nullptr,
                const wchar_t* caption = nullptr) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < kTimeoutMs; Sleep(kPollMs)) {
    Search search{window_class, except, caption, nullptr};
    EnumWindows(&Visit, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    // A popup menu is not always among the top-level windows that EnumWindows lists.
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, window_class, caption)) != nullptr) {
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if (owner == demo.dwProcessId && IsWindowVisible(window) && window != except) return window;
    }
  }
  std::printf("error no window of class %ls\n", window_class);
  TerminateProcess(demo.hProcess, 1);
  std::exit(1);
}

void Snap(const char* name) {
  Sleep(kSettleMs);
  std::printf("snap %s\n", name);
  std::fflush(stdout);
  const std::string done = std::string("snap-") + name + ".done";
  for (DWORD start = GetTickCount(); GetTickCount() - start < kTimeoutMs; Sleep(kPollMs)) {
    if (DeleteFileA(done.c_str())) return;
  }
  std::printf("error no picture %s\n", name);
}

void CloseBox(HWND box, int button) {
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
  while (IsWindow(box)) Sleep(kPollMs);
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);  // lines end in a line feed alone
  if (argc != 3) {
    std::printf("usage: %s <varden-demo.exe> en|ja\n", argv[0]);
    return 2;
  }
  const std::string language = argv[2];
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  std::string command = std::string("\"") + argv[1] + "\"";
  if (!CreateProcessA(argv[1], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &demo)) {
    std::printf("error cannot start %s\n", argv[1]);
    return 1;
  }
  // The main dialog, not the progress window before it.
  const HWND dialog = WaitWindow(L"#32770", nullptr, L"Varden for Windows2000");
  WaitForInputIdle(demo.hProcess, kTimeoutMs);
  // The pointer off the dialog (the display starts with it at its centre, over a region
  // button), so that no control shows the ring of a pointer resting on it.
  SetCursorPos(0, 0);
  Sleep(kSettleMs);
  Snap(language.c_str());

  if (language == "ja") {
    // The window menu, as Alt+Space opens it.
    SendNotifyMessageW(dialog, WM_SYSCOMMAND, SC_KEYMENU, L' ');
    WaitWindow(L"#32768");
    Snap("ja-sysmenu");
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    for (int i = 0; i < 2 && GetGUIThreadInfo(demo.dwThreadId, &info) && info.hwndMenuOwner; ++i) {
      PostMessageW(info.hwndMenuOwner, WM_KEYDOWN, VK_ESCAPE, 1);
      Sleep(kSettleMs);
    }
  } else {
    PostMessageW(dialog, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    const HWND about = WaitWindow(L"#32770", dialog);
    Snap("en-about");
    CloseBox(about, IDOK);
  }

  // The drive without a disc: its first change goes through (no region yet, every change
  // left); the second asks for a disc.
  const HWND list = GetDlgItem(dialog, IDC_DRIVE_LIST);
  SendMessageW(list, CB_SETCURSEL, kDriveWithoutDisc, 0);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_DRIVE_LIST, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(list));
  SendMessageW(GetDlgItem(dialog, IDC_REGION1), BM_CLICK, 0, 0);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_SET_REGION, BN_CLICKED), 0);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_SET_REGION, BN_CLICKED), 0);
  const HWND prompt = WaitWindow(L"#32770", dialog);
  Snap((language + "-prompt").c_str());
  CloseBox(prompt, IDCANCEL);

  TerminateProcess(demo.hProcess, 0);
  CloseHandle(demo.hThread);
  CloseHandle(demo.hProcess);
  return 0;
}
