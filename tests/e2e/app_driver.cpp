#include "app_driver.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "png_file.h"

#ifndef PLIMBAR_E2E_EXE
#error "PLIMBAR_E2E_EXE: Unix path of PlimbarMaker.exe"
#endif
#ifndef PLIMBAR_E2E_WORK
#error "PLIMBAR_E2E_WORK: Unix path of the folder for runs and screenshots"
#endif

namespace plimbar_test {

std::string WinPath(const std::string& unixPath) {
  std::string p = "Z:" + unixPath;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

std::string RunFolder(const std::string& name) {
  std::string root = WinPath(PLIMBAR_E2E_WORK);
  CreateDirectoryA(root.c_str(), nullptr);
  std::string runs = root + "\\runs";
  CreateDirectoryA(runs.c_str(), nullptr);
  std::string dir = runs + "\\" + name;
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

std::string ScreenshotFolder() {
  std::string root = WinPath(PLIMBAR_E2E_WORK);
  CreateDirectoryA(root.c_str(), nullptr);
  std::string dir = root + "\\screenshots";
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

bool RemoveFolderContents(const std::string& dir) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return true;
  bool ok = true;
  do {
    std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    std::string path = dir + "\\" + name;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ok = RemoveFolderContents(path) && RemoveDirectoryA(path.c_str()) && ok;
    } else {
      ok = DeleteFileA(path.c_str()) && ok;
    }
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  return ok;
}

bool WriteFile(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

std::string ReadFile(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return "";
  std::string s;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  std::fclose(f);
  return s;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string TestName() {
  const auto* info = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name)
    if (c == '/' || c == '.') c = '_';
  return name;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

namespace {

uint32_t Le32(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}
uint32_t Le16(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8;
}

}  // namespace

Wav ParseWav(const std::string& b) {
  Wav w;
  if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0)
    return w;
  bool fmt = false;
  for (size_t at = 12; at + 8 <= b.size();) {
    const std::string id = b.substr(at, 4);
    const uint32_t size = Le32(b, at + 4);
    const size_t body = at + 8;
    if (id == "fmt " && size >= 16 && body + 16 <= b.size()) {
      w.channels = Le16(b, body + 2);
      w.rate = Le32(b, body + 4);
      w.bits = Le16(b, body + 14);
      fmt = true;
    } else if (id == "data") {
      if (body + size > b.size()) return w;
      w.data = b.substr(body, size);
      w.ok = fmt;
      return w;
    }
    at = body + size + (size & 1);
  }
  return w;
}

std::string PlayedDifference(const std::string& played, const std::string& want, int bits) {
  const size_t frame = bits == 16 ? 2 : 1;
  const std::string silence = bits == 16 ? std::string(2, '\0') : std::string(1, '\x80');
  // Each frame of played either is want's next frame or was put in as
  // silence. Taking the match whenever there is one is never worse than
  // skipping: a silent frame matched early could have been skipped instead.
  size_t p = 0, w = 0, inserted = 0;
  while (w < want.size() && p + frame <= played.size()) {
    if (played.compare(p, frame, want, w, frame) == 0) {
      w += frame;
    } else if (played.compare(p, frame, silence) == 0) {
      ++inserted;
    } else {
      break;
    }
    p += frame;
  }
  for (; p + frame <= played.size() && played.compare(p, frame, silence) == 0; p += frame)
    ++inserted;
  if (w >= want.size() && p == played.size()) {
    if (inserted > 0)
      std::printf("note: the capture holds %zu silent frames between the sound's frames\n",
                  inserted);
    return "";
  }
  return "played " + std::to_string(played.size()) + " bytes, want " +
         std::to_string(want.size()) + "; want's byte " + std::to_string(w) +
         " is not found at played byte " + std::to_string(p) + " (" +
         std::to_string(inserted) + " silent frames skipped before it)";
}

bool CaptureClosed(const std::string& path) {
  const std::string b = ReadFile(path);
  return b.size() >= 44 && Le32(b, 4) != 36;
}

std::string CaptureDeviceConfig(const std::string& captureUnix) {
  return "pcm.!default { type file; slave.pcm \"null\"; file \"" + captureUnix +
         "\"; format \"wav\" }\n";
}

namespace {

struct HelpSearch {
  DWORD pid;
  HelpWindows found;
};

BOOL CALLBACK CountHelpWindows(HWND hwnd, LPARAM lp) {
  HelpSearch* h = reinterpret_cast<HelpSearch*>(lp);
  char cls[64] = "";
  GetClassNameA(hwnd, cls, sizeof cls);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == h->pid && std::string(cls) == "HH Parent") {
    ++h->found.count;
    h->found.last = hwnd;
  }
  return TRUE;
}

}  // namespace

HelpWindows FindHelpWindows(HWND ofProcess) {
  HelpSearch h = {0, {}};
  GetWindowThreadProcessId(ofProcess, &h.pid);
  EnumWindows(CountHelpWindows, reinterpret_cast<LPARAM>(&h));
  return h.found;
}

bool WaitUntil(const std::function<bool()>& cond, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (cond()) return true;
    if (GetTickCount() - start >= timeoutMs) return cond();
    // Wait a little, waking early for anything sent to this thread.
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 15, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
}

Image CaptureClient(HWND hwnd) {
  Image img;
  RECT rc;
  if (!GetClientRect(hwnd, &rc)) return img;
  POINT origin = {0, 0};
  ClientToScreen(hwnd, &origin);
  img.w = rc.right;
  img.h = rc.bottom;
  if (img.w <= 0 || img.h <= 0) return img;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = img.w;
  bi.bmiHeader.biHeight = -img.h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, img.w, img.h, screen, origin.x, origin.y, SRCCOPY);
  GdiFlush();
  const uint32_t* p = static_cast<const uint32_t*>(bits);
  img.px.assign(p, p + static_cast<size_t>(img.w) * img.h);
  for (uint32_t& v : img.px) v &= 0x00FFFFFF;
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return img;
}

bool SavePng(const Image& img, const std::string& path) {
  std::vector<uint8_t> rgb;
  rgb.reserve(img.px.size() * 3);
  for (uint32_t v : img.px) {
    rgb.push_back(static_cast<uint8_t>(v >> 16));
    rgb.push_back(static_cast<uint8_t>(v >> 8));
    rgb.push_back(static_cast<uint8_t>(v));
  }
  return WritePng(path, img.w, img.h, rgb);
}

App::~App() {
  if (pi_.hProcess != nullptr) {
    if (Running()) {
      TerminateProcess(pi_.hProcess, 99);
      WaitForSingleObject(pi_.hProcess, 5000);
    }
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
  }
}

namespace {

struct FindData {
  DWORD pid;
  HWND exclude;
  HWND found;
};

BOOL CALLBACK FindDialogOf(HWND hwnd, LPARAM lp) {
  FindData* d = reinterpret_cast<FindData*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != d->pid || hwnd == d->exclude || !IsWindowVisible(hwnd)) return TRUE;
  char cls[64] = "";
  GetClassNameA(hwnd, cls, sizeof cls);
  if (std::string(cls) != "#32770") return TRUE;
  d->found = hwnd;
  return FALSE;
}

// An environment block of this process's variables plus extra ones.
std::vector<char> EnvironmentWith(const std::vector<std::string>& extra) {
  std::vector<char> block;
  char* env = GetEnvironmentStringsA();
  for (const char* p = env; *p != '\0'; p += std::strlen(p) + 1) {
    std::string entry = p;
    bool replaced = false;
    for (const std::string& e : extra) {
      size_t eq = e.find('=');
      if (entry.compare(0, eq + 1, e, 0, eq + 1) == 0) replaced = true;
    }
    if (!replaced) block.insert(block.end(), entry.begin(), entry.end());
    if (!replaced) block.push_back('\0');
  }
  FreeEnvironmentStringsA(env);
  for (const std::string& e : extra) {
    block.insert(block.end(), e.begin(), e.end());
    block.push_back('\0');
  }
  block.push_back('\0');
  return block;
}

}  // namespace

bool App::Start(const std::string& dir, const char* settings,
                const std::vector<std::string>& env, bool keep) {
  dir_ = dir;
  CreateDirectoryA(dir.c_str(), nullptr);
  if (!keep && !RemoveFolderContents(dir)) return false;
  const std::string exe = dir + "\\PlimbarMaker.exe";
  if (!CopyFileA(WinPath(PLIMBAR_E2E_EXE).c_str(), exe.c_str(), FALSE))
    return false;
  if (settings != nullptr && !WriteFile(SettingsPath(), settings)) return false;
  return Launch(exe, dir, env);
}

bool App::Launch(const std::string& exe, const std::string& workDir,
                 const std::vector<std::string>& env) {
  dir_ = exe.substr(0, exe.find_last_of('\\'));
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  std::string cmd = "\"" + exe + "\"";
  std::vector<char> block;
  if (!env.empty()) block = EnvironmentWith(env);
  if (!CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0,
                      block.empty() ? nullptr : block.data(), workDir.c_str(),
                      &si, &pi_))
    return false;
  WaitForInputIdle(pi_.hProcess, kStartTimeoutMs);
  FindData d = {pi_.dwProcessId, nullptr, nullptr};
  WaitUntil(
      [&] {
        d.found = nullptr;
        EnumWindows(FindDialogOf, reinterpret_cast<LPARAM>(&d));
        return d.found != nullptr;
      },
      kStartTimeoutMs);
  dialog_ = d.found;
  if (dialog_ == nullptr) return false;
  return Settle();
}

