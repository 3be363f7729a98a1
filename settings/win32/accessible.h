// The name a screen reader says for a control. The control answers the
// system's question for its accessible object (WM_GETOBJECT, its client
// area) with the standard object of its class, under the name given:
// every other property (role, state, value, place) is the standard one.
#pragma once
#include <windows.h>

#include <string>

namespace zubeto::win32 {

// Gives the control that name until it is destroyed; a second call
// replaces it.
void set_accessible_name(HWND control, const std::wstring& name);

}  // namespace zubeto::win32
