// Test set-up over the simulated driver and the PnP fixture: controllers the driver reports and
// USB device nodes they join with. Starts from nothing and leaves nothing behind.
#pragma once

#include "simulator/client/SimClient.h"
#include "tests/support/WineTestSupport.h"

#include <windows.h>

#include <string>

namespace qelvo::test {

class SimulatedControllers {
public:
    SimulatedControllers() = default;
    ~SimulatedControllers() { Clear(); }
    SimulatedControllers(const SimulatedControllers&) = delete;
    SimulatedControllers& operator=(const SimulatedControllers&) = delete;

    // Opens the driver and removes every controller, fault and device node.
    bool Start()
    {
        if (!sim.IsOpen() && !sim.Open())
            return false;
        return Clear();
    }

    bool Clear()
    {
        bool ok = true;
        if (sim.IsOpen())
            ok = sim.Reset() && sim.ClearFaults();
        DWORD error = 0;
        return touchsim::RemoveAllDeviceNodes(&error) && ok;
    }

    bool AddController(uint32_t deviceId, const std::wstring& objectName)
    {
        touchsim::PanelConfig panel = touchsim::StraightPanel(touchsim::Rect32{0, 0, 1024, 768});
        return sim.AddController(deviceId, objectName, panel);
    }

    bool AddNode(const touchsim::DeviceNodeSpec& node)
    {
        DWORD error = 0;
        return touchsim::AddDeviceNode(node, &error);
    }

    // A node with the usual properties and a driver key.
    bool AddNode(const std::wstring& instanceId, const std::wstring& objectName, const std::wstring& manufacturer,
                 const std::wstring& description)
    {
        touchsim::DeviceNodeSpec node;
        node.instanceId = instanceId;
        node.objectName = objectName;
        node.manufacturer = manufacturer;
        node.description = description;
        return AddNode(node);
    }

    touchsim::SimClient sim;
};

// A thread of its own for code that runs a modal dialog, so that the test's thread can drive it.
// If the body is still running at destruction, its windows are closed so that it can end.
class UiThread {
public:
    template <class F>
    explicit UiThread(F body) : body_(new Body<F>(body))
    {
        thread_ = ::CreateThread(nullptr, 0, &UiThread::Run, this, 0, &id_);
    }
    ~UiThread()
    {
        if (thread_ != nullptr) {
            if (!Join(100)) {
                CloseWindows();
                if (!Join(20000))
                    ::TerminateThread(thread_, 1);
            }
            ::CloseHandle(thread_);
        }
        delete body_;
    }
    UiThread(const UiThread&) = delete;
    UiThread& operator=(const UiThread&) = delete;

    bool Started() const { return thread_ != nullptr; }
    DWORD Id() const { return id_; }
    bool Join(DWORD timeoutMs) { return thread_ != nullptr && ::WaitForSingleObject(thread_, timeoutMs) == WAIT_OBJECT_0; }
    bool Running() { return thread_ != nullptr && ::WaitForSingleObject(thread_, 0) == WAIT_TIMEOUT; }

    void CloseWindows() const { ::EnumThreadWindows(id_, &UiThread::CloseOne, 0); }

private:
    static BOOL CALLBACK CloseOne(HWND hwnd, LPARAM)
    {
        ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
        return TRUE;
    }

    struct BodyBase {
        virtual ~BodyBase() = default;
        virtual void Call() = 0;
    };
    template <class F>
    struct Body : BodyBase {
        explicit Body(F f) : f_(f) {}
        void Call() override { f_(); }
        F f_;
    };
    static DWORD WINAPI Run(void* self)
    {
        static_cast<UiThread*>(self)->body_->Call();
        return 0;
    }

    BodyBase* body_;
    HANDLE thread_ = nullptr;
    DWORD id_ = 0;
};

struct ThreadWindowSearch {
    const wchar_t* caption;
    HWND found;
};

inline BOOL CALLBACK MatchThreadWindow(HWND hwnd, LPARAM lParam)
{
    ThreadWindowSearch* search = reinterpret_cast<ThreadWindowSearch*>(lParam);
    wchar_t text[256] = {};
    ::GetWindowTextW(hwnd, text, 256);
    if (::IsWindowVisible(hwnd) && lstrcmpW(text, search->caption) == 0) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// The caption of DeviceSelectDialog in the language of this process.
inline const wchar_t* const kSelectDeviceCaption = qelvo::test::InLanguage(L"选择设备", L"Select Device");

// The dialog window of `threadId` with this caption, once it is visible; null on time-out.
inline HWND WaitForThreadDialog(DWORD threadId, const wchar_t* caption, DWORD timeoutMs)
{
    ThreadWindowSearch search = {caption, nullptr};
    WaitFor(
        [&] {
            search.found = nullptr;
            ::EnumThreadWindows(threadId, &MatchThreadWindow, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    return search.found;
}

} // namespace qelvo::test
