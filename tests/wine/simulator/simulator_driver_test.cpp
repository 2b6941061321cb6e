// The suite's nine control codes against the simulated driver, as the programs send them, and
// every kind of injected fault.
#include "SimTestSupport.h"

#include <cstring>
#include <functional>
#include <vector>

namespace {

using namespace touch;
using simtest::Device;
using touchsim::PanelConfig;
using touchsim::StraightPanel;

const touchsim::Rect32 kScreen = {0, 0, 1024, 768};

std::wstring LongName()
{
    std::wstring name = L"\\Device\\";
    while (name.size() < kObjectNameUnits - 1)
        name.push_back(static_cast<wchar_t>(L'A' + name.size() % 26));
    return name;
}

std::wstring EntryName(const DeviceListEntry& e)
{
    std::wstring s;
    for (uint32_t i = 0; i < kObjectNameUnits && e.objectName[i] != 0; ++i)
        s.push_back(static_cast<wchar_t>(e.objectName[i]));
    return s;
}

class DriverTest : public simtest::SimulatorTest {
protected:
    void AddTwo()
    {
        ASSERT_TRUE(sim.AddController(0x11, L"\\Device\\USBPDO-4", StraightPanel(kScreen))) << sim.LastError();
        ASSERT_TRUE(sim.AddController(0x2200, LongName(), StraightPanel(kScreen))) << sim.LastError();
    }

    // The discovery exchange of the programs: count, then the list with n = count.
    DWORD Count(Device& d, uint32_t* count, DWORD* bytes)
    {
        DeviceCountRecord in = {0}, out = {0xFFFF};
        *bytes = 0xDEAD;
        DWORD e = d.Control(IOCTL_TOUCH_GET_DEVICE_COUNT, &in, sizeof(in), &out, sizeof(out), bytes);
        *count = out.count;
        return e;
    }

    DWORD List(Device& d, uint32_t n, std::vector<uint8_t>* reply, DWORD* bytes)
    {
        std::vector<uint8_t> request(kDeviceListRequestBytes, 0);
        reinterpret_cast<DeviceListHeader*>(request.data())->count = n;
        reply->assign(DeviceListBytes(n), 0);
        *bytes = 0xDEAD;
        return d.Control(IOCTL_TOUCH_GET_DEVICE_LIST, request.data(), static_cast<DWORD>(request.size()),
                         reply->data(), static_cast<DWORD>(reply->size()), bytes);
    }

    DWORD GetState(Device& d, uint32_t id, CalibrationStateRecord* out, DWORD* bytes)
    {
        CalibrationStateRecord in = {id, kCalStateWaiting, 0, 0};
        *out = {};
        *bytes = 0xDEAD;
        return d.Control(IOCTL_TOUCH_GET_CAL_STATE, &in, sizeof(in), out, sizeof(*out), bytes);
    }

    DWORD GetMode(Device& d, uint32_t id, uint32_t* mode)
    {
        TouchModeRecord io = {id, 0xFFFF};
        DWORD bytes = 0;
        DWORD e = d.Control(IOCTL_TOUCH_GET_MODE, &io, sizeof(io), &io, sizeof(io), &bytes);
        if (e == 0 && bytes != sizeof(io))
            return ERROR_INVALID_DATA;
        *mode = io.mode;
        return e;
    }

    DWORD SetMode(Device& d, uint32_t id, uint32_t mode)
    {
        TouchModeRecord in = {id, mode};
        DWORD bytes = 0;
        return d.Control(IOCTL_TOUCH_SET_MODE, &in, sizeof(in), nullptr, 0, &bytes);
    }

