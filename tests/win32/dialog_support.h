// Helpers shared by the tests that drive the real main dialog in-process.
#ifndef PLIMBAR_TESTS_WIN32_DIALOG_SUPPORT_H
#define PLIMBAR_TESTS_WIN32_DIALOG_SUPPORT_H

#include <windows.h>

#include <string>

#include "engine/engine.h"
#include "ui/app.h"

namespace plimbar {
namespace test {

// Pending flags as a string of nine digits, OSC1 first.
inline std::string Pending() {
  std::string s;
  for (int n = 0; n < kOscillators; ++n) s += g_engine.pending[n] ? '1' : '0';
  return s;
}

inline void ClearPending() {
  for (int& p : g_engine.pending) p = 0;
}

// The text of a control of the main dialog.
inline std::string Text(int id) {
  char buf[64] = "";
  GetDlgItemTextA(g_mainDialog, id, buf, sizeof buf);
  return buf;
}

}  // namespace test
}  // namespace plimbar

#endif  // PLIMBAR_TESTS_WIN32_DIALOG_SUPPORT_H
