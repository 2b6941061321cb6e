// The PnP fixture seen through the programs' own SetupAPI walk, in this process and in a child
// process started from here: device nodes joined to simulated controllers by object name, real
// driver keys, and each special case a test can set up.
#include "SimTestSupport.h"

#include <map>
#include <sstream>

#include "PnpWalk.h"

namespace {

using touchsim::DeviceNodeSpec;

const wchar_t kPrefix[] = L"USB\\VID_0EEF&PID_0001\\PNP";

std::wstring Instance(const wchar_t* suffix)
{
    return std::wstring(kPrefix) + suffix;
}

class PnpTest : public simtest::SimulatorTest {
protected:
    void SetUp() override
    {
        simtest::SimulatorTest::SetUp();
        DWORD error = 0;
        ASSERT_TRUE(touchsim::RemoveAllDeviceNodes(&error)) << error;
        Add(L"A", L"\\Device\\PnpA", [](DeviceNodeSpec&) {});
        Add(L"B", L"\\Device\\PnpB", [](DeviceNodeSpec& s) { s.driverKey = false; });
        Add(L"C", L"\\Device\\PnpC", [](DeviceNodeSpec& s) { s.objectNameError = ERROR_INSUFFICIENT_BUFFER; });
        Add(L"D", L"\\Device\\PnpD", [](DeviceNodeSpec& s) { s.objectNameError = ERROR_GEN_FAILURE; });
        Add(L"E", L"\\Device\\PnpE", [](DeviceNodeSpec& s) { s.manufacturerError = ERROR_ACCESS_DENIED; });
        Add(L"F", L"\\Device\\PnpF", [](DeviceNodeSpec& s) { s.descriptionError = ERROR_INVALID_DATA; });
        Add(L"G", L"\\Device\\PnpG", [](DeviceNodeSpec& s) { s.objectNameType = REG_BINARY; });
        ASSERT_TRUE(sim.AddController(1, L"\\Device\\PnpA", touchsim::StraightPanel({0, 0, 1024, 768})));
        ASSERT_TRUE(sim.AddController(2, L"\\Device\\PnpNone", touchsim::StraightPanel({0, 0, 1024, 768})));
    }

    void TearDown() override
    {
        DWORD error = 0;
        EXPECT_TRUE(touchsim::RemoveAllDeviceNodes(&error)) << error;
        simtest::SimulatorTest::TearDown();
    }

    template <typename Change>
    void Add(const wchar_t* suffix, const wchar_t* objectName, Change change)
    {
        DeviceNodeSpec setup;
        setup.instanceId = Instance(suffix);
        setup.objectName = objectName;
        setup.manufacturer = std::wstring(L"Maker ") + suffix;
        setup.description = std::wstring(L"Touch ") + suffix;
        change(setup);
        DWORD error = 0;
        ASSERT_TRUE(touchsim::AddDeviceNode(setup, &error)) << "node " << suffix << ": error " << error;
    }

    // Our nodes from a walk, by the instance id's last letter.
    static std::map<wchar_t, pnpwalk::Device> Ours(const std::vector<pnpwalk::Device>& all)
    {
        std::map<wchar_t, pnpwalk::Device> ours;
        std::wstring prefix(kPrefix);
        for (const pnpwalk::Device& d : all) {
            if (d.instanceId.size() == prefix.size() + 1 && lstrcmpiW(d.instanceId.substr(0, prefix.size()).c_str(),
                                                                      prefix.c_str()) == 0)
                ours[d.instanceId.back()] = d;
        }
        return ours;
    }

