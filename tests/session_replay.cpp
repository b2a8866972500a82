// session_replay STEPS OUTDIR: a step table (tests/data/session/) carried out by the editor, as
// the program would from its start with no settings file; each export written to
// OUTDIR/NAME.wav. What the Windows program and the page export after the same steps must be
// these files (scripts/test.sh compares them).
// session_replay --list STEPS: the steps as read, a JSON object a line (the page's tests read them).
#include <cstdio>
#include <cstring>
#include <string>

#include "editor/session.h"
#include "tests/session_steps.h"
#include "tests/test_support.h"

using namespace plimbar;

int main(int argc, char** argv) {
  const bool list = argc == 3 && std::strcmp(argv[1], "--list") == 0;
  if (argc != 3) {
    std::fprintf(stderr, "usage: session_replay STEPS OUTDIR | session_replay --list STEPS\n");
    return 2;
  }
  std::string error;
  const char* table = argv[list ? 2 : 1];
  const auto steps = test::ReadSteps(test::ReadText(table), &error);
  if (steps.empty()) {
    std::fprintf(stderr, "session_replay: %s: %s\n", table, error.empty() ? "no steps" : error.c_str());
    return 1;
  }
  if (list) {
    for (const test::SessionStep& t : steps)  // names are words: no escapes
      std::printf("{\"action\": \"%s\", \"bar\": %d, \"code\": %d, \"value\": %d, \"name\": \"%s\", \"line\": %d}\n",
                  t.action.c_str(), t.bar, t.code, t.value, t.name.c_str(), t.line);
    return 0;
  }
  auto s = NewSession();
  StartSession(*s, kPortableIni, "");
  for (const test::SessionStep& step : steps) {
    const std::string& a = step.action;
    if (a == "osc") SelectOscillator(*s, step.value - 1);
    else if (a == "scroll") Scroll(*s, step.bar, step.code, step.value);
    else if (a == "mute") SetMute(*s, step.value != 0);
    else if (a == "wave") ChooseWaveForm(*s, step.value);
    else if (a == "copy") CopyOscillator(*s);
    else if (a == "paste") PasteOscillator(*s);
    else if (a == "undo") Undo(*s);
    else if (a == "redo") Redo(*s);
    else if (a == "render") RenderNow(*s);
    else if (a == "rate") SetRate(*s, step.value);
    else if (a == "bits") SetBits(*s, step.value);
    else if (a == "test" && BeginPlayback(*s, nullptr)) EndPlayback(*s);
    else if (a == "export" && !ExportConfirmed(*s, (std::string(argv[2]) + "/" + step.name).c_str())) {
      std::fprintf(stderr, "session_replay: cannot write %s/%s.wav\n", argv[2], step.name.c_str());
      return 1;
    }
  }
  return 0;
}
