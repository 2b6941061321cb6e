#include "tests/support/WineTestSupport.h"

#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Fitment.dll is loaded into this process and called the way the device installer calls it, over
// device-information sets and compatible-driver lists that Wine's SetupAPI builds from INF files
// written here. Its setupapi imports are redirected to the recorders below: Wine lacks
// SetupDiSetSelectedDriverW, and some failures can only be made to happen from inside.

namespace {

using qelvo::test::PatchImport;
using qelvo::test::ShippedBinary;
using CoInstallerProc = DWORD(WINAPI*)(DI_FUNCTION, HDEVINFO, PSP_DEVINFO_DATA, PCOINSTALLER_CONTEXT_DATA);

struct Calls {
    int enumCalls = 0;
    DWORD lastEnumError = NO_ERROR;
    int detailCalls = 0;
    DWORD lastDetailError = NO_ERROR;
    int openAttempts = 0;
    int openedHandles = 0;
    DWORD lastOpenError = NO_ERROR;
    int closedHandles = 0;
    int lineCalls = 0;
    int selectCalls = 0;
    std::wstring selectedMfg;
    std::wstring selectedDescription;

    // Failures to inject; NO_ERROR lets the call through.
    DWORD detailError = NO_ERROR;
    DWORD openError = NO_ERROR;
    DWORD selectError = NO_ERROR;
    // When set, the detail names this INF instead of the one the driver node came from.
    std::wstring detailInf;

    int Touched() const { return enumCalls + detailCalls + openAttempts + closedHandles + lineCalls + selectCalls; }
};

Calls g_calls;

decltype(&SetupDiEnumDriverInfoW) g_realEnum;
decltype(&SetupDiGetDriverInfoDetailW) g_realDetail;
decltype(&SetupOpenInfFileW) g_realOpen;
decltype(&SetupCloseInfFile) g_realClose;
decltype(&SetupGetLineTextW) g_realLine;

BOOL WINAPI EnumHook(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD type, DWORD index, PSP_DRVINFO_DATA_W driver)
{
    ++g_calls.enumCalls;
    const BOOL ok = g_realEnum(set, data, type, index, driver);
    g_calls.lastEnumError = ok ? NO_ERROR : GetLastError();
    SetLastError(g_calls.lastEnumError);
    return ok;
}

BOOL WINAPI DetailHook(HDEVINFO set, PSP_DEVINFO_DATA data, PSP_DRVINFO_DATA_W driver,
                       PSP_DRVINFO_DETAIL_DATA_W detail, DWORD size, PDWORD required)
{
    ++g_calls.detailCalls;
    if (g_calls.detailError != NO_ERROR) {
        SetLastError(g_calls.detailError);
        return FALSE;
    }
    const BOOL ok = g_realDetail(set, data, driver, detail, size, required);
    g_calls.lastDetailError = ok ? NO_ERROR : GetLastError();
    if (!g_calls.detailInf.empty() && g_calls.detailInf.size() < MAX_PATH) {
        lstrcpyW(detail->InfFileName, g_calls.detailInf.c_str());
    }
    SetLastError(g_calls.lastDetailError);
    return ok;
}

HINF WINAPI OpenHook(PCWSTR name, PCWSTR infClass, DWORD style, PUINT errorLine)
{
    ++g_calls.openAttempts;
    if (g_calls.openError != NO_ERROR) {
        SetLastError(g_calls.openError);
        return INVALID_HANDLE_VALUE;
    }
    HINF inf = g_realOpen(name, infClass, style, errorLine);
    const DWORD error = GetLastError();
    if (inf != INVALID_HANDLE_VALUE) {
        ++g_calls.openedHandles;
    } else {
        g_calls.lastOpenError = error;
    }
    SetLastError(error);
    return inf;
}

void WINAPI CloseHook(HINF inf)
{
    ++g_calls.closedHandles;
    g_realClose(inf);
}

BOOL WINAPI LineHook(PINFCONTEXT context, HINF inf, PCWSTR section, PCWSTR key, PWSTR buffer, DWORD size, PDWORD required)
{
    ++g_calls.lineCalls;
    return g_realLine(context, inf, section, key, buffer, size, required);
}

BOOL WINAPI SelectHook(HDEVINFO, PSP_DEVINFO_DATA, PSP_DRVINFO_DATA_W driver)
{
    ++g_calls.selectCalls;
    if (g_calls.selectError != NO_ERROR) {
        SetLastError(g_calls.selectError);
        return FALSE;
    }
    g_calls.selectedMfg = driver->MfgName;
    g_calls.selectedDescription = driver->Description;
    return TRUE;
}

HMODULE g_fitment;
CoInstallerProc g_vuviruvuz;

std::wstring ExeDirectory()
{
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return std::wstring();
    }
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L"\\/") + 1);
}

class FitmentEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        const std::wstring path = ShippedBinary(L"Fitment.dll", ExeDirectory() + L"Fitment.dll");
        g_fitment = LoadLibraryW(path.c_str());
        ASSERT_NE(g_fitment, nullptr) << "LoadLibrary error " << GetLastError();
        g_vuviruvuz = reinterpret_cast<CoInstallerProc>(reinterpret_cast<void*>(GetProcAddress(g_fitment, "Vuviruvuz")));
        ASSERT_NE(g_vuviruvuz, nullptr) << "GetProcAddress error " << GetLastError();

        const char* dll = "setupapi.dll";
        g_realEnum = reinterpret_cast<decltype(g_realEnum)>(PatchImport(g_fitment, dll, "SetupDiEnumDriverInfoW", reinterpret_cast<void*>(&EnumHook)));
        g_realDetail = reinterpret_cast<decltype(g_realDetail)>(PatchImport(g_fitment, dll, "SetupDiGetDriverInfoDetailW", reinterpret_cast<void*>(&DetailHook)));
        g_realOpen = reinterpret_cast<decltype(g_realOpen)>(PatchImport(g_fitment, dll, "SetupOpenInfFileW", reinterpret_cast<void*>(&OpenHook)));
        g_realClose = reinterpret_cast<decltype(g_realClose)>(PatchImport(g_fitment, dll, "SetupCloseInfFile", reinterpret_cast<void*>(&CloseHook)));
        g_realLine = reinterpret_cast<decltype(g_realLine)>(PatchImport(g_fitment, dll, "SetupGetLineTextW", reinterpret_cast<void*>(&LineHook)));
        void* realSelect = PatchImport(g_fitment, dll, "SetupDiSetSelectedDriverW", reinterpret_cast<void*>(&SelectHook));
        ASSERT_NE(g_realEnum, nullptr);
        ASSERT_NE(g_realDetail, nullptr);
        ASSERT_NE(g_realOpen, nullptr);
        ASSERT_NE(g_realClose, nullptr);
        ASSERT_NE(g_realLine, nullptr);
        ASSERT_NE(realSelect, nullptr);
    }
};

const ::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new FitmentEnvironment);

const char kHardwareId[] = "USB\\VID_1A2B&PID_0C01";

