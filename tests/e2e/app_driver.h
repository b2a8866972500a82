// Drives the real PlimbarMaker.exe under Wine as a user does; every wait has a deadline. The
// probe hooked into it (probe.cpp) reads the menu marks and says when the queue was taken.
#ifndef PLIMBAR_TESTS_E2E_APP_DRIVER_H
#define PLIMBAR_TESTS_E2E_APP_DRIVER_H

#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <vector>

#include "tests/test_support.h"

namespace e2e {

using namespace plimbar::test;
constexpr DWORD kWaitMs = 20000;
enum Modifier { kCtrl = 1, kShift = 2, kAlt = 4 };

inline std::string WinPath(std::string unixPath) {  // Z:\... as Wine maps it
  for (char& c : unixPath) c = c == '/' ? '\\' : c;
  return "Z:" + unixPath;
}
inline std::wstring Wide(const std::string& utf8) {
  std::wstring w(utf8.size(), L'\0');
  w.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &w[0], int(w.size())));
  return w;
}
inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
inline bool WaitUntil(const std::function<bool()>& cond, DWORD ms = kWaitMs) {
  for (const DWORD start = GetTickCount(); !cond(); Sleep(5))
    if (GetTickCount() - start >= ms) return cond();
  return true;
}
// A WAV file with the 44-byte header of the program and the ALSA file device.
struct Wav {
  bool ok = false;
  uint32_t rate = 0, bits = 0;
  std::string data;
};
inline uint32_t Le(const std::string& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b[at + i]);
  return v;
}
inline Wav ParseWav(const std::string& b) {
  Wav w;
  w.ok = b.size() >= 44 && b.compare(0, 4, "RIFF") == 0 && b.compare(36, 4, "data") == 0;
  if (w.ok) w.rate = Le(b, 24, 4), w.bits = Le(b, 34, 2), w.data = b.substr(44, Le(b, 40, 4));
  return w;
}
// An ALSA "file" device fills in its header's sizes when it is closed.
inline bool CaptureClosed(const std::string& path) {
  const std::string b = ReadText(path);
  return b.size() >= 44 && Le(b, 4, 4) != 36;
}
// "" when played holds want's frames in order, whole, with only silent frames between them
// (Wine plays silence when its feeding thread falls behind); else where the two part.
inline std::string PlayedDifference(const std::string& played, const std::string& want, int bits) {
  const size_t frame = bits / 8;
  const std::string silence = bits == 16 ? std::string(2, '\0') : "\x80";
  size_t p = 0, w = 0;  // taking want's frame when it matches is never worse than skipping it
  for (; p + frame <= played.size(); p += frame)
    if (w < want.size() && played.compare(p, frame, want, w, frame) == 0) w += frame;
    else if (played.compare(p, frame, silence) != 0) break;
  return w >= want.size() && p == played.size() ? "" : "want's byte " + std::to_string(w) + " of " +
         std::to_string(want.size()) + " is not at played byte " + std::to_string(p) + " of " + std::to_string(played.size());
}

