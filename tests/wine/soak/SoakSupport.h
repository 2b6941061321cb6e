// What the soak programs share: the number of cycles, the counter proof (run once per program)
// and one measured scenario (warm-up, counters, the cycles, counters, table).
#pragma once

#include "ProcessCounters.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

namespace soak {

// %QELVO_SOAK_CYCLES% (scripts/soak.sh --cycles), else the short run of the test command.
int Cycles();

// The proof of the counters, made once; a failed proof fails the caller.
const Proof& CounterProof();

// Runs `cycle(i)` `warmUp` times and then until `settle` cycles in a row leave the counters of `pid`
// as they were (a scenario that varies its cycles with a period settles over a whole period; twenty
// more at most), calls `atStart`, runs it Cycles() times, reads the counters
// again and reports the table. Every cycle must succeed; every counter must be measurable and
// unchanged (or changed by its `allowed` constant). Cycles that changed a counter are measured
// once more after settling again, and that second measurement decides.
void MeasureCycles(const std::string& scenario, DWORD pid, int warmUp, const std::function<bool(int)>& cycle,
                   const std::function<void()>& atStart = nullptr,
                   const std::map<std::string, long long>& allowed = {}, int settle = 2);

} // namespace soak
