// ZUBETOC on Windows: a windowless program. A hidden window of the class
// "ZBTC" hosts the run: the whole run takes place while the window is being
// created, and the process ends right there with the result code as its
// exit code. The window is never shown and the message loop never runs in
// a normal run. With "--verify <archive>" the program only checks that
// archive, logs the outcome and ends with 0 or 0x0800, without a window.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "notice.h"
#include "readback.h"
#include "run.h"

namespace {

constexpr const char kClassName[] = "ZBTC";

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_CREATE: {
      // The run uses nothing of the window. When the run log cannot be
      // opened, worker_main does nothing else and returns 0x9990.
      int rc = worker::worker_main().code;
      worker::notice_step(rc);  // Windows shows no notice: this does nothing there
      // The normal runtime exit flushes and closes the remaining streams;
      // Windows keeps the whole 32-bit result code as the exit code.
      std::exit(rc);
    }
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcA(hwnd, msg, wparam, lparam);
  }
}

bool register_class(HINSTANCE instance) {
  WNDCLASSEXA wc {};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = window_proc;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = 0;
  wc.hInstance = instance;
  wc.hIcon = ::LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = kClassName;
  wc.hIconSm = nullptr;
  return ::RegisterClassExA(&wc) != 0;
}

// Creating the window runs the job (see WM_CREATE), so a normal run never
// returns from here.
int create_window(HINSTANCE instance) {
  HWND hwnd = ::CreateWindowExA(0, kClassName, " ", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  if (!hwnd) return 0;
  ::ShowWindow(hwnd, SW_HIDE);
  ::UpdateWindow(hwnd);
  return 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE prev_instance, LPSTR /*cmd_line*/, int /*cmd_show*/) {
  // The runtime's split of the command line, in the ANSI code page as
  // every path of the worker.
  if (__argc >= 2 && std::strcmp(__argv[1], "--verify") == 0) return __argc == 3 ? worker::verify_main(__argv[2]) : 1;
  if (!prev_instance && !register_class(instance)) return 0;
  if (!create_window(instance)) return 0;
  MSG msg {};
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}
