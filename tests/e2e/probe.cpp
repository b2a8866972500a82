// Hooked into the program's thread by the scenario runner: reads the menu's check marks and
// tells when the program has taken a marker message or key (all queued before it handled).
#include <windows.h>

static const UINT kMarks = RegisterWindowMessageA("plimbar.probe.marks");
static const UINT kMarker = RegisterWindowMessageA("plimbar.probe.marker");

// kMarks (query number q): properties "plimbar.probe.acp" and "plimbar.probe.marks" = q << 9 |
// 0x100 | bit i for item 40009 + i checked. kMarks, kMarker, F24 up: "plimbar.probe.taken.<pid>".
extern "C" __declspec(dllexport) LRESULT CALLBACK ProbeTaken(int code, WPARAM wp, LPARAM lp) {
  const MSG* m = reinterpret_cast<const MSG*>(lp);
  if (code == HC_ACTION && wp == PM_REMOVE && m->message == kMarks) {
    UINT_PTR marks = m->wParam << 9 | 0x100;
    for (UINT i = 0; i < 5; ++i)
      if (GetMenuState(GetMenu(m->hwnd), 40009 + i, MF_BYCOMMAND) & MF_CHECKED) marks |= 1u << i;
    SetPropA(m->hwnd, "plimbar.probe.marks", reinterpret_cast<HANDLE>(marks));
    SetPropA(m->hwnd, "plimbar.probe.acp", reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(GetACP())));
  }
  if (code == HC_ACTION && wp == PM_REMOVE &&
      (m->message == kMarks || m->message == kMarker || (m->message == WM_KEYUP && m->wParam == VK_F24))) {
    char name[48];
    wsprintfA(name, "plimbar.probe.taken.%lu", GetCurrentProcessId());
    HANDLE e = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
    if (e != nullptr) SetEvent(e);
    if (e != nullptr) CloseHandle(e);
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}
