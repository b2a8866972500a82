// The resources built into PlimbarMaker.exe, read from the file itself:
// the dialog template byte by byte, the menu, the strings, the icon and the
// version record, all in language 1041.
#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "e2e/dialog_controls.h"
#include "resources/resource.h"

namespace {

constexpr WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);  // 1041

// The version the build defines, as the resources show it.
std::wstring ProjectVersion() {
  const std::string v = PLIMBAR_PROJECT_VERSION;
  return std::wstring(v.begin(), v.end());
}

std::string ExePath() {
  std::string p = std::string("Z:") + PLIMBAR_EXE_UNIX_PATH;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

class Resources : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    module_ = LoadLibraryExA(ExePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  }
  static void TearDownTestSuite() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  void SetUp() override { ASSERT_NE(module_, nullptr) << ExePath(); }

  // The bytes of one resource in language 1041.
  static std::vector<uint8_t> Bytes(LPCWSTR type, int id) {
    HRSRC r = FindResourceExW(module_, type, MAKEINTRESOURCEW(id), kJapanese);
    if (r == nullptr) return {};
    const uint8_t* p = static_cast<const uint8_t*>(LockResource(LoadResource(module_, r)));
    return std::vector<uint8_t>(p, p + SizeofResource(module_, r));
  }

  static HMODULE module_;
};
HMODULE Resources::module_ = nullptr;

// A reader of the little-endian fields of a dialog template.
struct Reader {
  const std::vector<uint8_t>& b;
  size_t at = 0;
  WORD Word() {
    WORD v = static_cast<WORD>(b[at] | b[at + 1] << 8);
    at += 2;
    return v;
  }
  DWORD Dword() {
    DWORD lo = Word();
    return lo | static_cast<DWORD>(Word()) << 16;
  }
  short Short() { return static_cast<short>(Word()); }
  std::wstring String() {
    std::wstring s;
    for (WORD c = Word(); c != 0; c = Word()) s += static_cast<wchar_t>(c);
    return s;
  }
  // A name or an ordinal: "#n" for an ordinal.
  std::wstring NameOrOrdinal() {
    if (b[at] == 0xFF && b[at + 1] == 0xFF) {
      at += 2;
      return L"#" + std::to_wstring(Word());
    }
    return String();
  }
  void AlignDword() { at = (at + 3) & ~static_cast<size_t>(3); }
};

std::wstring ClassOrdinal(const char* cls) {
  const std::string c = cls;
  if (c == "Button") return L"#128";
  if (c == "Static") return L"#130";
  if (c == "ScrollBar") return L"#132";
  if (c == "ComboBox") return L"#133";
  return L"?";
}

