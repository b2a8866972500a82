// The Edit and Settings menus and the about box.
#include "ui/menu_commands.h"

#include "resources/resource.h"
#include "ui/app.h"
#include "ui/edit_history.h"
#include "ui/main_dialog.h"
#include "ui/panel.h"

namespace plimbar {

OscillatorClipboard g_oscClipboard = {};

void SetOutputRate(int rate) {
  g_engine.format.rate = rate;
  UpdateFormatChecks(g_mainDialog);
  RenderAndShow();
}

void SetOutputBits(int bits) {
  g_engine.format.bits = bits;
  UpdateFormatChecks(g_mainDialog);
  RenderAndShow();
}

void CopyOscillator() {
  const Patch& p = g_engine.patch;
  const int n = g_currentOsc;
  OscillatorClipboard& c = g_oscClipboard;
  c.filled = 1;
  c.Tune = p.Tune[n];
  c.DeTune = p.DeTune[n];
  c.Bend = p.Bend[n];
  c.BendCurve = p.BendCurve[n];
  c.Volume = p.Volume[n];
  c.Attack = p.Attack[n];
  c.AttackCurve = p.AttackCurve[n];
  c.Decay = p.Decay[n];
  c.DecayCurve = p.DecayCurve[n];
  c.Mute = p.Mute[n];
  c.WaveForm = p.WaveForm[n];
}

void PasteOscillator() {
  const OscillatorClipboard& c = g_oscClipboard;
  if (c.filled == 0) return;
  BeginEditStep();
  Patch& p = g_engine.patch;
  const int n = g_currentOsc;
  p.Tune[n] = c.Tune;
  p.DeTune[n] = c.DeTune;
  p.Bend[n] = c.Bend;
  p.BendCurve[n] = c.BendCurve;
  p.Volume[n] = c.Volume;
  p.Attack[n] = c.Attack;
  p.AttackCurve[n] = c.AttackCurve;
  p.Decay[n] = c.Decay;
  p.DecayCurve[n] = c.DecayCurve;
  p.Mute[n] = c.Mute;
  p.WaveForm[n] = c.WaveForm;
  MarkPending(g_engine, n);
  UpdateOscillator(g_mainDialog, n);
  EndEditStep(n, false);
}

void ShowAboutBox() {
  // The template's texts are Unicode; a Unicode box keeps the Japanese
  // caption whatever the ANSI code page, as the main dialog does.
  DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_ABOUT), g_mainDialog,
                  AboutDialogProc, 0);
}

INT_PTR CALLBACK AboutDialogProc(HWND box, UINT msg, WPARAM wp, LPARAM) {
  // Only "OK" and Enter (IDOK with notification 0) close the box; Esc and
  // the close box send IDCANCEL, which is ignored.
  if (msg == WM_COMMAND && wp == IDOK) {
    EndDialog(box, 0);
    return TRUE;
  }
  return FALSE;
}

}  // namespace plimbar
