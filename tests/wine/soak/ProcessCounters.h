// Counters of another process as Wine 8 can give them: kernel handles by type (the system's handle
// list), GDI objects by kind (the process's GDI handle table, read from its memory), windows
// (top-level, child and message-only) and threads (a Toolhelp snapshot). GetGuiResources and the
// handle count of a process are stubs under Wine 8, so no counter is taken on trust: Prove makes a
// probe process create and free 64 objects of each kind and keeps only the counters that saw it.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace soak {

using Counts = std::map<std::string, long long>;

// Counter names in table order: "handles", "handles.Event", ..., "gdi", "gdi.DC", ..., "windows",
// "threads".
const std::vector<std::string>& CounterNames();

// All counters of process `pid` at this moment; false (with `why`) when one could not be read.
bool Count(DWORD pid, Counts* counts, std::string* why);

// What the probe showed for each counter: the rise after it made 64 objects of the counter's kind,
// and the change once it freed them again.
struct ProofRow {
    long long rise = 0;
    long long afterFree = 0;
    bool measurable = false;
};
using Proof = std::map<std::string, ProofRow>;

// Runs `probePath` (tests/wine/soak/soak_probe.cpp) and reads its counters around each stage.
bool Prove(const std::wstring& probePath, Proof* proof, std::string* why);

// The table of one scenario: every counter with its value after the warm-up, after the cycles
// and the difference; a counter the proof did not confirm reads "not measurable". `allowed` names
// counters that may rise by a stated constant. Returns true when every counter is measurable
// and its difference is zero (or the allowed constant).
bool DeltaTable(const std::string& scenario, int cycles, const Proof& proof, const Counts& before,
                const Counts& after, const std::map<std::string, long long>& allowed, std::string* table);

// Appends `text` to the file named by %QELVO_SOAK_REPORT% (when set) and prints it.
void Report(const std::string& text);

} // namespace soak