TEST_F(Resources, MainDialogTemplate) {
  std::vector<uint8_t> b = Bytes(MAKEINTRESOURCEW(5), IDD_MAIN);
  ASSERT_FALSE(b.empty());
  Reader r{b};
  EXPECT_EQ(r.Word(), 1);       // extended template, version 1
  EXPECT_EQ(r.Word(), 0xFFFF);  // signature
  r.Dword();                    // help id
  EXPECT_EQ(r.Dword(), static_cast<DWORD>(WS_EX_CLIENTEDGE));
  EXPECT_EQ(r.Dword(), static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX |
                                          DS_CENTER | DS_3DLOOK | DS_SETFONT));
  const int count = r.Word();
  EXPECT_EQ(count, 69);
  EXPECT_EQ(r.Short(), 0);
  EXPECT_EQ(r.Short(), 0);
  EXPECT_EQ(r.Short(), 381);
  EXPECT_EQ(r.Short(), 292);
  EXPECT_EQ(r.NameOrOrdinal(), L"#104");  // menu
  EXPECT_EQ(r.NameOrOrdinal(), L"");      // no class of its own
  EXPECT_EQ(r.String(), L"PlimbarMaker");
  EXPECT_EQ(r.Word(), 9);    // points
  EXPECT_EQ(r.Word(), 400);  // normal weight
  EXPECT_EQ(b[r.at++], 0);   // not italic
  EXPECT_EQ(b[r.at++], DEFAULT_CHARSET);
  EXPECT_EQ(r.String(), L"ＭＳ Ｐゴシック");
  const std::wstring initial[][2] = {{L"1024", L"50"}, {L"1035", L"50"}, {L"1037", L"50"},
                                     {L"1033", L"50"}, {L"1027", L"50"}, {L"1019", L"440"},
                                     {L"1038", L"0"},  {L"1030", L"440"}, {L"1031", L"50"},
                                     {L"1020", L"50"}};
  for (int i = 0; i < count && i < 69; ++i) {
    const ControlSpec& s = kControls[i];
    r.AlignDword();
    r.Dword();  // help id
    EXPECT_EQ(r.Dword(), 0u) << "extended style, control " << i;
    EXPECT_EQ(r.Dword(), WS_CHILD | WS_VISIBLE | s.style) << "control " << i;
    EXPECT_EQ(r.Short(), s.x) << i;
    EXPECT_EQ(r.Short(), s.y) << i;
    EXPECT_EQ(r.Short(), s.w) << i;
    EXPECT_EQ(r.Short(), s.h) << i;
    EXPECT_EQ(static_cast<int>(r.Dword()), s.id) << i;
    // The class by its predefined ordinal or by its name, in any case.
    std::wstring cls = r.NameOrOrdinal();
    for (wchar_t& c : cls) c = static_cast<wchar_t>(towupper(c));
    std::string name = s.cls;
    for (char& c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(cls == ClassOrdinal(s.cls) || cls == std::wstring(name.begin(), name.end()))
        << "control " << i;
    const std::wstring text = r.NameOrOrdinal();
    if (s.text != nullptr) {
      EXPECT_EQ(text, s.text) << i;
    } else {
      std::wstring want = L"";
      for (const auto& pair : initial)
        if (pair[0] == std::to_wstring(s.id)) want = pair[1];
      EXPECT_EQ(text, want) << "initial text of " << s.id;
    }
    const WORD extra = r.Word();
    r.at += extra;
  }
}

TEST_F(Resources, AboutBoxTemplate) {
  std::vector<uint8_t> b = Bytes(MAKEINTRESOURCEW(5), IDD_ABOUT);
  ASSERT_FALSE(b.empty());
  Reader r{b};
  // A classic template: it starts with the style, not with version 1 and
  // the 0xFFFF signature.
  EXPECT_EQ(r.Dword(), static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME |
                                          DS_SETFONT));
  EXPECT_EQ(r.Dword(), 0u);  // extended style
  ASSERT_EQ(r.Word(), 3);    // controls
  EXPECT_EQ(r.Short(), 0);
  EXPECT_EQ(r.Short(), 0);
  EXPECT_EQ(r.Short(), 187);
  EXPECT_EQ(r.Short(), 65);
  EXPECT_EQ(r.NameOrOrdinal(), L"");  // no menu
  EXPECT_EQ(r.NameOrOrdinal(), L"");  // no class of its own
  EXPECT_EQ(r.String(), L"ﾊﾞｰｼﾞｮﾝ情報");
  EXPECT_EQ(r.Word(), 9);
  EXPECT_EQ(r.String(), L"ＭＳ Ｐゴシック");
  struct Item {
    DWORD style;
    short x, y, w, h;
    int id;
    const wchar_t* cls;
    const wchar_t* text;
  };
  const std::wstring aboutText = L"PlimbarMaker Version " + ProjectVersion();
  const Item items[3] = {
      {BS_DEFPUSHBUTTON | WS_TABSTOP, 65, 45, 50, 14, IDOK, L"#128", L"OK"},
      {SS_ICON, 10, 10, 20, 20, -1, L"#130", L"#103"},
      {SS_CENTER | WS_GROUP, 45, 10, 135, 25, -1, L"#130", aboutText.c_str()},
  };
  for (const Item& it : items) {
    r.AlignDword();
    EXPECT_EQ(r.Dword(), WS_CHILD | WS_VISIBLE | it.style) << it.text;
    EXPECT_EQ(r.Dword(), 0u);
    EXPECT_EQ(r.Short(), it.x);
    EXPECT_EQ(r.Short(), it.y);
    EXPECT_EQ(r.Short(), it.w);
    EXPECT_EQ(r.Short(), it.h);
    EXPECT_EQ(static_cast<short>(r.Word()), it.id);  // 16-bit ids here
    std::wstring cls = r.NameOrOrdinal();
    for (wchar_t& c : cls) c = static_cast<wchar_t>(towupper(c));
    EXPECT_TRUE(cls == it.cls || (cls == L"BUTTON" && std::wstring(it.cls) == L"#128") ||
                (cls == L"STATIC" && std::wstring(it.cls) == L"#130"))
        << it.text;
    EXPECT_EQ(r.NameOrOrdinal(), it.text);
    r.at += r.Word();
  }
  EXPECT_LE(r.at, b.size());
}

