#include "SimTestSupport.h"

#include <sstream>

namespace simtest {

void SimulatorTest::SetUp()
{
    ASSERT_TRUE(sim.Open()) << "\\\\.\\VOVUDA missing (error " << sim.LastError()
                            << "): run under the harness, which installs the simulator";
    ASSERT_TRUE(sim.Reset()) << sim.LastError();
    touchsim::DesktopGeometry desktop = {{0, 0, 1024, 768}, 0x7FFF};
    ASSERT_TRUE(sim.SetDesktop(desktop)) << sim.LastError();
}

void SimulatorTest::TearDown()
{
    if (sim.IsOpen()) {
        EXPECT_TRUE(sim.Reset()) << sim.LastError();
    }
}

Device::Device()
    : handle_(CreateFileW(TOUCH_CONTROL_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr))
{
    if (handle_ == INVALID_HANDLE_VALUE)
        openError_ = GetLastError();
}

Device::~Device()
{
    if (handle_ != INVALID_HANDLE_VALUE)
        CloseHandle(handle_);
}

DWORD Device::Control(DWORD code, const void* in, DWORD inBytes, void* out, DWORD outBytes, DWORD* bytes)
{
    if (!DeviceIoControl(handle_, code, const_cast<void*>(in), inBytes, out, outBytes, bytes, nullptr))
        return GetLastError();
    return 0;
}

namespace {

std::wstring WindowsPath(const char* path)
{
    std::wstring p;
    for (const char* c = path; *c != 0; ++c)
        p.push_back(*c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c)));
    return p;
}

class Handle {
public:
    explicit Handle(HANDLE h = nullptr) : h_(h) {}
    ~Handle() { if (h_ != nullptr && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return h_; }
    HANDLE* Out() { return &h_; }

private:
    HANDLE h_;
};

} // namespace

std::wstring ToolPath()
{
    return WindowsPath(TOUCHSIM_TOOL_PATH);
}

std::wstring PnpWalkPath()
{
    return WindowsPath(TOUCHSIM_PNP_WALK_PATH);
}

DWORD RunProcess(const std::wstring& exe, const std::wstring& arguments, std::string* output, DWORD timeoutMs)
{
    output->clear();
    wchar_t tempDir[MAX_PATH];
    wchar_t tempFile[MAX_PATH];
    if (GetTempPathW(MAX_PATH, tempDir) == 0 || GetTempFileNameW(tempDir, L"sim", 0, tempFile) == 0)
        return ~0u;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    Handle file(CreateFileW(tempFile, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE)
        return ~0u;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = file.Get();
    si.hStdError = file.Get();
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        return ~0u;
    Handle process(pi.hProcess);
    Handle thread(pi.hThread);
    DWORD code = ~0u;
    if (WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.Get(), 1);
        WaitForSingleObject(process.Get(), 10000);
    } else if (!GetExitCodeProcess(process.Get(), &code)) {
        code = ~0u;
    }
    if (SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return ~0u;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer, sizeof(buffer), &got, nullptr) && got != 0)
        output->append(buffer, got);
    return code;
}

std::string Field(const std::string& output, const std::string& linePrefix, const std::string& key)
{
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.compare(0, linePrefix.size(), linePrefix) != 0)
            continue;
        std::istringstream words(line);
        std::string word;
        while (words >> word) {
            if (word.compare(0, key.size() + 1, key + "=") == 0)
                return word.substr(key.size() + 1);
        }
    }
    return "";
}

} // namespace simtest