std::wstring App::WindowText(HWND hwnd) {
  // WM_GETTEXT itself: an edit control keeps its text where only the
  // message reaches it.
  wchar_t buf[512] = L"";
  DWORD_PTR r = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buf),
                      SMTO_NORMAL, kWaitTimeoutMs, &r);
  buf[511] = L'\0';
  return buf;
}

std::wstring App::Text(int id) const { return WindowText(Item(id)); }

HWND App::View(const char* cls, int frameId) const {
  return FindWindowExA(Item(frameId), nullptr, cls, nullptr);
}

void App::Command(int id, int notification, HWND from) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(dialog_, WM_COMMAND, MAKEWPARAM(id, notification),
                      reinterpret_cast<LPARAM>(from), SMTO_NORMAL,
                      kWaitTimeoutMs, &result);
}

void App::PostCommand(int id) {
  PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

void App::Scroll(int barId, int code, int position) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(dialog_, WM_HSCROLL, MAKEWPARAM(code, position),
                      reinterpret_cast<LPARAM>(Item(barId)), SMTO_NORMAL,
                      kWaitTimeoutMs, &result);
}

int App::ScrollPos(int barId) const {
  return static_cast<int>(SendMessageW(Item(barId), SBM_GETPOS, 0, 0));
}

bool App::Pressed(int buttonId) const {
  return (SendMessageW(Item(buttonId), BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
}

bool App::Checked(int buttonId) const {
  return SendMessageW(Item(buttonId), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

int App::ComboSelection() const {
  return static_cast<int>(SendMessageW(Item(1040), CB_GETCURSEL, 0, 0));
}

std::wstring App::ComboText(int index) const {
  wchar_t buf[64] = L"";
  LRESULT n = SendMessageW(Item(1040), CB_GETLBTEXTLEN, index, 0);
  if (n < 0 || n >= 64) return L"<bad length>";
  SendMessageW(Item(1040), CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(buf));
  return buf;
}

int App::MenuChecked(int id) const {
  HMENU menu = GetMenu(dialog_);
  if (menu == nullptr) return -1;
  UINT state = GetMenuState(menu, id, MF_BYCOMMAND);
  if (state == static_cast<UINT>(-1)) return -1;
  return (state & MF_CHECKED) ? 1 : 0;
}

bool App::Settle() {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(dialog_, WM_NULL, 0, 0, SMTO_NORMAL, kWaitTimeoutMs,
                           &result))
    return false;
  // Paint whatever is waiting to be painted, now.
  RedrawWindow(dialog_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  return SendMessageTimeoutW(dialog_, WM_NULL, 0, 0, SMTO_NORMAL,
                             kWaitTimeoutMs, &result) != 0;
}

HWND App::WaitForOtherDialog(DWORD timeoutMs) {
  FindData d = {pi_.dwProcessId, dialog_, nullptr};
  WaitUntil(
      [&] {
        d.found = nullptr;
        EnumWindows(FindDialogOf, reinterpret_cast<LPARAM>(&d));
        return d.found != nullptr;
      },
      timeoutMs);
  return d.found;
}

HWND App::FileNameEdit(HWND fileDialog) {
  HWND ex = FindWindowExA(fileDialog, nullptr, "ComboBoxEx32", nullptr);
  HWND combo = ex != nullptr ? FindWindowExA(ex, nullptr, "ComboBox", nullptr)
                             : FindWindowExA(fileDialog, nullptr, "ComboBox", nullptr);
  HWND edit = combo != nullptr ? FindWindowExA(combo, nullptr, "Edit", nullptr) : nullptr;
  if (edit == nullptr) edit = FindWindowExA(fileDialog, nullptr, "Edit", nullptr);
  return edit;
}

void App::TypeFileName(HWND fileDialog, const std::string& name) {
  HWND edit = FileNameEdit(fileDialog);
  DWORD_PTR r = 0;
  // Select what the field holds, so the first key replaces it.
  SendMessageTimeoutW(edit, EM_SETSEL, 0, -1, SMTO_NORMAL, kWaitTimeoutMs, &r);
  SendMessageTimeoutW(edit, WM_CLEAR, 0, 0, SMTO_NORMAL, kWaitTimeoutMs, &r);
  for (unsigned char c : name)
    SendMessageTimeoutW(edit, WM_CHAR, c, 1, SMTO_NORMAL, kWaitTimeoutMs, &r);
}

bool App::ConfirmFileDialog(HWND fileDialog) {
  HWND ok = nullptr;
  for (HWND b = FindWindowExA(fileDialog, nullptr, "Button", nullptr); b != nullptr;
       b = FindWindowExA(fileDialog, b, "Button", nullptr))
    if (GetDlgCtrlID(b) == IDOK) ok = b;
  PostMessageW(fileDialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(ok));
  return WaitUntil([&] { return !IsWindow(fileDialog); }, kWaitTimeoutMs);
}

bool App::CancelFileDialog(HWND fileDialog) {
  PostMessageW(fileDialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(fileDialog, IDCANCEL)));
  return WaitUntil([&] { return !IsWindow(fileDialog); }, kWaitTimeoutMs);
}

std::vector<std::wstring> App::FileTypes(HWND fileDialog) {
  std::vector<std::wstring> out;
  HWND combo = GetDlgItem(fileDialog, 1136);  // the file-type list
  LRESULT n = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < n && i < 16; ++i) {
    wchar_t buf[128] = L"";
    if (SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) < 128)
      SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buf));
    out.push_back(buf);
  }
  return out;
}

bool App::WaitForExit(DWORD timeoutMs, DWORD* code) {
  if (WaitForSingleObject(pi_.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
  DWORD c = 0;
  GetExitCodeProcess(pi_.hProcess, &c);
  if (code != nullptr) *code = c;
  return true;
}

bool App::Running() const {
  return pi_.hProcess != nullptr &&
         WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT;
}

}  // namespace plimbar_test