TEST_F(Resources, AcceleratorsCopyAndPaste) {
  std::vector<uint8_t> b = Bytes(MAKEINTRESOURCEW(9), IDR_ACCELERATORS);
  ASSERT_EQ(b.size(), 16u);  // two entries of 8 bytes
  Reader r{b};
  // Ctrl+C: virtual key, Ctrl; 40014.
  EXPECT_EQ(r.Word(), FVIRTKEY | FCONTROL);
  EXPECT_EQ(r.Word(), 'C');
  EXPECT_EQ(r.Word(), IDM_COPY);
  r.Word();
  // Ctrl+V, the last entry (0x80).
  EXPECT_EQ(r.Word(), FVIRTKEY | FCONTROL | 0x80);
  EXPECT_EQ(r.Word(), 'V');
  EXPECT_EQ(r.Word(), IDM_PASTE);
}

TEST_F(Resources, MenuHasFourPopupsAndNothingCheckedOrGreyed) {
  HMENU menu = LoadMenuW(module_, MAKEINTRESOURCEW(IDR_MAIN_MENU));
  ASSERT_NE(menu, nullptr);
  struct Item {
    int id;  // 0: separator
    const wchar_t* text;
  };
  const struct {
    const wchar_t* title;
    std::vector<Item> items;
  } popups[] = {
      {L"ﾌｧｲﾙ(&F)",
       {{40002, L"開く(&O)..."}, {40003, L"上書き保存(&S)"}, {40004, L"名前を付けて保存(&A)..."},
        {0, L""}, {40006, L"WAVを保存(&W)"}, {0, L""}, {40005, L"終了(&X)"}}},
      {L"編集(&E)", {{40014, L"コピー(&C)"}, {40015, L"貼り付け(&P)"}}},
      {L"設定(&O)",
       {{40009, L"44KHz"}, {40010, L"22KHz"}, {40011, L"11KHz"}, {0, L""}, {40012, L"16Bits"},
        {40013, L"8Bits"}}},
      {L"ﾍﾙﾌﾟ(&H)", {{40017, L"PlimbarMakerのヘルプ"}, {40007, L"ﾊﾞｰｼﾞｮﾝ情報(&A)"}}},
  };
  ASSERT_EQ(GetMenuItemCount(menu), 4);
  for (int p = 0; p < 4; ++p) {
    wchar_t buf[128];
    GetMenuStringW(menu, p, buf, 128, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(buf), popups[p].title);
    HMENU sub = GetSubMenu(menu, p);
    ASSERT_NE(sub, nullptr);
    ASSERT_EQ(GetMenuItemCount(sub), static_cast<int>(popups[p].items.size())) << p;
    for (size_t i = 0; i < popups[p].items.size(); ++i) {
      const Item& it = popups[p].items[i];
      const UINT state = GetMenuState(sub, static_cast<UINT>(i), MF_BYPOSITION);
      if (it.id == 0) {
        EXPECT_TRUE(state & MF_SEPARATOR) << p << "/" << i;
        continue;
      }
      EXPECT_EQ(GetMenuItemID(sub, static_cast<int>(i)), static_cast<UINT>(it.id));
      GetMenuStringW(sub, static_cast<UINT>(i), buf, 128, MF_BYPOSITION);
      EXPECT_EQ(std::wstring(buf), it.text);
      EXPECT_EQ(state & (MF_CHECKED | MF_GRAYED | MF_DISABLED), 0u) << it.id;
    }
  }
  DestroyMenu(menu);
}

