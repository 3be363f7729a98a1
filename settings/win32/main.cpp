// ZUBETOB.exe: the settings window on Windows.
#include <windows.h>

#include <ole2.h>

#include "main_window.h"
#include "win32_services.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Drag-and-drop goes through OLE, on this one thread.
  if (FAILED(::OleInitialize(nullptr))) return 1;
  int code = 0;
  {
    zubeto::win32::Win32Services services;
    zubeto::win32::MainWindow window(services);
    if (window.open(instance)) {
      services.set_owner(window.hwnd());
      window.show();
      code = zubeto::win32::run_message_loop(window.hwnd());
    }
    // else another copy runs: this one ends silently.
  }
  ::OleUninitialize();
  return code;
}
