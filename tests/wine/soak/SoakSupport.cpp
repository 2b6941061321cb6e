#include "SoakSupport.h"

#include "tests/support/WineTestSupport.h"

#include <cstdio>
#include <cstdlib>

#ifndef SOAK_PROBE_PATH
#error SOAK_PROBE_PATH must name the built soak_probe.exe
#endif

namespace soak {
namespace {

constexpr int kShortCycles = 3;
constexpr int kMaxExtraWarmUp = 20;

std::wstring WinePathOf(const wchar_t* unixPath)
{
    std::wstring path = L"Z:";
    path += unixPath;
    for (wchar_t& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    return path;
}

} // namespace

int Cycles()
{
    wchar_t text[16] = {};
    if (::GetEnvironmentVariableW(L"QELVO_SOAK_CYCLES", text, 16) == 0)
        return kShortCycles;
    const int n = _wtoi(text);
    return n > 0 ? n : kShortCycles;
}

const Proof& CounterProof()
{
    static Proof proof;
    static std::string failure;
    static bool made = false;
    if (!made) {
        made = true;
        if (!Prove(WinePathOf(SOAK_PROBE_PATH), &proof, &failure))
            proof.clear();
    }
    EXPECT_TRUE(failure.empty()) << "counter proof: " << failure;
    return proof;
}

// The counters once two readings 250 ms apart agree (at most 10 s): what a repaint or a message
// in flight holds for a moment is no leak.
static bool SettledCount(DWORD pid, Counts* counts, std::string* why)
{
    Counts previous;
    if (!Count(pid, &previous, why))
        return false;
    bool failed = false;
    const bool settled = qelvo::test::WaitFor(
        [&] {
            if (!Count(pid, counts, why)) {
                failed = true;
                return true;
            }
            const bool same = *counts == previous;
            previous = *counts;
            return same;
        },
        10000, 250);
    if (!settled)
        *why = "the counters did not settle within 10 s";
    return settled && !failed;
}

void MeasureCycles(const std::string& scenario, DWORD pid, int warmUp, const std::function<bool(int)>& cycle,
                   const std::function<void()>& atStart, const std::map<std::string, long long>& allowed,
                   int settle)
{
    const Proof& proof = CounterProof();
    int i = 0;
    for (; i < warmUp; ++i)
        ASSERT_TRUE(cycle(i)) << scenario << ": warm-up cycle " << i;
    // Wine keeps caches (device contexts with their regions, bitmaps) that grow for the first
    // cycles and then stay: the warm-up goes on until `settle` cycles in a row leave every counter as it was,
    // at most kMaxExtraWarmUp cycles more. A leak never settles and shows in the cycles after.
    // Such a cache was also seen to take one more step after settling: cycles that changed a
    // counter are measured once more after settling again, and a leak grows there as well.
    for (int attempt = 1;; ++attempt) {
        Counts before, after;
        std::string why;
        ASSERT_TRUE(SettledCount(pid, &before, &why)) << why;
        int unchanged = 0;
        for (int extra = 0; extra < kMaxExtraWarmUp && unchanged < settle; ++extra, ++i) {
            ASSERT_TRUE(cycle(i)) << scenario << ": warm-up cycle " << i;
            ASSERT_TRUE(SettledCount(pid, &after, &why)) << why;
            unchanged = after == before ? unchanged + 1 : 0;
            before = after;
        }
        const int warmed = i;
        if (atStart)
            atStart();
        const int n = Cycles();
        const DWORD started = ::GetTickCount();
        for (int k = 0; k < n; ++k, ++i)
            ASSERT_TRUE(cycle(i)) << scenario << ": cycle " << k << " of " << n;
        const DWORD took = ::GetTickCount() - started;
        ASSERT_TRUE(SettledCount(pid, &after, &why)) << why;
        std::string table;
        const bool clean = DeltaTable(scenario + " (after " + std::to_string(warmed) + " warm-up cycles)", n, proof,
                                      before, after, allowed, &table);
        char timing[256];
        std::snprintf(timing, sizeof timing, "\n%s: %d cycles in %.1f s%s\n", scenario.c_str(), n, took / 1000.0,
                      clean || attempt == 2 ? "" : "; a counter changed: settled again and measured once more");
        Report(table + timing);
        if (clean || attempt == 2) {
            EXPECT_TRUE(clean) << scenario << ": a counter is not measurable or changed\n" << table;
            return;
        }
    }
}

} // namespace soak
