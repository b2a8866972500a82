// The release package as a user meets it, run by run_from_zip.py inside a
// fresh Wine prefix into which it has unpacked the zip: the program is
// started from another working folder (as a shortcut starts it), opens an
// example patch through the Open dialog, plays it, saves it as a WAV file,
// opens the help and exits. The command-line renderer of the package
// renders the same patch to the same bytes. run_from_zip.py then checks
// that nothing was written outside the files these steps name.
//
// Environment, all Windows paths except the capture:
//   PLIMBAR_PACKAGE_DIR      the unpacked folder (PlimbarMaker.exe, ...)
//   PLIMBAR_PACKAGE_START    the working folder the program is started in
//   PLIMBAR_PACKAGE_OUT      a folder for the renderer's WAV file
//   PLIMBAR_PACKAGE_VERSION  the version the build defines
//   PLIMBAR_PACKAGE_CAPTURE  the Unix path the capture device writes to
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "e2e/app_driver.h"
#include "resources/resource.h"

using namespace plimbar_test;

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "";
}

// A value of a version record's string table (language 1041, Unicode).
std::wstring VersionString(const std::string& file, const wchar_t* name) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
  if (size == 0) return L"<no version record>";
  std::vector<char> info(size);
  if (!GetFileVersionInfoA(file.c_str(), 0, size, info.data())) return L"<unreadable>";
  void* value = nullptr;
  UINT len = 0;
  const std::wstring path = std::wstring(L"\\StringFileInfo\\041104b0\\") + name;
  if (!VerQueryValueW(info.data(), path.c_str(), &value, &len)) return L"<missing>";
  return static_cast<wchar_t*>(value);
}