// A touch driver package's INF as shipped: two manufacturers' model sections point at the same
// install section; TouchAutoInstall names the package's own manufacturer.
std::string TouchInf(const std::string& autoInstallValue, bool withAutoInstall = true)
{
    std::string inf =
        "; Qelvo USB touch controller\r\n"
        "[Version]\r\n"
        "Signature=\"$Windows NT$\"\r\n"
        "Class=Mouse\r\n"
        "ClassGUID={4D36E96F-E325-11CE-BFC1-08002BE10318}\r\n"
        "Provider=%Qelvo%\r\n"
        "DriverVer=03/14/2005,2.1.0.7\r\n"
        "\r\n"
        "[Manufacturer]\r\n"
        "%Vendra%=VendraModels,NTx86,NTamd64\r\n"
        "%Qelvo%=QelvoModels,NTx86,NTamd64\r\n"
        "\r\n"
        "[VendraModels]\r\n"
        "%VendraTouch%=QelvoTouch_Inst,USB\\VID_1A2B&PID_0C01\r\n"
        "[VendraModels.NTx86]\r\n"
        "%VendraTouch%=QelvoTouch_Inst,USB\\VID_1A2B&PID_0C01\r\n"
        "[VendraModels.NTamd64]\r\n"
        "%VendraTouch%=QelvoTouch_Inst,USB\\VID_1A2B&PID_0C01\r\n"
        "\r\n"
        "[QelvoModels]\r\n"
        "%QelvoTouch%=QelvoTouch_Inst,USB\\VID_1A2B&PID_0C01\r\n"
        "[QelvoModels.NTx86]\r\n"
        "%QelvoTouch%=QelvoTouch_Inst,USB\\VID_1A2B&PID_0C01\r\n"
        "[QelvoModels.NTamd64]\r\n"
        "%QelvoTouch%=QelvoTouch_Inst,USB\\VID_1A2B&PID_0C01\r\n"
        "\r\n"
        "[DestinationDirs]\r\n"
        "DefaultDestDir=12\r\n"
        "CoInst_CopyFiles=11\r\n"
        "\r\n"
        "[QelvoTouch_Inst]\r\n"
        "CopyFiles=QelvoTouch_CopyFiles\r\n"
        "\r\n"
        "[QelvoTouch_Inst.HW]\r\n"
        "AddReg=QelvoTouch_HwAddReg\r\n"
        "\r\n"
        "[QelvoTouch_Inst.Services]\r\n"
        "AddService=QelvoTouch,0x00000002,QelvoTouch_Service\r\n"
        "\r\n"
        "[QelvoTouch_Inst.CoInstallers]\r\n"
        "AddReg=CoInst_AddReg\r\n"
        "CopyFiles=CoInst_CopyFiles\r\n"
        "\r\n"
        "[QelvoTouch_CopyFiles]\r\n"
        "qvtouch.sys\r\n"
        "\r\n"
        "[CoInst_CopyFiles]\r\n"
        "Fitment.dll\r\n"
        "\r\n"
        "[QelvoTouch_HwAddReg]\r\n"
        "HKR,,\"LowerFilters\",0x00010000,\"QelvoTouch\"\r\n"
        "\r\n"
        "[CoInst_AddReg]\r\n"
        "HKR,,CoInstallers32,0x00010000,\"Fitment.dll,Vuviruvuz\"\r\n"
        "\r\n"
        "[QelvoTouch_Service]\r\n"
        "DisplayName=%QelvoTouch.SvcDesc%\r\n"
        "ServiceType=1\r\n"
        "StartType=3\r\n"
        "ErrorControl=1\r\n"
        "ServiceBinary=%12%\\qvtouch.sys\r\n"
        "\r\n"
        "[SourceDisksNames]\r\n"
        "1=%DiskName%,,,\r\n"
        "\r\n"
        "[SourceDisksFiles]\r\n"
        "qvtouch.sys=1\r\n"
        "Fitment.dll=1\r\n"
        "\r\n";
    if (withAutoInstall) {
        inf += "[TouchAutoInstall]\r\n"
               "ManufacturerName=" + autoInstallValue + "\r\n"
               "\r\n";
    }
    inf += "[Strings]\r\n"
           "Qelvo=\"Qelvo\"\r\n"
           "Vendra=\"Vendra\"\r\n"
           "QelvoTouch=\"Qelvo USB Touch Controller\"\r\n"
           "VendraTouch=\"Vendra USB Touch Controller\"\r\n"
           "QelvoTouch.SvcDesc=\"Qelvo USB Touch Filter\"\r\n"
           "DiskName=\"Qelvo Touch Driver Disk\"\r\n";
    return inf;
}