    DWORD SendId(Device& d, DWORD code, uint32_t id)
    {
        DeviceIdRecord in = {id};
        DWORD bytes = 0;
        return d.Control(code, &in, sizeof(in), nullptr, 0, &bytes);
    }
};

TEST_F(DriverTest, DiscoversTwoControllersWithExactByteCounts)
{
    AddTwo();
    Device d;
    ASSERT_TRUE(d.Valid()) << d.OpenError();
    uint32_t count = 0;
    DWORD bytes = 0;
    ASSERT_EQ(Count(d, &count, &bytes), 0u);
    EXPECT_EQ(bytes, 4u);
    ASSERT_EQ(count, 2u);

    std::vector<uint8_t> reply;
    ASSERT_EQ(List(d, count, &reply, &bytes), 0u);
    EXPECT_EQ(bytes, 816u);
    const DeviceListHeader* header = reinterpret_cast<const DeviceListHeader*>(reply.data());
    const DeviceListEntry* entries = reinterpret_cast<const DeviceListEntry*>(header + 1);
    EXPECT_EQ(header->count, 2u);
    EXPECT_EQ(entries[0].deviceId, 0x11u);
    EXPECT_EQ(EntryName(entries[0]), L"\\Device\\USBPDO-4");
    EXPECT_EQ(entries[1].deviceId, 0x2200u);
    EXPECT_EQ(EntryName(entries[1]), LongName());
    EXPECT_EQ(entries[1].objectName[kObjectNameUnits - 1], 0u);

    // Room for fewer or more entries than there are: exactly 8 + 404 n bytes, count <= n.
    ASSERT_EQ(List(d, 1, &reply, &bytes), 0u);
    EXPECT_EQ(bytes, 412u);
    EXPECT_EQ(reinterpret_cast<const DeviceListHeader*>(reply.data())->count, 1u);
    ASSERT_EQ(List(d, 3, &reply, &bytes), 0u);
    EXPECT_EQ(bytes, DeviceListBytes(3));
    EXPECT_EQ(reinterpret_cast<const DeviceListHeader*>(reply.data())->count, 2u);
}

TEST_F(DriverTest, NoControllersGivesAnEmptyButSuccessfulList)
{
    Device d;
    uint32_t count = 9;
    DWORD bytes = 0;
    ASSERT_EQ(Count(d, &count, &bytes), 0u);
    EXPECT_EQ(count, 0u);
    std::vector<uint8_t> reply;
    ASSERT_EQ(List(d, 0, &reply, &bytes), 0u);
    EXPECT_EQ(bytes, 8u);
    EXPECT_EQ(reinterpret_cast<const DeviceListHeader*>(reply.data())->count, 0u);
}

TEST_F(DriverTest, GetsAndSetsTheTouchModePerController)
{
    AddTwo();
    Device d;
    uint32_t mode = 9;
    ASSERT_EQ(GetMode(d, 0x11, &mode), 0u);
    EXPECT_EQ(mode, 0u);
    ASSERT_EQ(SetMode(d, 0x11, 3), 0u);
    ASSERT_EQ(SetMode(d, 0x2200, 1), 0u);
    ASSERT_EQ(GetMode(d, 0x11, &mode), 0u);
    EXPECT_EQ(mode, 3u);
    ASSERT_EQ(GetMode(d, 0x2200, &mode), 0u);
    EXPECT_EQ(mode, 1u);
    ASSERT_EQ(SetMode(d, 0x11, 2), 0u);
    EXPECT_EQ(SetMode(d, 0x11, 4), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    touchsim::SimControllerState s;
    ASSERT_TRUE(sim.GetState(0x11, &s));
    EXPECT_EQ(s.mode, 2u);
    ASSERT_EQ(s.modeHistoryCount, 2u);
    EXPECT_EQ(s.modeHistory[0], 3u);
    EXPECT_EQ(s.modeHistory[1], 2u);
    EXPECT_EQ(s.requests[touchsim::SuiteCodeIndex(IOCTL_TOUCH_GET_MODE)], 2u);
}

TEST_F(DriverTest, CalibrationStateWaitsAfterAResetUntilATouchIsCompleted)
{
    AddTwo();
    Device d;
    CalibrationStateRecord st;
    DWORD bytes = 0;
    ASSERT_EQ(SendId(d, IOCTL_TOUCH_RESET_CAL_STATE, 0x11), 0u);
    ASSERT_EQ(GetState(d, 0x11, &st, &bytes), 0u);
    EXPECT_EQ(bytes, 16u);
    EXPECT_EQ(st.deviceId, 0x11u);
    EXPECT_EQ(st.state, kCalStateWaiting);

    ASSERT_TRUE(sim.TouchRaw(0x11, 1234, 3210)) << sim.LastError();
    ASSERT_EQ(GetState(d, 0x11, &st, &bytes), 0u);
    EXPECT_EQ(bytes, 16u);
    EXPECT_EQ(st.state, kCalStateReady);
    EXPECT_EQ(st.rawX, 1234);
    EXPECT_EQ(st.rawY, 3210);
    // The other controller saw no touch.
    ASSERT_EQ(GetState(d, 0x2200, &st, &bytes), 0u);
    EXPECT_EQ(st.state, kCalStateWaiting);

    ASSERT_EQ(SendId(d, IOCTL_TOUCH_RESET_CAL_STATE, 0x11), 0u);
    ASSERT_EQ(GetState(d, 0x11, &st, &bytes), 0u);
    EXPECT_EQ(st.state, kCalStateWaiting);

    // A touch at a desktop point goes through the panel model: (256, 384) of a straight panel.
    touchsim::SimTouchResult r;
    ASSERT_TRUE(sim.TouchAt(0x11, 256, 384, &r));
    ASSERT_EQ(GetState(d, 0x11, &st, &bytes), 0u);
    EXPECT_EQ(st.state, kCalStateReady);
    EXPECT_EQ(st.rawX, 1024);
    EXPECT_EQ(st.rawY, 2048);
    EXPECT_EQ(r.rawX, st.rawX);
}

TEST_F(DriverTest, CalibrationRecordScreenRangeAndReloadAreReadBack)
{
    AddTwo();
    Device d;
    DWORD bytes = 0;
    CalibrationRecord first = {0x11, 300, 134, 3800, 3966, 0};
    CalibrationRecord second = {0x11, 3800, 134, 300, 3966, 1};
    ScreenRangeRecord range = {0x11, 8191, 24575, 0, 32767};
    ASSERT_EQ(d.Control(IOCTL_TOUCH_SET_CALIBRATION, &first, sizeof(first), nullptr, 0, &bytes), 0u);
    ASSERT_EQ(d.Control(IOCTL_TOUCH_SET_CALIBRATION, &second, sizeof(second), nullptr, 0, &bytes), 0u);
    ASSERT_EQ(d.Control(IOCTL_TOUCH_SET_SCREEN_RANGE, &range, sizeof(range), nullptr, 0, &bytes), 0u);
    ASSERT_EQ(SendId(d, IOCTL_TOUCH_RELOAD_SETTINGS, 0x2200), 0u);
    ASSERT_EQ(SendId(d, IOCTL_TOUCH_RELOAD_SETTINGS, 0x2200), 0u);

    touchsim::SimControllerState s;
    ASSERT_TRUE(sim.GetState(0x11, &s));
    EXPECT_EQ(std::memcmp(&s.calibration, &second, sizeof(second)), 0);
    EXPECT_EQ(std::memcmp(&s.range, &range, sizeof(range)), 0);
    ASSERT_EQ(s.calibrationHistoryCount, 2u);
    EXPECT_EQ(std::memcmp(&s.calibrationHistory[0], &first, sizeof(first)), 0);
    EXPECT_EQ(std::memcmp(&s.calibrationHistory[1], &second, sizeof(second)), 0);
    ASSERT_EQ(s.rangeHistoryCount, 1u);
    EXPECT_EQ(std::memcmp(&s.rangeHistory[0], &range, sizeof(range)), 0);
    EXPECT_EQ(s.reloadCount, 0u);
    ASSERT_TRUE(sim.GetState(0x2200, &s));
    EXPECT_EQ(s.reloadCount, 2u);
    EXPECT_EQ(s.calibrationSent, 0u);

    ASSERT_TRUE(sim.ClearHistory());
    ASSERT_TRUE(sim.GetState(0x11, &s));
    EXPECT_EQ(s.calibrationHistoryCount, 0u);
    EXPECT_EQ(std::memcmp(&s.calibration, &second, sizeof(second)), 0) << "the mapping in force stays";
}

TEST_F(DriverTest, BadRequestsFailWithAClearError)
{
    AddTwo();
    Device d;
    DWORD bytes = 0;
    uint32_t mode = 0;
    EXPECT_EQ(GetMode(d, 0x12, &mode), static_cast<DWORD>(touchsim::kErrorDeviceMissing));
    EXPECT_EQ(SendId(d, IOCTL_TOUCH_RESET_CAL_STATE, 0), static_cast<DWORD>(touchsim::kErrorDeviceMissing));
    CalibrationRecord cal = {0x11, 0, 0, 4096, 4096, 0};
    EXPECT_EQ(d.Control(IOCTL_TOUCH_SET_CALIBRATION, &cal, sizeof(cal) - 1, nullptr, 0, &bytes),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    CalibrationStateRecord st = {0x11, kCalStateWaiting, 0, 0};
    EXPECT_EQ(d.Control(IOCTL_TOUCH_GET_CAL_STATE, &st, sizeof(st), &st, 12, &bytes),
              static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    uint32_t count = 0;
    DeviceCountRecord in = {0};
    EXPECT_EQ(d.Control(IOCTL_TOUCH_GET_DEVICE_COUNT, &in, sizeof(in), &count, 2, &bytes),
              static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    // A list reply buffer too small for the n entries asked for.
    std::vector<uint8_t> request(kDeviceListRequestBytes, 0);
    reinterpret_cast<DeviceListHeader*>(request.data())->count = 2;
    std::vector<uint8_t> reply(DeviceListBytes(2) - 1);
    EXPECT_EQ(d.Control(IOCTL_TOUCH_GET_DEVICE_LIST, request.data(), 412, reply.data(),
                        static_cast<DWORD>(reply.size()), &bytes),
              static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    DeviceIdRecord id = {0x11};
    EXPECT_EQ(d.Control(touch::MakeControlCode(0x802), &id, sizeof(id), nullptr, 0, &bytes),
              static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    // Names must fit 199 units and a terminator.
    EXPECT_FALSE(sim.AddController(0x33, LongName() + L"X", StraightPanel(kScreen)));

    touchsim::SimSummary summary;
    ASSERT_TRUE(sim.GetSummary(&summary));
    EXPECT_EQ(summary.failedRequests, 6u);
}

TEST_F(DriverTest, EachKindOfInjectedFaultAffectsTheNextRequestsOfItsCode)
{
    AddTwo();
    Device d;
    DWORD bytes = 0;
    uint32_t mode = 0;

    ASSERT_TRUE(sim.InjectFault(IOCTL_TOUCH_GET_MODE, touchsim::kFaultError, 2, ERROR_ACCESS_DENIED));
    EXPECT_EQ(GetMode(d, 0x11, &mode), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(SetMode(d, 0x11, 3), 0u) << "other codes are not affected";
    EXPECT_EQ(GetMode(d, 0x11, &mode), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(GetMode(d, 0x11, &mode), 0u);
    EXPECT_EQ(mode, 3u);

    ASSERT_TRUE(sim.InjectFault(IOCTL_TOUCH_GET_CAL_STATE, touchsim::kFaultByteCount, 1, 8));
    CalibrationStateRecord st;
    ASSERT_EQ(GetState(d, 0x11, &st, &bytes), 0u);
    EXPECT_EQ(bytes, 8u);
    ASSERT_EQ(GetState(d, 0x11, &st, &bytes), 0u);
    EXPECT_EQ(bytes, 16u);

    ASSERT_TRUE(sim.InjectFault(IOCTL_TOUCH_GET_CAL_STATE, touchsim::kFaultState, 1, 0x1234));
    ASSERT_EQ(GetState(d, 0x11, &st, &bytes), 0u);
    EXPECT_EQ(st.state, 0x1234u);
    ASSERT_EQ(GetState(d, 0x11, &st, &bytes), 0u);
    EXPECT_EQ(st.state, kCalStateWaiting);

    ASSERT_TRUE(sim.InjectFault(IOCTL_TOUCH_GET_DEVICE_LIST, touchsim::kFaultListCount, 1, 1));
    std::vector<uint8_t> reply;
    ASSERT_EQ(List(d, 2, &reply, &bytes), 0u);
    EXPECT_EQ(bytes, 816u);
    EXPECT_EQ(reinterpret_cast<const DeviceListHeader*>(reply.data())->count, 3u);

    ASSERT_TRUE(sim.InjectFault(IOCTL_TOUCH_GET_DEVICE_LIST, touchsim::kFaultByteCount, 1, 815));
    ASSERT_EQ(List(d, 2, &reply, &bytes), 0u);
    EXPECT_EQ(bytes, 815u);

    ASSERT_TRUE(sim.InjectFault(IOCTL_TOUCH_GET_DEVICE_COUNT, touchsim::kFaultByteCount, 1, 3));
    uint32_t count = 0;
    ASSERT_EQ(Count(d, &count, &bytes), 0u);
    EXPECT_EQ(bytes, 3u);

    ASSERT_TRUE(sim.InjectFault(IOCTL_TOUCH_SET_SCREEN_RANGE, touchsim::kFaultError, 1, ERROR_GEN_FAILURE));
    ScreenRangeRecord range = {0x11, 0, 32767, 0, 32767};
    EXPECT_EQ(d.Control(IOCTL_TOUCH_SET_SCREEN_RANGE, &range, sizeof(range), nullptr, 0, &bytes),
              static_cast<DWORD>(ERROR_GEN_FAILURE));
    touchsim::SimControllerState s;
    ASSERT_TRUE(sim.GetState(0x11, &s));
    EXPECT_EQ(s.rangeSent, 0u) << "a failed request changes nothing";

    touchsim::SimSummary summary;
    ASSERT_TRUE(sim.GetSummary(&summary));
    EXPECT_EQ(summary.pendingFaults, 0u);

    // Faults can be withdrawn before they fire.
    ASSERT_TRUE(sim.InjectFault(IOCTL_TOUCH_RELOAD_SETTINGS, touchsim::kFaultError, 5, ERROR_BUSY));
    ASSERT_TRUE(sim.ClearFaults());
    EXPECT_EQ(SendId(d, IOCTL_TOUCH_RELOAD_SETTINGS, 0x11), 0u);
    EXPECT_FALSE(sim.InjectFault(0x00220000, touchsim::kFaultError, 1, 5)) << "only the suite's codes";
}

// A request of another thread, on its own handle, as a program's worker sends it.
struct HeldRequest {
    DWORD code;
    uint32_t id;
    DWORD error = 0xDEAD;
    DWORD took = 0;
    HANDLE thread = nullptr;

    static DWORD WINAPI Run(void* p)
    {
        HeldRequest& r = *static_cast<HeldRequest*>(p);
        Device d;
        TouchModeRecord io = {r.id, 0};
        DWORD bytes = 0;
        const ULONGLONG start = GetTickCount();
        r.error = d.Control(r.code, &io, sizeof(io), &io, r.code == IOCTL_TOUCH_GET_MODE ? sizeof(io) : 0, &bytes);
        r.took = GetTickCount() - start;
        return 0;
    }
    bool Start() { return (thread = CreateThread(nullptr, 0, &Run, this, 0, nullptr)) != nullptr; }
    bool Ended(DWORD ms) const { return WaitForSingleObject(thread, ms) == WAIT_OBJECT_0; }
    ~HeldRequest()
    {
        if (thread != nullptr) {
            WaitForSingleObject(thread, 30000);
            CloseHandle(thread);
        }
    }
};

bool Within(DWORD ms, const std::function<bool()>& condition)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > ms)
            return false;
        Sleep(10);
    }
    return true;
}

uint32_t Stalled(touchsim::SimClient& sim)
{
    touchsim::SimSummary summary = {};
    return sim.GetSummary(&summary) ? summary.stalledRequests : 0xFFFFFFFFu;
}

TEST_F(DriverTest, StalledRequestReturnsAfterItsTimeOrWhenTheFaultsGo)
{
    AddTwo();
    Device d;
    ASSERT_TRUE(sim.StallRequests(IOCTL_TOUCH_GET_MODE, 700)) << sim.LastError();
    {
        HeldRequest held{IOCTL_TOUCH_GET_MODE, 0x11};
        ASSERT_TRUE(held.Start());
        ASSERT_TRUE(Within(10000, [&] { return Stalled(sim) == 1; }));
        // The driver goes on serving everyone else meanwhile, the same code included.
        EXPECT_EQ(SetMode(d, 0x2200, 2), 0u);
        uint32_t mode = 9;
        EXPECT_EQ(GetMode(d, 0x2200, &mode), 0u);
        EXPECT_EQ(mode, 2u);
        ASSERT_TRUE(held.Ended(30000));
        EXPECT_EQ(held.error, 0u);
        EXPECT_GE(held.took, 650u);
        EXPECT_EQ(Stalled(sim), 0u);
    }

    // A long stall ends at once when the faults are cleared, or the driver is reset.
    for (int release = 0; release < 3; ++release) {
        ASSERT_TRUE(sim.StallRequests(IOCTL_TOUCH_SET_MODE, 600000, 2));
        HeldRequest held{IOCTL_TOUCH_SET_MODE, 0x11};
        ASSERT_TRUE(held.Start());
        ASSERT_TRUE(Within(10000, [&] { return Stalled(sim) == 1; }));
        EXPECT_FALSE(held.Ended(300));
        ASSERT_TRUE(release == 0 ? sim.ClearFaults()
                    : release == 1 ? sim.InjectFault(IOCTL_TOUCH_SET_MODE, touchsim::kFaultStall, 0, 0)
                                   : sim.Reset());
        ASSERT_TRUE(held.Ended(10000)) << "release " << release;
        EXPECT_EQ(held.error, release == 2 ? static_cast<DWORD>(ERROR_DEV_NOT_EXIST) : 0u) << "release " << release;
        EXPECT_EQ(Stalled(sim), 0u);
        if (release < 2) {
            EXPECT_EQ(SetMode(d, 0x11, 1), 0u) << "the second stall went with the first";
        }
    }
    EXPECT_FALSE(sim.StallRequests(IOCTL_TOUCH_SET_MODE, 0)) << "a stall needs a time";
}

} // namespace
