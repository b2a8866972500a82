// The 69 controls of the main dialog as they are meant to be, written out
// once for the tests that check the template and the running dialog.
#ifndef PLIMBAR_TESTS_E2E_DIALOG_CONTROLS_H
#define PLIMBAR_TESTS_E2E_DIALOG_CONTROLS_H

#include <windows.h>

namespace {

// The controls of the main dialog in template order: class, id, caption,
// rectangle in dialog units, style beyond WS_CHILD | WS_VISIBLE.
struct ControlSpec {
  const char* cls;
  int id;
  const wchar_t* text;
  int x, y, w, h;
  DWORD style;
};

constexpr DWORD kCaption = SS_LEFT | SS_CENTERIMAGE | WS_GROUP;
constexpr DWORD kBar = SBS_HORZ | WS_TABSTOP;
constexpr DWORD kValue = SS_CENTER | SS_CENTERIMAGE | WS_GROUP;
constexpr DWORD kUnit = SS_LEFT | WS_GROUP;
constexpr DWORD kOsc = BS_PUSHBUTTON | WS_GROUP | WS_TABSTOP;

// Text null: a value display or the combo box, whose text the program
// changes.
const ControlSpec kControls[] = {
    {"Button", -1, L"", 10, 5, 360, 195, BS_GROUPBOX},
    {"Button", -1, L"音量", 15, 15, 255, 85, BS_GROUPBOX},
    {"Static", -1, L"音量", 25, 25, 35, 10, kCaption},
    {"ScrollBar", 1006, L"", 70, 25, 85, 10, kBar},
    {"Static", 1024, nullptr, 155, 25, 20, 10, kValue},
    {"Static", -1, L"%", 175, 25, 20, 10, kUnit},
    {"Static", -1, L"アタック時間", 25, 40, 40, 10, kCaption},
    {"ScrollBar", 1034, L"", 70, 40, 85, 10, kBar},
    {"Static", 1035, nullptr, 155, 40, 20, 10, kValue},
    {"Static", -1, L"%", 175, 40, 20, 10, kUnit},
    {"Static", -1, L"アタックカープ", 25, 55, 45, 10, kCaption},
    {"ScrollBar", 1036, L"", 70, 55, 85, 10, kBar},
    {"Static", 1037, nullptr, 155, 55, 20, 10, kValue},
    {"Static", -1, L"%", 175, 55, 20, 10, kUnit},
    {"Static", -1, L"減衰時間", 25, 71, 40, 10, kCaption},
    {"ScrollBar", 1012, L"", 70, 71, 85, 10, kBar},
    {"Static", 1033, nullptr, 155, 71, 20, 10, kValue},
    {"Static", -1, L"%", 175, 71, 20, 10, kUnit},
    {"Static", -1, L"減衰カーブ", 25, 85, 35, 10, kCaption},
    {"ScrollBar", 1005, L"", 70, 85, 85, 10, kBar},
    {"Static", 1027, nullptr, 155, 85, 20, 10, kValue},
    {"Static", -1, L"%", 175, 85, 20, 10, kUnit},
    {"Static", 1022, L"", 200, 25, 65, 70, SS_SUNKEN},
    {"Button", -1, L"音程", 15, 105, 255, 85, BS_GROUPBOX},
    {"Static", -1, L"初期周波数", 25, 120, 35, 10, kCaption},
    {"ScrollBar", 1000, L"", 70, 120, 85, 10, kBar},
    {"Static", 1019, nullptr, 155, 120, 20, 10, kValue},
    {"Static", -1, L"Hz", 180, 120, 20, 10, kUnit},
    {"Static", -1, L"ベンド", 25, 150, 30, 10, kCaption},
    {"ScrollBar", 1002, L"", 70, 150, 85, 10, kBar},
    {"Static", 1030, nullptr, 155, 150, 20, 10, kValue},
    {"Static", -1, L"Hz", 180, 150, 20, 10, kUnit},
    {"Static", -1, L"カーブ", 25, 165, 35, 10, kCaption},
    {"ScrollBar", 1008, L"", 70, 165, 85, 10, kBar},
    {"Static", 1031, nullptr, 155, 165, 20, 10, kValue},
    {"Static", -1, L"%", 180, 165, 20, 10, kUnit},
    {"Static", 1021, L"", 200, 115, 65, 70, SS_SUNKEN},
    {"Static", -1, L"音の長さ", 25, 205, 30, 10, kCaption},
    {"ScrollBar", 1001, L"", 65, 205, 85, 10, kBar},
    {"Static", 1020, nullptr, 150, 205, 20, 10, kValue},
    {"Static", -1, L"mSec", 175, 205, 20, 10, kUnit},
    {"Static", -1, L"", 315, 20, 5, 20, SS_BLACKRECT},
    {"Static", -1, L"", 345, 31, 5, 10, SS_BLACKRECT},
    {"Button", 1015, L"OSC1", 275, 40, 25, 25, kOsc},
    {"Button", 1026, L"OSC4", 305, 40, 25, 25, kOsc},
    {"Button", 1016, L"OSC7", 335, 40, 25, 25, kOsc},
    {"Button", 1023, L"OSC2", 275, 70, 25, 25, kOsc},
    {"Static", -1, L"", 285, 65, 5, 5, SS_BLACKRECT},
    {"Button", 1028, L"OSC5", 305, 70, 25, 25, kOsc},
    {"Static", -1, L"", 315, 65, 5, 5, SS_BLACKRECT},
    {"Button", 1017, L"OSC8", 335, 70, 25, 25, kOsc},
    {"Static", -1, L"", 345, 65, 5, 5, SS_BLACKRECT},
    {"Static", -1, L"", 285, 31, 5, 10, SS_BLACKRECT},
    {"Button", 1032, L"ミュート", 285, 160, 40, 15, BS_AUTOCHECKBOX | WS_TABSTOP},
    {"Button", 1025, L"OSC3", 275, 100, 25, 25, kOsc},
    {"Static", -1, L"", 285, 95, 5, 5, SS_BLACKRECT},
    {"Button", 1029, L"OSC6", 305, 100, 25, 25, kOsc},
    {"Static", -1, L"", 315, 95, 5, 5, SS_BLACKRECT},
    {"Static", -1, L"", 345, 95, 5, 5, SS_BLACKRECT},
    {"Button", 1018, L"OSC9", 335, 100, 25, 25, kOsc},
    {"Static", 1003, L"", 20, 225, 288, 60, SS_SUNKEN | WS_GROUP},
    {"Button", 2, L"終了", 320, 265, 50, 14, BS_PUSHBUTTON | WS_GROUP | WS_TABSTOP},
    {"Button", 1004, L"テスト", 320, 240, 50, 15, BS_DEFPUSHBUTTON | WS_TABSTOP},
    {"Static", -1, L"", 285, 31, 60, 5, SS_BLACKRECT},
    {"ComboBox", 1040, nullptr, 285, 135, 45, 60, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP},
    {"Static", -1, L"デチューン", 25, 135, 35, 10, kCaption},
    {"ScrollBar", 1007, L"", 70, 135, 85, 10, kBar},
    {"Static", 1038, nullptr, 155, 135, 20, 10, kValue},
    {"Static", -1, L"%", 180, 135, 20, 10, kUnit},
};

}  // namespace

#endif  // PLIMBAR_TESTS_E2E_DIALOG_CONTROLS_H