// One device with its compatible-driver list built from one INF in a private temp folder.
class FitmentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_calls = Calls();
        wchar_t temp[MAX_PATH];
        const DWORD n = GetTempPathW(MAX_PATH, temp);
        ASSERT_TRUE(n > 0 && n < MAX_PATH) << GetLastError();
        wchar_t name[MAX_PATH];
        ASSERT_NE(GetTempFileNameW(temp, L"fit", 0, name), 0u) << GetLastError();
        ASSERT_TRUE(DeleteFileW(name)) << GetLastError();
        ASSERT_TRUE(CreateDirectoryW(name, nullptr)) << GetLastError();
        folder_ = name;
        infPath_ = folder_ + L"\\qvtouch.inf";
    }

    void TearDown() override
    {
        if (set_ != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set_)) << GetLastError();
        }
        DeleteFileW(infPath_.c_str());
        if (!folder_.empty()) {
            RemoveDirectoryW(folder_.c_str());
        }
        // Every INF that Fitment opened is closed before it returns, on every path.
        EXPECT_EQ(g_calls.openedHandles, g_calls.closedHandles);
    }

    void WriteInf(const std::string& text)
    {
        HANDLE file = CreateFileW(infPath_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
        DWORD written = 0;
        const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        const DWORD error = GetLastError();
        CloseHandle(file);
        ASSERT_TRUE(ok) << error;
        ASSERT_EQ(written, text.size());
    }

    // Creates the device with the given hardware id and builds its compatible list from the INF.
    void BuildDriverList(const char* hardwareId = kHardwareId)
    {
        set_ = SetupDiCreateDeviceInfoList(nullptr, nullptr);
        ASSERT_NE(set_, INVALID_HANDLE_VALUE) << GetLastError();
        static const GUID mouseClass = {0x4d36e96f, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
        device_.cbSize = sizeof(device_);
        ASSERT_TRUE(SetupDiCreateDeviceInfoW(set_, L"QelvoTouchTest", &mouseClass, nullptr, nullptr,
                                             DICD_GENERATE_ID, &device_)) << std::hex << GetLastError();

        std::vector<wchar_t> ids;
        for (const char* p = hardwareId; *p; ++p) {
            ids.push_back(static_cast<wchar_t>(*p));
        }
        ids.push_back(L'\0');
        ids.push_back(L'\0');
        ASSERT_TRUE(SetupDiSetDeviceRegistryPropertyW(set_, &device_, SPDRP_HARDWAREID,
                                                      reinterpret_cast<const BYTE*>(ids.data()),
                                                      static_cast<DWORD>(ids.size() * sizeof(wchar_t))))
            << std::hex << GetLastError();

        SP_DEVINSTALL_PARAMS_W params;
        params.cbSize = sizeof(params);
        ASSERT_TRUE(SetupDiGetDeviceInstallParamsW(set_, &device_, &params)) << std::hex << GetLastError();
        params.Flags |= DI_ENUMSINGLEINF;
        ASSERT_LT(infPath_.size(), static_cast<size_t>(MAX_PATH));
        lstrcpyW(params.DriverPath, infPath_.c_str());
        ASSERT_TRUE(SetupDiSetDeviceInstallParamsW(set_, &device_, &params)) << std::hex << GetLastError();
        ASSERT_TRUE(SetupDiBuildDriverInfoList(set_, &device_, SPDIT_COMPATDRIVER)) << std::hex << GetLastError();
    }

    // The manufacturers of the compatible list in enumeration order, read with the real SetupAPI.
    std::vector<std::wstring> Manufacturers()
    {
        std::vector<std::wstring> result;
        SP_DRVINFO_DATA_W driver;
        for (DWORD i = 0;; ++i) {
            driver.cbSize = sizeof(driver);
            if (!SetupDiEnumDriverInfoW(set_, &device_, SPDIT_COMPATDRIVER, i, &driver)) {
                EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
                return result;
            }
            result.push_back(driver.MfgName);
        }
    }

    DWORD Call(DI_FUNCTION function, bool postProcessing, DWORD installResult = NO_ERROR)
    {
        COINSTALLER_CONTEXT_DATA context;
        ZeroMemory(&context, sizeof(context));
        context.PostProcessing = postProcessing ? TRUE : FALSE;
        context.InstallResult = installResult;
        return g_vuviruvuz(function, set_, set_ == INVALID_HANDLE_VALUE ? nullptr : &device_, &context);
    }

    std::wstring folder_;
    std::wstring infPath_;
    HDEVINFO set_ = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA device_ = {};
};

TEST_F(FitmentTest, OtherInstallFunctionsTouchNothingOnEitherPass)
{
    WriteInf(TouchInf("%Qelvo%"));
    BuildDriverList();
    const DI_FUNCTION others[] = {DIF_SELECTDEVICE, DIF_INSTALLDEVICE, DIF_ALLOW_INSTALL, DIF_REMOVE,
                                  DIF_REGISTER_COINSTALLERS, DIF_INSTALLDEVICEFILES, DIF_NEWDEVICEWIZARD_FINISHINSTALL,
                                  DIF_PROPERTYCHANGE, DIF_SELECTBESTCOMPATDRV - 1, DIF_SELECTBESTCOMPATDRV + 1};
    for (DI_FUNCTION f : others) {
        EXPECT_EQ(Call(f, false), static_cast<DWORD>(NO_ERROR)) << f;
        EXPECT_EQ(Call(f, true), static_cast<DWORD>(NO_ERROR)) << f;
        EXPECT_EQ(Call(f, true, ERROR_NO_COMPAT_DRIVERS), static_cast<DWORD>(NO_ERROR)) << f;
    }
    EXPECT_EQ(g_calls.Touched(), 0);
}

TEST_F(FitmentTest, FirstPassAsksForPostProcessingWithoutEnumerating)
{
    WriteInf(TouchInf("%Qelvo%"));
    BuildDriverList();
    EXPECT_EQ(Call(DIF_SELECTBESTCOMPATDRV, false), static_cast<DWORD>(ERROR_DI_POSTPROCESSING_REQUIRED));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DI_POSTPROCESSING_REQUIRED), 0xE0000226u);
    EXPECT_EQ(g_calls.Touched(), 0);
}