// A window's client area as the screen shows it, row by row, after its width (0: no area).
inline std::vector<uint32_t> Capture(HWND hwnd) {
  RECT rc = {};
  POINT at = {0, 0};
  std::vector<uint32_t> img = {0};
  if (!GetClientRect(hwnd, &rc) || !ClientToScreen(hwnd, &at) || rc.right <= 0 || rc.bottom <= 0) return img;
  img[0] = rc.right;
  HDC screen = GetDC(nullptr), mem = CreateCompatibleDC(screen);
  BITMAPINFO bi = {{sizeof bi.bmiHeader, rc.right, -rc.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
  uint32_t* bits = nullptr;
  HGDIOBJ old = SelectObject(mem, CreateDIBSection(mem, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0));
  BitBlt(mem, 0, 0, rc.right, rc.bottom, screen, at.x, at.y, SRCCOPY);
  GdiFlush();
  for (int i = 0; i < rc.right * rc.bottom; ++i) img.push_back(bits[i] & 0xFFFFFF);
  DeleteObject(SelectObject(mem, old));
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return img;
}

class App {
 public:
  App() = default;
  App(const App&) = delete;
  ~App() {  // ends a program the test left running
    if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
    if (pi_.hProcess == nullptr) return;
    if (Running()) TerminateProcess(pi_.hProcess, 99);
    WaitForSingleObject(pi_.hProcess, kWaitMs);
    for (HANDLE h : {pi_.hProcess, pi_.hThread, taken_}) CloseHandle(h);
  }

  // Starts exe with args (UTF-8) in dir.
  bool Spawn(const std::string& exe, const std::string& dir, const std::string& args) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    std::wstring cmd = Wide("\"" + exe + "\"" + (args.empty() ? "" : " " + args));
    return CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, Wide(dir).c_str(), &si, &pi_);
  }
  bool Start(const std::string& exe, const std::string& dir, const std::string& args) {
    if (!Spawn(exe, dir, args)) return false;
    taken_ = CreateEventA(nullptr, FALSE, FALSE, ("plimbar.probe.taken." + std::to_string(pi_.dwProcessId)).c_str());
    dialog_ = Other("#32770", kWaitMs, nullptr);
    HMODULE probe = LoadLibraryA(WinPath(PLIMBAR_E2E_PROBE).c_str());
    if (dialog_ == nullptr || probe == nullptr) return false;
    const FARPROC taken = GetProcAddress(probe, "ProbeTaken");
    hook_ = SetWindowsHookExA(WH_GETMESSAGE, reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(taken)), probe,
                              GetWindowThreadProcessId(dialog_, nullptr));
    return hook_ != nullptr && Post(WM_NULL);
  }
  HWND dialog() const { return dialog_; }
  HWND Item(int id) const { return GetDlgItem(dialog_, id); }
  // WM_COMMAND of control id with notification code, as the control sends it.
  LRESULT Command(int id, int code) const { return Send(dialog_, WM_COMMAND, MAKEWPARAM(id, code), LPARAM(Item(id))); }
  std::wstring Text(int id) const { return Text(Item(id)); }
  static std::wstring Text(HWND hwnd) {
    wchar_t buf[512] = L"";
    Send(hwnd, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buf));
    return buf;
  }
  // SendMessage within the deadline; -1 when it was not handled in time.
  static LRESULT Send(HWND to, UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
    DWORD_PTR r = 0;
    return SendMessageTimeoutW(to, msg, wp, lp, SMTO_NORMAL, kWaitMs, &r) ? static_cast<LRESULT>(r) : -1;
  }
  bool Answers() const { return Send(dialog_, WM_NULL) != -1; }
  // Posts to the main dialog and waits until the program has taken a marker.
  bool Post(UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
    static const UINT marker = RegisterWindowMessageA("plimbar.probe.marker");
    ResetEvent(taken_);
    return PostMessageW(dialog_, msg, wp, lp) && PostMessageW(dialog_, marker, 0, 0) && Taken();
  }
  // Presses key with the modifiers held, as the keyboard does, then F24.
  bool Key(WORD key, int modifiers) {
    SetForegroundWindow(dialog_);
    if (!WaitUntil([&] { return GetForegroundWindow() == dialog_; })) return false;
    std::vector<INPUT> in;
    auto press = [&](WORD k, DWORD up) { in.push_back(INPUT{INPUT_KEYBOARD, {}}), in.back().ki = {k, 0, up, 0, 0}; };
    const WORD mods[] = {VK_CONTROL, VK_SHIFT, VK_MENU};
    for (int i = 0; i < 3; ++i)
      if (modifiers & (1 << i)) press(mods[i], 0);
    press(key, 0), press(key, KEYEVENTF_KEYUP);
    for (int i = 2; i >= 0; --i)
      if (modifiers & (1 << i)) press(mods[i], KEYEVENTF_KEYUP);
    press(VK_F24, 0), press(VK_F24, KEYEVENTF_KEYUP);
    ResetEvent(taken_);
    return SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT)) == in.size() && Taken();
  }
  // Drops files on the main dialog as the shell does (a DROPFILES block).
  bool Drop(const std::vector<std::string>& files) {
    std::wstring names;
    for (const std::string& f : files) names += Wide(f) + L'\0';
    names += L'\0';
    const DROPFILES df = {sizeof df, {10, 10}, FALSE, TRUE};
    std::string block(reinterpret_cast<const char*>(&df), sizeof df);
    block.append(reinterpret_cast<const char*>(names.data()), names.size() * sizeof(wchar_t));
    void* at = VirtualAllocEx(pi_.hProcess, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    return at != nullptr && WriteProcessMemory(pi_.hProcess, at, block.data(), block.size(), nullptr) &&
           Post(WM_DROPFILES, reinterpret_cast<WPARAM>(at));
  }
  // The Settings menu's marks (bit i: item 40009 + i) and ANSI code page; -1: the probe is silent.
  int Marks(UINT* acp = nullptr) {
    static const UINT query = RegisterWindowMessageA("plimbar.probe.marks");
    ResetEvent(taken_);
    if (!PostMessageW(dialog_, query, ++query_, 0) || !Taken()) return -1;
    const UINT_PTR v = reinterpret_cast<UINT_PTR>(GetPropA(dialog_, "plimbar.probe.marks"));
    if (acp != nullptr) *acp = static_cast<UINT>(reinterpret_cast<UINT_PTR>(GetPropA(dialog_, "plimbar.probe.acp")));
    return (v >> 9) == static_cast<UINT_PTR>(query_) && (v & 0x100) ? static_cast<int>(v & 0xFF) : -1;
  }
  // A visible top-level window of the program of class cls but skip (default: the dialog).
  HWND Other(const char* cls, DWORD ms = kWaitMs, HWND skip = nullptr) const {
    HWND found = nullptr;
    WaitUntil([&] {
      for (HWND h = FindWindowExA(nullptr, nullptr, cls, nullptr); h != nullptr && found == nullptr;
           h = FindWindowExA(nullptr, h, cls, nullptr)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        if (pid == pi_.dwProcessId && h != (skip != nullptr ? skip : dialog_) && IsWindowVisible(h)) found = h;
      }
      return found != nullptr;
    }, ms);
    return found;
  }
  bool WaitForExit(DWORD* code) {
    return WaitForSingleObject(pi_.hProcess, kWaitMs) == WAIT_OBJECT_0 && GetExitCodeProcess(pi_.hProcess, code);
  }
  bool Running() const { return pi_.hProcess != nullptr && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT; }

 private:
  bool Taken() { return WaitForSingleObject(taken_, kWaitMs) == WAIT_OBJECT_0 && Answers(); }
  PROCESS_INFORMATION pi_ = {};
  HWND dialog_ = nullptr;
  HANDLE taken_ = nullptr;
  HHOOK hook_ = nullptr;
  UINT_PTR query_ = 0;
};

// Runs exe with args in dir to its end: its exit code, or -1.
inline int RunConsole(const std::string& exe, const std::string& args, const std::string& dir) {
  App app;
  DWORD code = 1;
  return app.Spawn(exe, dir, args) && app.WaitForExit(&code) ? int(code) : -1;
}

}  // namespace e2e

#endif  // PLIMBAR_TESTS_E2E_APP_DRIVER_H
