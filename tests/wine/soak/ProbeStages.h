// The stages of the counter proof, shared by the soak program and its probe process: in each, the
// probe makes 64 objects counted by the named counter and then frees them.
#pragma once

namespace soak {

constexpr int kProbeObjects = 64;
// Each stage runs this many times; the first clean run counts.
constexpr int kProbeTries = 3;

constexpr const char* kProbeStages[] = {
    "handles",           "handles.Event",   "handles.Mutant",  "handles.Semaphore", "handles.Timer",
    "handles.Key",       "handles.File",    "handles.Section", "handles.Thread",    "handles.Process",
    "handles.Token",     "gdi",             "gdi.DC",          "gdi.Bitmap",        "gdi.Brush+Pen",
    "gdi.Font",          "gdi.Region",      "windows",         "threads",
};
constexpr int kProbeStageCount = sizeof(kProbeStages) / sizeof(kProbeStages[0]);

// Auto-reset events, named after the soak program's process id: the soak program sets "go", the
// probe answers each step with "done".
constexpr wchar_t kProbeGoFormat[] = L"Local\\QelvoSoakProbeGo%lu";
constexpr wchar_t kProbeDoneFormat[] = L"Local\\QelvoSoakProbeDone%lu";

} // namespace soak
