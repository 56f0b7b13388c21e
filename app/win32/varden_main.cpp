// varden.exe: the region tool on the system's own drives.
#include <windows.h>

#include "app/win32/region_app.h"
#include "drive/win32/win32_device.h"

namespace {
varden::win32::Win32Device device;
varden::win32::CRegionApp theApp(device);
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  return theApp.Run();
}
