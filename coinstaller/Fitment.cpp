#include "framework/Handle.h"

#include <windows.h>
#include <setupapi.h>

#include <cstddef>

// The co-installer keeps no state: every buffer lives on the stack of one call.

namespace {

#ifndef _WIN64
// The Windows 2000/XP target: the installer of that system hands out exactly these layouts.
static_assert(sizeof(SP_DRVINFO_DATA_V2_W) == 1564, "SP_DRVINFO_DATA_V2_W layout");
static_assert(sizeof(SP_DRVINFO_DETAIL_DATA_W) == 1570, "SP_DRVINFO_DETAIL_DATA_W layout");
static_assert(sizeof(SP_DEVINFO_DATA) == 28, "SP_DEVINFO_DATA layout");
#endif

// The fixed part of the detail with room for one hardware-id character; the id list rarely fits,
// which the detail call reports as ERROR_INSUFFICIENT_BUFFER after filling the fixed part.
constexpr DWORD kDetailBufferSize = sizeof(SP_DRVINFO_DETAIL_DATA_W);
constexpr DWORD kValueUnits = 256;

const wchar_t kSection[] = L"TouchAutoInstall";
const wchar_t kKey[] = L"ManufacturerName";

// A SetupAPI call that failed without setting an error must not be reported as success.
DWORD FailureCode(DWORD error)
{
    return error == NO_ERROR ? ERROR_GEN_FAILURE : error;
}

// Exact, case-sensitive comparison of two terminated strings held in arrays of known size;
// neither side is read past its array, and an unterminated array never matches.
bool SameName(const wchar_t* a, std::size_t aUnits, const wchar_t* b, std::size_t bUnits)
{
    for (std::size_t i = 0; i < aUnits && i < bUnits; ++i) {
        if (a[i] != b[i]) {
            return false;
        }
        if (a[i] == L'\0') {
            return true;
        }
    }
    return false;
}

// One INF handle, owned for the duration of one driver node.
using InfFile = fw::UniqueHandle<HINF, &::SetupCloseInfFile, true>;

// Replaces the installer's choice by the first compatible driver whose INF names its manufacturer
// under TouchAutoInstall/ManufacturerName. When none does, the installer's own outcome stands.
DWORD SelectTouchDriver(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfoData, DWORD installResult)
{
    for (DWORD index = 0;; ++index) {
        SP_DRVINFO_DATA_V2_W driver;
        ZeroMemory(&driver, sizeof(driver));
        driver.cbSize = sizeof(driver);
        if (!SetupDiEnumDriverInfoW(deviceInfoSet, deviceInfoData, SPDIT_COMPATDRIVER, index,
                                    reinterpret_cast<PSP_DRVINFO_DATA_W>(&driver))) {
            const DWORD error = GetLastError();
            if (error == ERROR_NO_MORE_ITEMS) {
                return installResult;
            }
            return FailureCode(error);
        }

        union {
            SP_DRVINFO_DETAIL_DATA_W detail;
            BYTE bytes[kDetailBufferSize];
        } detailBuffer;
        ZeroMemory(&detailBuffer, sizeof(detailBuffer));
        SP_DRVINFO_DETAIL_DATA_W& detail = detailBuffer.detail;
        detail.cbSize = sizeof(SP_DRVINFO_DETAIL_DATA_W);
        if (!SetupDiGetDriverInfoDetailW(deviceInfoSet, deviceInfoData,
                                         reinterpret_cast<PSP_DRVINFO_DATA_W>(&driver), &detail,
                                         kDetailBufferSize, nullptr)) {
            const DWORD error = GetLastError();
            if (error != ERROR_INSUFFICIENT_BUFFER) {
                return FailureCode(error);
            }
        }
        // The INF name is handed to SetupOpenInfFileW: it must end inside its own field.
        detail.InfFileName[MAX_PATH - 1] = L'\0';

        UINT errorLine = 0;
        InfFile inf(SetupOpenInfFileW(detail.InfFileName, nullptr, INF_STYLE_WIN4, &errorLine));
        if (!inf.Valid()) {
            return FailureCode(GetLastError());
        }

        wchar_t value[kValueUnits];
        ZeroMemory(value, sizeof(value));
        const BOOL read = SetupGetLineTextW(nullptr, inf.Get(), kSection, kKey, value, kValueUnits, nullptr);
        const bool match = read && SameName(driver.MfgName, LINE_LEN, value, kValueUnits);
        inf.Reset();
        if (match) {
            if (!SetupDiSetSelectedDriverW(deviceInfoSet, deviceInfoData,
                                           reinterpret_cast<PSP_DRVINFO_DATA_W>(&driver))) {
                return FailureCode(GetLastError());
            }
            return NO_ERROR;
        }
    }
}

} // namespace

extern "C" DWORD WINAPI Vuviruvuz(DI_FUNCTION installFunction, HDEVINFO deviceInfoSet,
                                  PSP_DEVINFO_DATA deviceInfoData, PCOINSTALLER_CONTEXT_DATA context)
{
    if (installFunction != DIF_SELECTBESTCOMPATDRV) {
        return NO_ERROR;
    }
    if (context == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!context->PostProcessing) {
        return ERROR_DI_POSTPROCESSING_REQUIRED;
    }
    return SelectTouchDriver(deviceInfoSet, deviceInfoData, context->InstallResult);
}
