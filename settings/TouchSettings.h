// The six touch settings of one controller as the driver reads them from its driver key, the
// rules by which stored values are taken, and the change test of Apply. Portable: the registry
// is reached through the reader and writer the caller hands in.
#pragma once

#include <stdint.h>

#include <functional>

namespace settings {

class TouchSettings {
public:
    TouchSettings() = default;
    virtual ~TouchSettings() = default;
    TouchSettings(const TouchSettings&) = default;
    TouchSettings& operator=(const TouchSettings&) = default;

    uint32_t BeepMode = 2;       // 0 no sound, 1 on touch, 2 on release
    uint32_t BeepFreq = 1000;
    uint32_t BeepTime = 32;
    uint32_t MouseMode = 3;      // 0 touch click, 1 release click, 2 drag, 3 double click and drag
    uint32_t DragDelay = 0;
    uint32_t DblClkRegion = 25;  // reading always sets it; 25 is its fallback
    uint32_t NormalDblClkSize = 5;  // system double-click width and height outside mode 3; not stored
};

// One stored value: its registry name, the range accepted on reading (both ends included) and
// the value taken when it is missing or not accepted.
struct StoredSetting {
    const wchar_t* name;
    uint32_t TouchSettings::*field;
    uint32_t minimum;
    uint32_t maximum;
    uint32_t fallback;
};

constexpr int kStoredSettingCount = 6;
// In the order they are read and written: BeepMode, BeepFreq, BeepTime, MouseMode, DragDelay,
// DblClkRegion.
extern const StoredSetting kStoredSettings[kStoredSettingCount];

// A set of stored settings: bit i stands for kStoredSettings[i].
using SettingSet = unsigned;
constexpr SettingSet kAllSettings = (1u << kStoredSettingCount) - 1;

// Reads one value of 4 bytes: 0 (success) with *value set, or the registry's error code.
using ValueReader = std::function<long(const wchar_t* name, uint32_t* value)>;
// Writes one REG_DWORD: 0 or the registry's error code.
using ValueWriter = std::function<long(const wchar_t* name, uint32_t value)>;

// Reads the six values in order; each one that cannot be read or lies outside its range takes
// its fallback.
void ReadStoredSettings(TouchSettings& settings, const ValueReader& read);
// Writes the six values in order, each one also after a failed one; returns those written.
SettingSet WriteStoredSettings(const TouchSettings& settings, const ValueWriter& write);

// The change test of Apply, field by field in the order BeepFreq, BeepMode, BeepTime, MouseMode,
// DragDelay, DblClkRegion: the settings whose shown value differs from the committed one.
SettingSet ChangedSettings(const TouchSettings& committed, const TouchSettings& shown);
// Copies the settings of `which` from `source` into `target`.
void CopySettings(TouchSettings& target, const TouchSettings& source, SettingSet which);

// The system's double-click settings that go with a record.
struct DoubleClickSettings {
    uint32_t width;
    uint32_t height;
    uint32_t time;  // milliseconds
};
// A stored DblClkRegion outside 1 to 32767 is shown and stored as it is, but the system then gets
// the fallback 25: no program on the machine is given an implausible double-click area.
DoubleClickSettings SystemDoubleClick(const TouchSettings& settings);

} // namespace settings
