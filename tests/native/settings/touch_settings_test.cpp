#include "settings/TouchSettings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace {

using settings::TouchSettings;

// A driver key as RegQueryValueExW with a 4-byte buffer sees it: a missing value gives
// ERROR_FILE_NOT_FOUND (2), longer data ERROR_MORE_DATA (234), shorter data ERROR_INVALID_DATA (13).
class FakeKey {
public:
    void SetDword(const wchar_t* name, uint32_t v)
    {
        values_[name] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    }
    void SetBytes(const wchar_t* name, std::vector<uint8_t> bytes) { values_[name] = std::move(bytes); }

    long Read(const wchar_t* name, uint32_t* value)
    {
        reads.push_back(name);
        const auto found = values_.find(name);
        if (found == values_.end())
            return 2;
        const std::vector<uint8_t>& b = found->second;
        if (b.size() > 4)
            return 234;
        if (b.size() < 4)
            return 13;
        *value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
        return 0;
    }

    std::vector<std::wstring> reads;

private:
    std::map<std::wstring, std::vector<uint8_t>> values_;
};

struct Expected {
    uint32_t BeepMode, BeepFreq, BeepTime, MouseMode, DragDelay, DblClkRegion;
};

TouchSettings ReadFrom(FakeKey& key)
{
    TouchSettings s;
    // Start from values that no rule gives, so that every field must be set by the read.
    s.BeepMode = s.BeepFreq = s.BeepTime = s.MouseMode = s.DragDelay = s.DblClkRegion = 77777;
    settings::ReadStoredSettings(s, [&key](const wchar_t* name, uint32_t* value) { return key.Read(name, value); });
    return s;
}

void ExpectFields(const TouchSettings& s, const Expected& e)
{
    EXPECT_EQ(s.BeepMode, e.BeepMode);
    EXPECT_EQ(s.BeepFreq, e.BeepFreq);
    EXPECT_EQ(s.BeepTime, e.BeepTime);
    EXPECT_EQ(s.MouseMode, e.MouseMode);
    EXPECT_EQ(s.DragDelay, e.DragDelay);
    EXPECT_EQ(s.DblClkRegion, e.DblClkRegion);
}

TEST(TouchSettings, ConstructionValues)
{
    const TouchSettings s;
    EXPECT_EQ(s.BeepMode, 2u);
    EXPECT_EQ(s.BeepFreq, 1000u);
    EXPECT_EQ(s.BeepTime, 32u);
    EXPECT_EQ(s.MouseMode, 3u);
    EXPECT_EQ(s.DragDelay, 0u);
    EXPECT_EQ(s.NormalDblClkSize, 5u);
}

