// The application object of the desktop programs: the transfer buffer for the whole run, the
// main dialog run modally, the buffer released once the dialog has gone.
#pragma once

#include <QString>
#include <functional>

#include "drive/device_seam.h"
#include "region/region_view.h"

class QApplication;

namespace varden::qt {

class MainDialog;

// How a run gets and gives back its transfer buffer (the tests count the calls).
struct BufferFunctions {
  std::function<int()> allocate;  // 0 on success, -1 when the memory cannot be had
  std::function<void()> release;
};
BufferFunctions DefaultBufferFunctions();

// Loads Qt's own Japanese translation in Japanese mode, so that the standard buttons of the
// message boxes read in Japanese. Answers whether one was installed.
bool InstallToolkitTranslation(QApplication& app, unsigned code_page);

struct RunOptions {
  unsigned code_page = 0;
  DeviceSeam* seam = nullptr;
  Sleeper* sleeper = nullptr;  // nullptr: a ThreadSleeper
  BufferFunctions buffer = DefaultBufferFunctions();
  std::function<void(MainDialog&)> configure;  // called before the dialog starts
};

// The text of the box that refuses to start without a transfer buffer.
QString NoBufferMessage();

// Allocates the transfer buffer (refusing to start with an error box and answering 1 when it
// cannot), chooses the device seam, runs the main dialog modally, then releases the buffer
// exactly once. The dialog's result is not examined: a run that showed the dialog answers 0.
int RunRegionApp(const RunOptions& options);

}  // namespace varden::qt
