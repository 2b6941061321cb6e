// Helpers shared by the simulator's Wine tests: a client fixture that leaves the driver as it found
// it (no controllers, no faults), raw suite requests, and child processes with captured output.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "simulator/client/SimClient.h"

namespace simtest {

// Opens the control device, resets it and sets a 1024 x 768 desktop at full scale 32767;
// resets again afterwards.
class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    touchsim::SimClient sim;
};

// A handle to \\.\VOVUDA opened as the programs open it, closed by its owner.
class Device {
public:
    Device();
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    DWORD OpenError() const { return openError_; }
    // DeviceIoControl; returns 0 on success or the Windows error, with the byte count in *bytes
    // (left as it was on failure).
    DWORD Control(DWORD code, const void* in, DWORD inBytes, void* out, DWORD outBytes, DWORD* bytes);

private:
    HANDLE handle_;
    DWORD openError_ = 0;
};

// Runs a program with a command line, waits up to timeoutMs for it to end, and returns its exit
// code (or ~0u when it could not be started or did not end); its standard output goes to *output.
DWORD RunProcess(const std::wstring& exe, const std::wstring& arguments, std::string* output,
                 DWORD timeoutMs = 120000);

std::wstring ToolPath();
std::wstring PnpWalkPath();

// The value of key= in the first output line that begins with linePrefix, or "" when none has it.
std::string Field(const std::string& output, const std::string& linePrefix, const std::string& key);

} // namespace simtest
