// The library's entry point: nothing to set up or tear down, so loading
// the library never fails on its account.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD /*reason*/, LPVOID /*reserved*/) { return TRUE; }