TEST_F(FitmentTest, SecondDriverNamedByItsInfIsSelected)
{
    WriteInf(TouchInf("%Qelvo%"));
    BuildDriverList();
    ASSERT_EQ(Manufacturers(), (std::vector<std::wstring>{L"Vendra", L"Qelvo"}));

    EXPECT_EQ(Call(DIF_SELECTBESTCOMPATDRV, true), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(g_calls.selectCalls, 1);
    EXPECT_EQ(g_calls.selectedMfg, L"Qelvo");
    EXPECT_EQ(g_calls.selectedDescription, L"Qelvo USB Touch Controller");
    EXPECT_EQ(g_calls.enumCalls, 2);
    EXPECT_EQ(g_calls.openedHandles, 2);
    // The hardware-id list never fits the fixed-size detail buffer: that is the normal path.
    EXPECT_EQ(g_calls.lastDetailError, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST_F(FitmentTest, MatchOverridesAFailedInstallerChoice)
{
    WriteInf(TouchInf("%Qelvo%"));
    BuildDriverList();
    EXPECT_EQ(Call(DIF_SELECTBESTCOMPATDRV, true, ERROR_NO_COMPAT_DRIVERS), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(g_calls.selectedMfg, L"Qelvo");
}

TEST_F(FitmentTest, ValueDifferingOnlyInCaseDoesNotMatch)
{
    WriteInf(TouchInf("QELVO"));
    BuildDriverList();
    ASSERT_EQ(Manufacturers().size(), 2u);
    EXPECT_EQ(Call(DIF_SELECTBESTCOMPATDRV, true), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(g_calls.selectCalls, 0);
    EXPECT_EQ(g_calls.enumCalls, 3);
    EXPECT_EQ(g_calls.lineCalls, 2);
    EXPECT_EQ(g_calls.openedHandles, 2);
}

TEST_F(FitmentTest, InfWithoutTheSectionSelectsNothing)
{
    WriteInf(TouchInf("", false));
    BuildDriverList();
    ASSERT_EQ(Manufacturers().size(), 2u);
    EXPECT_EQ(Call(DIF_SELECTBESTCOMPATDRV, true), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(g_calls.selectCalls, 0);
    EXPECT_EQ(g_calls.openedHandles, 2);
}

TEST_F(FitmentTest, EmptyListLeavesTheInstallerOutcome)
{
    WriteInf(TouchInf("%Qelvo%"));
    BuildDriverList("USB\\VID_9999&PID_0001");
    ASSERT_TRUE(Manufacturers().empty());
    EXPECT_EQ(Call(DIF_SELECTBESTCOMPATDRV, true), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(g_calls.enumCalls, 1);
    EXPECT_EQ(g_calls.openAttempts, 0);
    EXPECT_EQ(g_calls.selectCalls, 0);

    // The installer's own failure is not turned into success when nothing was selected instead.
    EXPECT_EQ(Call(DIF_SELECTBESTCOMPATDRV, true, ERROR_NO_COMPAT_DRIVERS), static_cast<DWORD>(ERROR_NO_COMPAT_DRIVERS));
}

TEST_F(FitmentTest, DetailFailureIsReturnedAndStopsTheSearch)
{
    WriteInf(TouchInf("%Qelvo%"));
    BuildDriverList();
    g_calls.detailError = ERROR_INVALID_USER_BUFFER;
    EXPECT_EQ(Call(DIF_SELECTBESTCOMPATDRV, true), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    EXPECT_EQ(g_calls.enumCalls, 1);
    EXPECT_EQ(g_calls.detailCalls, 1);
    EXPECT_EQ(g_calls.openAttempts, 0);
    EXPECT_EQ(g_calls.selectCalls, 0);
}

TEST_F(FitmentTest, InfThatCannotBeOpenedReturnsItsError)
{
    WriteInf(TouchInf("%Qelvo%"));
    BuildDriverList();
    // The detail names an INF that is not there; the real SetupOpenInfFileW then fails.
    g_calls.detailInf = folder_ + L"\\gone.inf";
    const DWORD result = Call(DIF_SELECTBESTCOMPATDRV, true);
    EXPECT_EQ(g_calls.openAttempts, 1);
    EXPECT_EQ(g_calls.openedHandles, 0);
    EXPECT_NE(g_calls.lastOpenError, static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(result, g_calls.lastOpenError);
    EXPECT_EQ(g_calls.enumCalls, 1);
    EXPECT_EQ(g_calls.selectCalls, 0);
}

TEST_F(FitmentTest, InfGoneAfterTheListWasBuiltReturnsTheFailingCallsError)
{
    WriteInf(TouchInf("%Qelvo%"));
    BuildDriverList();
    ASSERT_TRUE(DeleteFileW(infPath_.c_str())) << GetLastError();
    const DWORD result = Call(DIF_SELECTBESTCOMPATDRV, true);
    // Wine rereads the INF while enumerating; Windows does in the detail or open call. Whichever
    // call fails first, its error comes back and the search ends there.
    EXPECT_NE(result, static_cast<DWORD>(NO_ERROR));
    EXPECT_NE(result, static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    const DWORD failed = g_calls.lastEnumError != NO_ERROR ? g_calls.lastEnumError
                         : g_calls.lastDetailError != NO_ERROR && g_calls.lastDetailError != ERROR_INSUFFICIENT_BUFFER
                             ? g_calls.lastDetailError
                             : g_calls.lastOpenError;
    EXPECT_EQ(result, failed);
    EXPECT_EQ(g_calls.enumCalls, 1);
    EXPECT_EQ(g_calls.openedHandles, 0);
    EXPECT_EQ(g_calls.selectCalls, 0);
}

TEST_F(FitmentTest, InjectedOpenFailureIsReturnedAsItIs)
{
    WriteInf(TouchInf("%Qelvo%"));
    BuildDriverList();
    g_calls.openError = ERROR_SHARING_VIOLATION;
    EXPECT_EQ(Call(DIF_SELECTBESTCOMPATDRV, true), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(g_calls.enumCalls, 1);
    EXPECT_EQ(g_calls.selectCalls, 0);
}

TEST_F(FitmentTest, SelectionFailureIsReturned)
{
    WriteInf(TouchInf("%Qelvo%"));
    BuildDriverList();
    g_calls.selectError = ERROR_NOT_ENOUGH_MEMORY;
    EXPECT_EQ(Call(DIF_SELECTBESTCOMPATDRV, true), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(g_calls.selectCalls, 1);
    EXPECT_EQ(g_calls.openedHandles, 2);
}

TEST_F(FitmentTest, FailureWithoutAnErrorCodeIsNotSuccess)
{
    WriteInf(TouchInf("%Qelvo%"));
    BuildDriverList();
    g_calls.selectError = NO_ERROR;
    g_calls.openError = NO_ERROR;
    g_calls.detailError = NO_ERROR;
    // A detail call that fails but leaves the error at 0 must not read as success.
    struct ZeroErrorDetail {
        static BOOL WINAPI Fail(HDEVINFO, PSP_DEVINFO_DATA, PSP_DRVINFO_DATA_W, PSP_DRVINFO_DETAIL_DATA_W, DWORD, PDWORD)
        {
            ++g_calls.detailCalls;
            SetLastError(NO_ERROR);
            return FALSE;
        }
    };
    void* real = PatchImport(g_fitment, "setupapi.dll", "SetupDiGetDriverInfoDetailW", reinterpret_cast<void*>(&ZeroErrorDetail::Fail));
    ASSERT_NE(real, nullptr);
    const DWORD result = Call(DIF_SELECTBESTCOMPATDRV, true);
    PatchImport(g_fitment, "setupapi.dll", "SetupDiGetDriverInfoDetailW", real);
    EXPECT_NE(result, static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(g_calls.detailCalls, 1);
    EXPECT_EQ(g_calls.selectCalls, 0);
}

TEST_F(FitmentTest, MissingContextIsRefused)
{
    EXPECT_EQ(g_vuviruvuz(DIF_SELECTBESTCOMPATDRV, INVALID_HANDLE_VALUE, nullptr, nullptr),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(g_vuviruvuz(DIF_INSTALLDEVICE, INVALID_HANDLE_VALUE, nullptr, nullptr), static_cast<DWORD>(NO_ERROR));
    EXPECT_EQ(g_calls.Touched(), 0);
}

} // namespace