// Stored values -> what the record holds after reading. A row sets one or two values; the others
// are absent and take their fallbacks (2, 1000, 32, 3, 0, 25).
TEST(TouchSettings, ReadRulesForStoredValues)
{
    struct Row {
        const char* what;
        std::map<std::wstring, std::vector<uint8_t>> bytes;
        std::map<std::wstring, uint32_t> dwords;
        Expected expected;
    };
    const std::vector<uint8_t> eightBytes2000 = {0xD0, 0x07, 0, 0, 0, 0, 0, 0};
    const Row rows[] = {
        {"empty key", {}, {}, {2, 1000, 32, 3, 0, 25}},
        {"BeepFreq 999", {}, {{L"BeepFreq", 999}}, {2, 1000, 32, 3, 0, 25}},
        {"BeepFreq 5001", {}, {{L"BeepFreq", 5001}}, {2, 1000, 32, 3, 0, 25}},
        {"BeepFreq 1000 and BeepTime 10", {}, {{L"BeepFreq", 1000}, {L"BeepTime", 10}}, {2, 1000, 10, 3, 0, 25}},
        {"BeepFreq 5000 and BeepTime 200", {}, {{L"BeepFreq", 5000}, {L"BeepTime", 200}}, {2, 5000, 200, 3, 0, 25}},
        {"BeepTime 9", {}, {{L"BeepTime", 9}}, {2, 1000, 32, 3, 0, 25}},
        {"BeepTime 201", {}, {{L"BeepTime", 201}}, {2, 1000, 32, 3, 0, 25}},
        {"DragDelay 1501 reads as 0, not 1500", {}, {{L"DragDelay", 1501}}, {2, 1000, 32, 3, 0, 25}},
        {"DragDelay 1500", {}, {{L"DragDelay", 1500}}, {2, 1000, 32, 3, 1500, 25}},
        {"MouseMode 4", {}, {{L"MouseMode", 4}}, {2, 1000, 32, 3, 0, 25}},
        {"MouseMode 0 and BeepMode 0", {}, {{L"MouseMode", 0}, {L"BeepMode", 0}}, {0, 1000, 32, 0, 0, 25}},
        {"BeepMode 3", {}, {{L"BeepMode", 3}}, {2, 1000, 32, 3, 0, 25}},
        {"BeepMode 1 and MouseMode 2", {}, {{L"BeepMode", 1}, {L"MouseMode", 2}}, {1, 1000, 32, 2, 0, 25}},
        {"DblClkRegion 0", {}, {{L"DblClkRegion", 0}}, {2, 1000, 32, 3, 0, 0}},
        {"DblClkRegion 500", {}, {{L"DblClkRegion", 500}}, {2, 1000, 32, 3, 0, 500}},
        {"negative MouseMode is a large number", {}, {{L"MouseMode", 0xFFFFFFFFu}}, {2, 1000, 32, 3, 0, 25}},
        {"negative DragDelay is a large number", {}, {{L"DragDelay", 0xFFFFFFFFu}}, {2, 1000, 32, 3, 0, 25}},
        {"BeepFreq of 8 bytes counts as missing", {{L"BeepFreq", eightBytes2000}}, {}, {2, 1000, 32, 3, 0, 25}},
        {"DblClkRegion of 8 bytes counts as missing", {{L"DblClkRegion", eightBytes2000}}, {}, {2, 1000, 32, 3, 0, 25}},
        {"DragDelay of 2 bytes is not accepted", {{L"DragDelay", {0x64, 0}}}, {}, {2, 1000, 32, 3, 0, 25}},
        {"all six in range", {},
         {{L"BeepMode", 1}, {L"BeepFreq", 3000}, {L"BeepTime", 100}, {L"MouseMode", 1}, {L"DragDelay", 600},
          {L"DblClkRegion", 60}},
         {1, 3000, 100, 1, 600, 60}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        FakeKey key;
        for (const auto& [name, bytes] : row.bytes)
            key.SetBytes(name.c_str(), bytes);
        for (const auto& [name, value] : row.dwords)
            key.SetDword(name.c_str(), value);
        const TouchSettings s = ReadFrom(key);
        ExpectFields(s, row.expected);
        const std::vector<std::wstring> order = {L"BeepMode", L"BeepFreq", L"BeepTime", L"MouseMode", L"DragDelay",
                                                 L"DblClkRegion"};
        EXPECT_EQ(key.reads, order);
    }
}

TEST(TouchSettings, WritesSixValuesInOrderAndGoesOnAfterAFailure)
{
    TouchSettings s;
    s.BeepMode = 0;
    s.BeepFreq = 2200;
    s.BeepTime = 48;
    s.MouseMode = 2;
    s.DragDelay = 300;
    s.DblClkRegion = 40;
    std::vector<std::pair<std::wstring, uint32_t>> writes;
    const settings::SettingSet written = settings::WriteStoredSettings(s, [&writes](const wchar_t* name, uint32_t v) {
        writes.emplace_back(name, v);
        return std::wstring(name) == L"BeepTime" ? 5L : 0L;
    });
    const std::vector<std::pair<std::wstring, uint32_t>> expected = {
        {L"BeepMode", 0}, {L"BeepFreq", 2200}, {L"BeepTime", 48}, {L"MouseMode", 2}, {L"DragDelay", 300},
        {L"DblClkRegion", 40}};
    EXPECT_EQ(writes, expected);
    EXPECT_NE(written, settings::kAllSettings);
    // Everything but BeepTime counts as written.
    TouchSettings committed;
    settings::CopySettings(committed, s, written);
    EXPECT_EQ(committed.BeepMode, 0u);
    EXPECT_EQ(committed.BeepFreq, 2200u);
    EXPECT_EQ(committed.BeepTime, 32u);
    EXPECT_EQ(committed.MouseMode, 2u);
    EXPECT_EQ(committed.DragDelay, 300u);
    EXPECT_EQ(committed.DblClkRegion, 40u);
}

// The change test of Apply and what a failed write leaves for the next Apply.
TEST(TouchSettings, ChangeTestAndRetryOfValuesNotStored)
{
    TouchSettings committed;
    committed.DblClkRegion = 25;
    TouchSettings shown = committed;
    EXPECT_EQ(settings::ChangedSettings(committed, shown), 0u) << "no change: no write, no system call, no code";

    shown.BeepMode = 0;
    const settings::SettingSet changed = settings::ChangedSettings(committed, shown);
    EXPECT_NE(changed, 0u);
    // Each field on its own counts as a change.
    for (uint32_t TouchSettings::*field : {&TouchSettings::BeepMode, &TouchSettings::BeepFreq, &TouchSettings::BeepTime,
                                           &TouchSettings::MouseMode, &TouchSettings::DragDelay,
                                           &TouchSettings::DblClkRegion}) {
        TouchSettings one = committed;
        one.*field += 1;
        EXPECT_NE(settings::ChangedSettings(committed, one), 0u);
    }
    // NormalDblClkSize is not stored and is no change.
    TouchSettings notStored = committed;
    notStored.NormalDblClkSize = 9;
    EXPECT_EQ(settings::ChangedSettings(committed, notStored), 0u);

    // First Apply: the key takes everything but DragDelay.
    shown.DragDelay = 750;
    const settings::SettingSet written = settings::WriteStoredSettings(shown, [](const wchar_t* name, uint32_t) {
        return std::wstring(name) == L"DragDelay" ? 5L : 0L;
    });
    settings::CopySettings(committed, shown, written);
    EXPECT_EQ(committed.BeepMode, 0u);
    EXPECT_EQ(committed.DragDelay, 0u);
    // Second Apply without a change on the pages: the lost value is still a change.
    EXPECT_NE(settings::ChangedSettings(committed, shown), 0u);
    // Once it is stored, a further Apply does nothing.
    settings::CopySettings(committed, shown, settings::kAllSettings);
    EXPECT_EQ(settings::ChangedSettings(committed, shown), 0u);
}

TEST(TouchSettings, SystemDoubleClickByMode)
{
    struct Row {
        uint32_t mode, region;
        settings::DoubleClickSettings expected;
    };
    const Row rows[] = {
        {3, 40, {40, 40, 800}},
        {3, 25, {25, 25, 800}},
        {0, 40, {5, 5, 400}},
        {1, 100, {5, 5, 400}},
        {2, 40, {5, 5, 400}},
        // The system only gets a plausible size: 1 to 32767 as stored, anything else 25.
        {3, 1, {1, 1, 800}},
        {3, 500, {500, 500, 800}},
        {3, 32767, {32767, 32767, 800}},
        {3, 0, {25, 25, 800}},
        {3, 32768, {25, 25, 800}},
        {3, 0x80000000u, {25, 25, 800}},
        {3, 0xFFFFFFFFu, {25, 25, 800}},
        {0, 0xFFFFFFFFu, {5, 5, 400}},
    };
    for (const Row& row : rows) {
        TouchSettings s;
        s.MouseMode = row.mode;
        s.DblClkRegion = row.region;
        const settings::DoubleClickSettings got = settings::SystemDoubleClick(s);
        EXPECT_EQ(got.width, row.expected.width) << "mode " << row.mode << " region " << row.region;
        EXPECT_EQ(got.height, row.expected.height) << "mode " << row.mode << " region " << row.region;
        EXPECT_EQ(got.time, row.expected.time) << "mode " << row.mode << " region " << row.region;
    }
}

} // namespace
