#include "framework/LanguageRule.h"

#include <gtest/gtest.h>

namespace {

// LANGIDs from the Windows language tables: primary language in the low 10 bits.
TEST(LanguageRule, EveryChineseGetsChineseAndEverythingElseEnglish)
{
    struct Row {
        uint16_t uiLanguage;
        uint16_t resources;
    };
    for (const Row& row : {Row{0x0804, 0x0804} /* zh-CN */, Row{0x0404, 0x0804} /* zh-TW */,
                           Row{0x0C04, 0x0804} /* zh-HK */, Row{0x1004, 0x0804} /* zh-SG */,
                           Row{0x1404, 0x0804} /* zh-MO */, Row{0x0004, 0x0804} /* Chinese, neutral */,
                           Row{0x0409, 0x0409} /* en-US */, Row{0x0809, 0x0409} /* en-GB */,
                           Row{0x0407, 0x0409} /* de-DE */, Row{0x0411, 0x0409} /* ja-JP */,
                           Row{0x0412, 0x0409} /* ko-KR */, Row{0x0000, 0x0409} /* neutral */,
                           Row{0x0444, 0x0409} /* tt-RU: low byte 0x44, primary 0x44 */,
                           Row{0x7C04, 0x0804} /* zh-Hant */, Row{0x0C0A, 0x0409} /* es-ES */}) {
        EXPECT_EQ(fw::ResourceLanguageFor(row.uiLanguage), row.resources) << std::hex << row.uiLanguage;
    }
}

} // namespace
