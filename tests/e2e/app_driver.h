// Drives the real PlimbarMaker.exe from a test program: starts it in a
// folder of its own, finds its windows, sends the messages a user's clicks
// and keys would produce, reads back texts, states and pixels. Every wait
// polls a condition against a deadline.
#ifndef PLIMBAR_TESTS_E2E_APP_DRIVER_H
#define PLIMBAR_TESTS_E2E_APP_DRIVER_H

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace plimbar_test {

constexpr DWORD kStartTimeoutMs = 30000;
constexpr DWORD kWaitTimeoutMs = 10000;

// A Unix path of the build as the Windows path Wine maps it to (drive Z:).
std::string WinPath(const std::string& unixPath);
// Folder for the runs and screenshots of these tests (made on demand).
std::string RunFolder(const std::string& name);
std::string ScreenshotFolder();

bool RemoveFolderContents(const std::string& dir);
bool WriteFile(const std::string& path, const std::string& text);
// The file's bytes, or "" when it cannot be read.
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);

// The running test's suite and name as a folder name ("Suite_Name", with
// no '.' or '/').
std::string TestName();

// s in lower case (ASCII letters): Windows paths and INI names compare so.
std::string Lower(std::string s);

// A WAV file taken apart: its format fields and the bytes of its data chunk.
struct Wav {
  bool ok = false;
  uint32_t channels = 0, rate = 0, bits = 0;
  std::string data;
};
Wav ParseWav(const std::string& bytes);

// Playback captured by an ALSA "file" device. True once the device that
// writes the file at path has been closed: the ALSA library then fills in
// the sizes of the header (36 and 0 while it is open).
bool CaptureClosed(const std::string& path);
// "" when played is want as the capture device received it: want's bytes
// in order, whole, with nothing changed, where Wine's sound driver may have
// put silent frames between them (it plays silence when its feeding thread
// falls behind on a loaded machine, rather than stop the device).
// Otherwise where the two part. bits is the depth of both (mono).
std::string PlayedDifference(const std::string& played, const std::string& want, int bits);
// The text of a .asoundrc that gives the programs started from then on one
// output device, whose sound lands in the Unix file captureUnix.
std::string CaptureDeviceConfig(const std::string& captureUnix);

// The help windows ("HH Parent") of the process that owns a window: how
// many, and the last one found.
struct HelpWindows {
  int count = 0;
  HWND last = nullptr;
};
HelpWindows FindHelpWindows(HWND ofProcess);

// Polls cond every few milliseconds until it holds or timeoutMs pass.
bool WaitUntil(const std::function<bool()>& cond, DWORD timeoutMs);

// 32-bit pixels 0x00RRGGBB, rows top to bottom.
struct Image {
  int w = 0;
  int h = 0;
  std::vector<uint32_t> px;
  uint32_t At(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
  bool operator==(const Image& o) const {
    return w == o.w && h == o.h && px == o.px;
  }
  bool operator!=(const Image& o) const { return !(*this == o); }
};

// The client area of a window as it is on the screen.
Image CaptureClient(HWND hwnd);
// Saves an image as a PNG file; false on failure.
bool SavePng(const Image& img, const std::string& path);

class App {
 public:
  App() = default;
  App(const App&) = delete;
  App& operator=(const App&) = delete;
  ~App();  // ends a program the test left running

  // Empties dir (unless keep), copies the program there, writes settings
  // (when not null) as PlimbarMaker.ini next to it, starts it with the
  // extra environment entries ("NAME=value") and waits for the main dialog.
  bool Start(const std::string& dir, const char* settings = nullptr,
             const std::vector<std::string>& env = {}, bool keep = false);
  // Starts the program at exe as it is, in the working folder workDir (as
  // a shortcut would), and waits for the main dialog.
  bool Launch(const std::string& exe, const std::string& workDir,
              const std::vector<std::string>& env = {});

  HWND dialog() const { return dialog_; }
  // The program's folder.
  const std::string& dir() const { return dir_; }
  std::string SettingsPath() const { return dir_ + "\\PlimbarMaker.ini"; }

  HWND Item(int id) const { return GetDlgItem(dialog_, id); }
  std::wstring Text(int id) const;
  static std::wstring WindowText(HWND hwnd);
  // A view window: "WaveWnd", "PitchWnd" or "VolWnd" inside its frame.
  HWND View(const char* cls, int frameId) const;

  // WM_COMMAND as a button or menu item sends it; waits until handled.
  void Command(int id, int notification = 0, HWND from = nullptr);
  // The same, posted: for commands that open a modal dialog.
  void PostCommand(int id);
  // WM_HSCROLL from a bar, as the bar sends it; waits until handled.
  void Scroll(int barId, int code, int position = 0);
  int ScrollPos(int barId) const;
  bool Pressed(int buttonId) const;
  bool Checked(int buttonId) const;
  int ComboSelection() const;
  std::wstring ComboText(int index) const;
  // MF_CHECKED state of a menu item, or -1 when it cannot be read.
  int MenuChecked(int id) const;

  // Waits until every message sent or posted so far, and the paints they
  // caused, have been handled.
  bool Settle();

  // A new top-level dialog of the program other than the main dialog, with
  // this caption when caption is not empty.
  HWND WaitForOtherDialog(DWORD timeoutMs = kWaitTimeoutMs);

  // The file-name field of a file dialog (the edit inside its combo box).
  static HWND FileNameEdit(HWND fileDialog);
  // Types name into the file-name field, key by key, as a user would.
  static void TypeFileName(HWND fileDialog, const std::string& name);
  // Presses the dialog's OK button ("開く" / "保存") and waits until the
  // dialog has gone.
  static bool ConfirmFileDialog(HWND fileDialog);
  static bool CancelFileDialog(HWND fileDialog);
  // The texts of the file-type list of a file dialog.
  static std::vector<std::wstring> FileTypes(HWND fileDialog);

  // Waits for the program to end; its exit code into *code.
  bool WaitForExit(DWORD timeoutMs, DWORD* code);
  bool Running() const;

 private:
  std::string dir_;
  PROCESS_INFORMATION pi_ = {};
  HWND dialog_ = nullptr;
};

}  // namespace plimbar_test

#endif  // PLIMBAR_TESTS_E2E_APP_DRIVER_H
