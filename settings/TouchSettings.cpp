#include "settings/TouchSettings.h"

namespace settings {

const StoredSetting kStoredSettings[kStoredSettingCount] = {
    {L"BeepMode", &TouchSettings::BeepMode, 0, 2, 2},
    {L"BeepFreq", &TouchSettings::BeepFreq, 1000, 5000, 1000},
    {L"BeepTime", &TouchSettings::BeepTime, 10, 200, 32},
    {L"MouseMode", &TouchSettings::MouseMode, 0, 3, 3},
    {L"DragDelay", &TouchSettings::DragDelay, 0, 1500, 0},
    {L"DblClkRegion", &TouchSettings::DblClkRegion, 0, 0xFFFFFFFFu, 25},
};

void ReadStoredSettings(TouchSettings& settings, const ValueReader& read)
{
    for (const StoredSetting& stored : kStoredSettings) {
        uint32_t value = 0;
        const bool accepted = read(stored.name, &value) == 0 && value >= stored.minimum && value <= stored.maximum;
        settings.*stored.field = accepted ? value : stored.fallback;
    }
}

SettingSet WriteStoredSettings(const TouchSettings& settings, const ValueWriter& write)
{
    SettingSet written = 0;
    for (int i = 0; i < kStoredSettingCount; ++i) {
        if (write(kStoredSettings[i].name, settings.*kStoredSettings[i].field) == 0)
            written |= 1u << i;
    }
    return written;
}

SettingSet ChangedSettings(const TouchSettings& committed, const TouchSettings& shown)
{
    // Indices into kStoredSettings in the order of the change test.
    static const int kOrder[kStoredSettingCount] = {1, 0, 2, 3, 4, 5};
    SettingSet changed = 0;
    for (int i : kOrder) {
        uint32_t TouchSettings::*field = kStoredSettings[i].field;
        if (committed.*field != shown.*field)
            changed |= 1u << i;
    }
    return changed;
}

void CopySettings(TouchSettings& target, const TouchSettings& source, SettingSet which)
{
    for (int i = 0; i < kStoredSettingCount; ++i) {
        if (which & (1u << i))
            target.*kStoredSettings[i].field = source.*kStoredSettings[i].field;
    }
}

DoubleClickSettings SystemDoubleClick(const TouchSettings& settings)
{
    if (settings.MouseMode == 3) {
        const uint32_t region = settings.DblClkRegion >= 1 && settings.DblClkRegion <= 32767 ? settings.DblClkRegion : 25;
        return {region, region, 800};
    }
    return {settings.NormalDblClkSize, settings.NormalDblClkSize, 400};
}

} // namespace settings
