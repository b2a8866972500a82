// The step tables of tests/data/session/*.steps (their format is in every-kind.steps), read
// into steps that a runner carries out: in the editor natively, in the Windows program, in
// the page (which reads the same file in JavaScript).
#ifndef PLIMBAR_TESTS_SESSION_STEPS_H
#define PLIMBAR_TESTS_SESSION_STEPS_H

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace plimbar::test {

struct SessionStep {
  std::string action;  // osc scroll mute wave copy paste undo redo render test rate bits export
  int bar = -1;        // scroll: the ParamBar, in the editor's order
  int code = 0;        // scroll: the scroll code (the Windows values)
  int value = 0;       // osc 1..9; scroll position; mute 1/0; wave; rate; bits
  std::string name;    // export
  int line = 0;
};

inline constexpr const char* kStepBars[] = {"Tune",   "DeTune",      "Bend",  "BendCurve",  "Volume",
                                            "Attack", "AttackCurve", "Decay", "DecayCurve", "Time"};
inline constexpr const char* kStepCodes[] = {"LineLeft",      "LineRight",  "PageLeft", "PageRight", "ThumbPosition",
                                             "ThumbTrack",    "Top",        "Bottom",   "EndScroll"};

inline int IndexOf(const char* const* names, int n, const std::string& word) {
  for (int i = 0; i < n; ++i)
    if (word == names[i]) return i;
  return -1;
}

// The steps of a table; a line it cannot read is an error (the line, in `error`).
inline std::vector<SessionStep> ReadSteps(const std::string& text, std::string* error) {
  std::vector<SessionStep> steps;
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    std::istringstream in(line);
    SessionStep s;
    s.line = number;
    if (!(in >> s.action) || s.action[0] == '#') continue;
    std::string a, b;
    bool ok = true;
    if (s.action == "scroll") {
      in >> a >> b;
      s.bar = IndexOf(kStepBars, 10, a);
      s.code = IndexOf(kStepCodes, 9, b);
      if (!(in >> s.value)) s.value = 0;
      ok = s.bar >= 0 && s.code >= 0 && s.value >= 0 && s.value <= 65535;  // what a message carries
    } else if (s.action == "mute") {
      ok = static_cast<bool>(in >> a) && (a == "on" || a == "off");
      s.value = a == "on";
    } else if (s.action == "osc" || s.action == "wave" || s.action == "rate" || s.action == "bits") {
      ok = static_cast<bool>(in >> s.value);
    } else if (s.action == "export") {
      ok = static_cast<bool>(in >> s.name);
    } else {
      ok = s.action == "copy" || s.action == "paste" || s.action == "undo" || s.action == "redo" ||
           s.action == "render" || s.action == "test";
    }
    if (!ok) {
      if (error != nullptr) *error = "line " + std::to_string(number) + ": " + line;
      return {};
    }
    steps.push_back(s);
  }
  return steps;
}

}  // namespace plimbar::test

#endif  // PLIMBAR_TESTS_SESSION_STEPS_H