TEST_F(Resources, WaveformNamesInTheStringTable) {
  const wchar_t* names[] = {L"正弦波", L"鋸歯波", L"矩形波", L"ノイズ"};
  for (int id = 1; id <= 4; ++id) {
    // The strings of ids 1..16 live in block 1 of the string table.
    std::vector<uint8_t> block = Bytes(MAKEINTRESOURCEW(6), 1);
    ASSERT_FALSE(block.empty());
    // Entry k (string id k) is a length, then that many characters.
    Reader w{block};
    std::wstring text;
    for (int k = 0; k <= id; ++k) {
      const WORD len = w.Word();
      std::wstring s;
      for (WORD c = 0; c < len; ++c) s += static_cast<wchar_t>(w.Word());
      if (k == id) text = s;
    }
    EXPECT_EQ(text, names[id - 1]) << id;
  }
}

TEST_F(Resources, IconIs32By32With16Colours) {
  std::vector<uint8_t> group = Bytes(MAKEINTRESOURCEW(14), IDI_APP);
  ASSERT_GE(group.size(), 6u + 14u);
  Reader r{group};
  EXPECT_EQ(r.Word(), 0);  // reserved
  EXPECT_EQ(r.Word(), 1);  // icons
  ASSERT_EQ(r.Word(), 1);  // one image
  EXPECT_EQ(group[6], 32);   // width
  EXPECT_EQ(group[7], 32);   // height
  EXPECT_EQ(group[8], 16);   // colours
  r.at = 6 + 4;
  EXPECT_EQ(r.Word(), 1);  // planes
  EXPECT_EQ(r.Word(), 4);  // bits per pixel
  r.Dword();
  const WORD imageId = r.Word();
  std::vector<uint8_t> image = Bytes(MAKEINTRESOURCEW(3), imageId);
  ASSERT_GE(image.size(), 40u);
  Reader h{image};
  EXPECT_EQ(h.Dword(), 40u);
  EXPECT_EQ(h.Dword(), 32u);
  EXPECT_EQ(h.Dword(), 64u);  // colour and mask
}

TEST_F(Resources, VersionSaysWhatTheProgramIs) {
  std::vector<uint8_t> info = Bytes(MAKEINTRESOURCEW(16), 1);
  ASSERT_FALSE(info.empty());
  UINT len = 0;
  void* value = nullptr;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\041104b0\\ProductName", &value, &len));
  EXPECT_EQ(std::wstring(static_cast<wchar_t*>(value)), L"PlimbarMaker");
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\041104b0\\ProductVersion", &value, &len));
  EXPECT_EQ(std::wstring(static_cast<wchar_t*>(value)), ProjectVersion());
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\041104b0\\FileVersion", &value, &len));
  EXPECT_EQ(std::wstring(static_cast<wchar_t*>(value)), ProjectVersion());
  VS_FIXEDFILEINFO* fixed = nullptr;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
  // "major.minor[.patch]" as the two numbers of the fixed record.
  unsigned major = 0, minor = 0, patch = 0;
  ASSERT_GE(std::swscanf(ProjectVersion().c_str(), L"%u.%u.%u", &major, &minor, &patch), 2);
  EXPECT_EQ(fixed->dwProductVersionMS, major << 16 | minor);
  EXPECT_EQ(fixed->dwProductVersionLS, patch << 16);
  EXPECT_EQ(fixed->dwFileVersionMS, major << 16 | minor);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
}

}  // namespace