// Runs a console program, waits for it, and returns what it wrote to its
// standard output; its exit code into *code.
std::string RunConsole(const std::string& exe, const std::string& args,
                       const std::string& workDir, DWORD* code) {
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &sa, 0)) return "<no pipe>";
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = write;
  si.hStdError = write;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi = {};
  std::string cmd = "\"" + exe + "\" " + args;
  const BOOL started = CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, workDir.c_str(), &si, &pi);
  CloseHandle(write);
  std::string out;
  if (started) {
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(read, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
    WaitForSingleObject(pi.hProcess, kWaitTimeoutMs);
    GetExitCodeProcess(pi.hProcess, code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  } else {
    out = "<could not start " + exe + ">";
  }
  CloseHandle(read);
  return out;
}

int PatchValue(const std::string& patch, const char* key, int fallback) {
  return static_cast<int>(GetPrivateProfileIntA("Setting", key, fallback, patch.c_str()));
}

std::string SettingsValue(const std::string& ini, const char* section, const char* key) {
  char buf[MAX_PATH] = "";
  GetPrivateProfileStringA(section, key, "<none>", buf, sizeof buf, ini.c_str());
  return buf;
}

TEST(Package, UnpackedProgramOpensPlaysSavesHelpsAndExits) {
  const std::string dir = Env("PLIMBAR_PACKAGE_DIR");
  const std::string start = Env("PLIMBAR_PACKAGE_START");
  const std::string out = Env("PLIMBAR_PACKAGE_OUT");
  const std::string version = Env("PLIMBAR_PACKAGE_VERSION");
  const std::string capture = WinPath(Env("PLIMBAR_PACKAGE_CAPTURE"));
  ASSERT_FALSE(dir.empty() || start.empty() || out.empty() || version.empty())
      << "run this test through run_from_zip.py";
  const std::string exe = dir + "\\PlimbarMaker.exe";
  const std::string render = dir + "\\plimbar-render.exe";
  const std::string examples = dir + "\\examples";
  const std::string patch = examples + "\\kick.plb";
  const std::wstring wversion(version.begin(), version.end());

  // One version everywhere: both version records and the renderer's
  // --version.
  EXPECT_EQ(VersionString(exe, L"ProductVersion"), wversion);
  EXPECT_EQ(VersionString(exe, L"FileVersion"), wversion);
  EXPECT_EQ(VersionString(render, L"ProductVersion"), wversion);
  EXPECT_EQ(VersionString(render, L"OriginalFilename"), L"plimbar-render.exe");
  DWORD code = 99;
  std::string said = RunConsole(render, "--version", start, &code);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(said.substr(0, said.find_last_not_of("\r\n") + 1), "plimbar-render " + version);

  App app;
  ASSERT_TRUE(app.Launch(exe, start)) << exe;

  // Open kick.plb through the Open dialog, typed as a user would.
  app.PostCommand(IDM_OPEN);
  HWND dlg = app.WaitForOtherDialog();
  ASSERT_NE(dlg, nullptr) << "no Open dialog";
  App::TypeFileName(dlg, patch);
  ASSERT_TRUE(App::ConfirmFileDialog(dlg));
  app.Settle();
  // The panel shows OSC1 of the patch, as the file holds it.
  EXPECT_EQ(app.ScrollPos(IDC_TIME_BAR), PatchValue(patch, "Time", -1));
  EXPECT_EQ(app.ScrollPos(IDC_TUNE_BAR), PatchValue(patch, "Tune1", -1));
  EXPECT_EQ(app.ScrollPos(IDC_VOLUME_BAR), PatchValue(patch, "Volume1", -1));

  // Play it.
  app.Command(IDC_TEST);
  ASSERT_TRUE(WaitUntil([&] { return CaptureClosed(capture); }, kWaitTimeoutMs))
      << "nothing played into " << capture;

  // Save it as a WAV file: the dialog proposes kick.wav in the patch's
  // folder; the user just presses "保存".
  app.PostCommand(IDM_SAVE_WAV);
  dlg = app.WaitForOtherDialog();
  ASSERT_NE(dlg, nullptr) << "no Save dialog";
  ASSERT_TRUE(App::ConfirmFileDialog(dlg));
  app.Settle();
  const std::string wavPath = examples + "\\kick.wav";
  const std::string wavBytes = ReadFile(wavPath);
  const Wav wav = ParseWav(wavBytes);
  ASSERT_TRUE(wav.ok) << wavPath;
  EXPECT_EQ(wav.rate, 44100u);
  EXPECT_EQ(wav.bits, 16u);
  // 882 samples of 2 bytes per 20 ms step of Time.
  EXPECT_EQ(wav.data.size(), 1764u * PatchValue(patch, "Time", 0));
  EXPECT_NE(wav.data.find_first_not_of('\0'), std::string::npos) << "silence";
  // What played is what was saved.
  const Wav played = ParseWav(ReadFile(capture));
  ASSERT_TRUE(played.ok);
  EXPECT_EQ(played.rate, 44100u);
  EXPECT_EQ(PlayedDifference(played.data, wav.data, 16), "")
      << "the played sound is not the saved one";

  // The package's renderer makes the same file from the same patch.
  const std::string rendered = out + "\\kick-cli.wav";
  said = RunConsole(render, "-o \"" + rendered + "\" examples\\kick.plb", dir, &code);
  EXPECT_EQ(code, 0u) << said;
  EXPECT_TRUE(ReadFile(rendered) == wavBytes) << said;

  // Wildcards, as the command prompt passes them on: every matching patch
  // is rendered next to itself.
  for (const char* name : {"kick.plb", "tom.plb"})
    ASSERT_TRUE(CopyFileA((examples + "\\" + name).c_str(), (out + "\\" + name).c_str(), FALSE));
  said = RunConsole(render, "*.plb", out, &code);
  EXPECT_EQ(code, 0u) << said;
  EXPECT_TRUE(ReadFile(out + "\\kick.wav") == wavBytes) << said;
  EXPECT_TRUE(ParseWav(ReadFile(out + "\\tom.wav")).ok) << said;

  // Help opens from the program's folder, whatever the working folder.
  app.PostCommand(IDM_HELP);
  ASSERT_TRUE(WaitUntil([&] { return FindHelpWindows(app.dialog()).count > 0; },
                        kWaitTimeoutMs))
      << "no help window";
  const std::wstring title = App::WindowText(FindHelpWindows(app.dialog()).last);
  EXPECT_NE(title.find(L"PlimbarMaker"), std::wstring::npos);

  // Exit through the menu.
  app.PostCommand(IDM_EXIT);
  ASSERT_TRUE(app.WaitForExit(30000, &code));
  EXPECT_EQ(code, 0u);

  // The settings landed next to the program, not in the working folder.
  const std::string ini = dir + "\\PlimbarMaker.ini";
  ASSERT_TRUE(FileExists(ini));
  EXPECT_FALSE(FileExists(start + "\\PlimbarMaker.ini"));
  EXPECT_EQ(SettingsValue(ini, "format", "freq"), "44100");
  EXPECT_EQ(SettingsValue(ini, "format", "bits"), "16");
  EXPECT_EQ(Lower(SettingsValue(ini, "setting", "dir")), Lower(examples));
  EXPECT_EQ(SettingsValue(ini, "Setting", "Tune1"), std::to_string(PatchValue(patch, "Tune1", -1)));
}

}  // namespace