    static void ExpectTheCases(const std::map<wchar_t, pnpwalk::Device>& n)
    {
        ASSERT_EQ(n.size(), 7u);
        const pnpwalk::Device& a = n.at(L'A');
        EXPECT_TRUE(a.objectName.ok);
        EXPECT_EQ(a.objectName.type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(a.objectName.text, L"\\Device\\PnpA");
        EXPECT_EQ(a.objectName.size, (a.objectName.text.size() + 1) * sizeof(wchar_t));
        EXPECT_TRUE(a.manufacturer.ok);
        EXPECT_EQ(a.manufacturer.text, L"Maker A");
        EXPECT_TRUE(a.description.ok);
        EXPECT_EQ(a.description.text, L"Touch A");
        EXPECT_TRUE(a.keyOpened) << a.keyError;

        EXPECT_TRUE(n.at(L'B').objectName.ok);
        EXPECT_FALSE(n.at(L'B').keyOpened);
        EXPECT_EQ(n.at(L'B').keyError, 0xE0000204u) << "ERROR_KEY_DOES_NOT_EXIST";
        EXPECT_FALSE(n.at(L'C').objectName.ok);
        EXPECT_EQ(n.at(L'C').objectName.error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_FALSE(n.at(L'D').objectName.ok);
        EXPECT_EQ(n.at(L'D').objectName.error, static_cast<DWORD>(ERROR_GEN_FAILURE));
        EXPECT_TRUE(n.at(L'E').objectName.ok);
        EXPECT_FALSE(n.at(L'E').manufacturer.ok);
        EXPECT_EQ(n.at(L'E').manufacturer.error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
        EXPECT_TRUE(n.at(L'E').description.ok);
        EXPECT_TRUE(n.at(L'F').manufacturer.ok);
        EXPECT_FALSE(n.at(L'F').description.ok);
        EXPECT_EQ(n.at(L'F').description.error, static_cast<DWORD>(ERROR_INVALID_DATA));
        EXPECT_TRUE(n.at(L'G').objectName.ok);
        EXPECT_EQ(n.at(L'G').objectName.type, static_cast<DWORD>(REG_BINARY));
    }
};

TEST_F(PnpTest, TheWalkInThisProcessSeesEachCase)
{
    std::vector<pnpwalk::Device> all;
    DWORD error = 0;
    ASSERT_TRUE(pnpwalk::Walk(&all, &error)) << error;
    ExpectTheCases(Ours(all));
}

TEST_F(PnpTest, TheWalkInAChildProcessSeesTheSame)
{
    std::string out;
    ASSERT_EQ(simtest::RunProcess(simtest::PnpWalkPath(), L"", &out), 0u) << out;
    std::vector<pnpwalk::Device> all;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        pnpwalk::Device d;
        if (pnpwalk::Parse(std::wstring(line.begin(), line.end()), &d))
            all.push_back(d);
    }
    ExpectTheCases(Ours(all));
}

TEST_F(PnpTest, ControllersJoinTheirNodesByObjectNameAndOneHasNone)
{
    std::vector<pnpwalk::Device> all;
    DWORD error = 0;
    ASSERT_TRUE(pnpwalk::Walk(&all, &error)) << error;
    std::map<uint32_t, std::wstring> joined;
    for (uint32_t id : {1u, 2u}) {
        touchsim::SimControllerState s;
        ASSERT_TRUE(sim.GetState(id, &s));
        std::wstring name(reinterpret_cast<const wchar_t*>(s.objectName));
        for (const pnpwalk::Device& d : all) {
            if (d.objectName.ok && d.objectName.type == REG_SZ && lstrcmpiW(d.objectName.text.c_str(), name.c_str()) == 0)
                joined[id] = d.instanceId;
        }
    }
    EXPECT_EQ(joined[1], Instance(L"A"));
    EXPECT_EQ(joined.count(2), 0u);
}

TEST_F(PnpTest, DriverKeysAreRealKeysAndRemovedNodesDisappear)
{
    HKEY key = nullptr;
    DWORD error = 0;
    ASSERT_TRUE(touchsim::OpenDriverKey(Instance(L"A"), KEY_ALL_ACCESS, &key, &error)) << error;
    DWORD value = 3800;
    EXPECT_EQ(RegSetValueExW(key, L"XLow", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_TRUE(touchsim::OpenDriverKey(Instance(L"A"), KEY_READ, &key, &error)) << error;
    DWORD read = 0, type = 0, size = sizeof(read);
    EXPECT_EQ(RegQueryValueExW(key, L"XLow", nullptr, &type, reinterpret_cast<BYTE*>(&read), &size), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(read, 3800u);
    EXPECT_FALSE(touchsim::OpenDriverKey(Instance(L"B"), KEY_READ, &key, &error));

    ASSERT_TRUE(touchsim::RemoveDeviceNode(Instance(L"A"), &error)) << error;
    std::vector<pnpwalk::Device> all;
    ASSERT_TRUE(pnpwalk::Walk(&all, &error)) << error;
    EXPECT_EQ(Ours(all).count(L'A'), 0u);
    EXPECT_EQ(Ours(all).size(), 6u);
}

} // namespace
