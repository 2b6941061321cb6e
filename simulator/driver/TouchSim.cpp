// Simulated touch driver: creates \Device\VOVUDA with the link \DosDevices\VOVUDA and serves the
// suite's nine control codes for a configurable set of controllers, plus the private codes of
// SimProtocol.h for the test client and the touchsim tool.
// Kernel mode: no C++ runtime, no exceptions, no floating point. One spin lock guards all state;
// requests are handled completely under it and nothing in here blocks. A request held by a stall
// fault is pended and served later by the release thread, so the dispatch thread never waits.
extern "C" {
#include <ntddk.h>
NTSYSAPI NTSTATUS NTAPI ZwWaitForSingleObject(HANDLE handle, BOOLEAN alertable, PLARGE_INTEGER timeout);
}

#include "simulator/SimProtocol.h"

namespace {

using namespace touch;
using namespace touchsim;

struct Controller {
    uint32_t deviceId;
    uint16_t objectName[kObjectNameUnits];
    PanelConfig panel;
    uint32_t mode;
    uint32_t calState;
    int32_t rawX;
    int32_t rawY;
    CalibrationRecord calibration;
    ScreenRangeRecord range;
    uint32_t calibrationSent;
    uint32_t rangeSent;
    uint32_t requests[kSuiteCodes];
    uint32_t reloadCount;
    uint32_t touchCount;
    uint32_t modeHistoryCount;
    uint32_t modeHistory[kModeHistory];                 // ring, indexed by count % size
    uint32_t calibrationHistoryCount;
    CalibrationRecord calibrationHistory[kRecordHistory];
    uint32_t rangeHistoryCount;
    ScreenRangeRecord rangeHistory[kRecordHistory];
    uint32_t requestRunCount;
    SimRequestRun requestRuns[kRequestRuns];            // ring, indexed by count % size
};

struct DriverState {
    Controller controllers[kMaxControllers];            // the driver's list order; [0, count) used
    uint32_t count;
    DesktopGeometry desktop;
    SimFault faults[kMaxFaults];                        // count 0 = free slot
    uint32_t openHandles;
    uint32_t requests[kSuiteCodes];
    uint32_t failedRequests;
    bool nameHidden;                                    // wanted: the link name removed
};

// A request held by a stall fault; irp null = free slot.
struct Stalled {
    PIRP irp;
    ULONGLONG due;                                      // interrupt time, 100 ns units
    uint32_t code;
    PFILE_OBJECT file;
};

KSPIN_LOCK g_lock;
DriverState g_state;
PDEVICE_OBJECT g_device;

// Held requests and the thread that serves them when they are due; all under g_lock.
Stalled g_stalled[kMaxStalled];
KEVENT g_wake;                                          // auto-reset: the held set changed
bool g_stopping;
HANDLE g_releaseThread;
typedef void(NTAPI* TickCountFn)(PLARGE_INTEGER);
TickCountFn g_tickCount;                                // null: stalls are not offered
ULONG g_tickLength;                                     // 100 ns units per tick

// Time since start in 100 ns units: the tick count times the length of a tick.
ULONGLONG Now()
{
    LARGE_INTEGER ticks;
    g_tickCount(&ticks);
    return static_cast<ULONGLONG>(ticks.QuadPart) * g_tickLength;
}

const wchar_t kDeviceName[] = L"\\Device\\VOVUDA";
const wchar_t kLinkName[] = L"\\DosDevices\\VOVUDA";

// Win32 errors travel as NTSTATUS values of the Win32 facility, which the I/O manager turns back
// into the same error for the caller's GetLastError.
NTSTATUS StatusFromError(uint32_t error)
{
    return error == 0 ? STATUS_SUCCESS : static_cast<NTSTATUS>(0xC0070000u | (error & 0xFFFFu));
}

void Zero(void* p, SIZE_T n)
{
    RtlZeroMemory(p, n);
}

void ResetState()
{
    Zero(&g_state.controllers, sizeof(g_state.controllers));
    g_state.count = 0;
    Zero(&g_state.faults, sizeof(g_state.faults));
    Zero(&g_state.requests, sizeof(g_state.requests));
    g_state.failedRequests = 0;
    g_state.nameHidden = false;
    g_state.desktop.virtualScreen.left = 0;
    g_state.desktop.virtualScreen.top = 0;
    g_state.desktop.virtualScreen.right = 1024;
    g_state.desktop.virtualScreen.bottom = 768;
    g_state.desktop.fullScale = 0x7FFF;
}

Controller* FindController(uint32_t deviceId)
{
    for (uint32_t i = 0; i < g_state.count; ++i) {
        if (g_state.controllers[i].deviceId == deviceId)
            return &g_state.controllers[i];
    }
    return nullptr;
}

void ClearHistory(Controller& c)
{
    Zero(c.requests, sizeof(c.requests));
    c.reloadCount = 0;
    c.touchCount = 0;
    c.modeHistoryCount = 0;
    c.calibrationHistoryCount = 0;
    c.rangeHistoryCount = 0;
    c.requestRunCount = 0;
}

void LogRequest(Controller& c, uint32_t code)
{
    if (c.requestRunCount != 0) {
        SimRequestRun& last = c.requestRuns[(c.requestRunCount - 1) % kRequestRuns];
        if (last.code == code) {
            ++last.count;
            return;
        }
    }
    c.requestRuns[c.requestRunCount % kRequestRuns] = SimRequestRun{code, 1};
    ++c.requestRunCount;
}

void ApplyDefaultMapping(Controller& c)
{
    DefaultCalibration(g_state.desktop, &c.calibration, &c.range);
    c.calibration.deviceId = c.deviceId;
    c.range.deviceId = c.deviceId;
}

bool NameTerminated(const uint16_t* name)
{
    for (uint32_t i = 0; i < kObjectNameUnits; ++i) {
        if (name[i] == 0)
            return true;
    }
    return false;
}

// The first pending fault of a suite code, or none; stall faults apart from the others.
SimFault* FindFault(uint32_t code, bool stall)
{
    for (uint32_t i = 0; i < kMaxFaults; ++i) {
        const SimFault& f = g_state.faults[i];
        if (f.count != 0 && f.code == code && (f.kind == kFaultStall) == stall)
            return &g_state.faults[i];
    }
    return nullptr;
}

struct Request {
    uint32_t code;
    void* buffer;       // METHOD_BUFFERED: input on entry, output on return
    uint32_t inLength;
    uint32_t outLength;
    ULONG_PTR information;
};

// Serves one of the suite's codes for the controller named in the record. Returns a Win32 error.
uint32_t HandleControllerCode(Request& r, SimFault* fault)
{
    uint32_t need = r.code == IOCTL_TOUCH_SET_CALIBRATION ? sizeof(CalibrationRecord)
                  : r.code == IOCTL_TOUCH_GET_MODE || r.code == IOCTL_TOUCH_SET_MODE ? sizeof(TouchModeRecord)
                  : r.code == IOCTL_TOUCH_GET_CAL_STATE ? sizeof(CalibrationStateRecord)
                  : r.code == IOCTL_TOUCH_SET_SCREEN_RANGE ? sizeof(ScreenRangeRecord)
                  : sizeof(DeviceIdRecord);
    if (r.inLength < need)
        return kErrorInvalidParameter;
    bool replies = r.code == IOCTL_TOUCH_GET_MODE || r.code == IOCTL_TOUCH_GET_CAL_STATE;
    if (replies && r.outLength < need)
        return kErrorInsufficientBuffer;
    Controller* c = FindController(static_cast<const DeviceIdRecord*>(r.buffer)->deviceId);
    if (c == nullptr)
        return kErrorDeviceMissing;

    switch (r.code) {
    case IOCTL_TOUCH_SET_CALIBRATION: {
        const CalibrationRecord* in = static_cast<const CalibrationRecord*>(r.buffer);
        c->calibration = *in;
        c->calibrationHistory[c->calibrationHistoryCount % kRecordHistory] = *in;
        ++c->calibrationHistoryCount;
        ++c->calibrationSent;
        break;
    }
    case IOCTL_TOUCH_SET_SCREEN_RANGE: {
        const ScreenRangeRecord* in = static_cast<const ScreenRangeRecord*>(r.buffer);
        c->range = *in;
        c->rangeHistory[c->rangeHistoryCount % kRecordHistory] = *in;
        ++c->rangeHistoryCount;
        ++c->rangeSent;
        break;
    }
    case IOCTL_TOUCH_GET_MODE: {
        TouchModeRecord* io = static_cast<TouchModeRecord*>(r.buffer);
        io->mode = c->mode;
        r.information = sizeof(TouchModeRecord);
        break;
    }
    case IOCTL_TOUCH_SET_MODE: {
        uint32_t mode = static_cast<const TouchModeRecord*>(r.buffer)->mode;
        if (mode > 3)
            return kErrorInvalidParameter;
        c->mode = mode;
        c->modeHistory[c->modeHistoryCount % kModeHistory] = mode;
        ++c->modeHistoryCount;
        break;
    }
    case IOCTL_TOUCH_GET_CAL_STATE: {
        CalibrationStateRecord* io = static_cast<CalibrationStateRecord*>(r.buffer);
        io->state = c->calState;
        io->rawX = c->calState == kCalStateReady ? c->rawX : 0;
        io->rawY = c->calState == kCalStateReady ? c->rawY : 0;
        if (fault != nullptr && fault->kind == kFaultState) {
            io->state = fault->value;
            --fault->count;
        }
        r.information = sizeof(CalibrationStateRecord);
        break;
    }
    case IOCTL_TOUCH_RESET_CAL_STATE:
        c->calState = kCalStateWaiting;
        c->rawX = 0;
        c->rawY = 0;
        break;
    case IOCTL_TOUCH_RELOAD_SETTINGS:
        ++c->reloadCount;
        break;
    default:
        return kErrorInvalidFunction;
    }
    ++c->requests[SuiteCodeIndex(r.code)];
    LogRequest(*c, r.code);
    return 0;
}

uint32_t HandleDeviceCount(Request& r, SimFault* fault)
{
    if (r.inLength < sizeof(DeviceCountRecord))
        return kErrorInvalidParameter;
    if (r.outLength < sizeof(DeviceCountRecord))
        return kErrorInsufficientBuffer;
    static_cast<DeviceCountRecord*>(r.buffer)->count = g_state.count;
    if (fault != nullptr && fault->kind == kFaultListCount) {
        static_cast<DeviceCountRecord*>(r.buffer)->count = g_state.count + fault->value;
        --fault->count;
    }
    r.information = sizeof(DeviceCountRecord);
    return 0;
}

// The reply always has room for the n entries asked for (8 + 404 n bytes); count says how many
// are filled, so a controller that disappeared between the count and the list is no failure.
uint32_t HandleDeviceList(Request& r, SimFault* fault)
{
    if (r.inLength < sizeof(DeviceListHeader))
        return kErrorInvalidParameter;
    uint32_t asked = static_cast<const DeviceListHeader*>(r.buffer)->count;
    uint64_t bytes = sizeof(DeviceListHeader) + static_cast<uint64_t>(asked) * sizeof(DeviceListEntry);
    if (bytes > r.outLength)
        return kErrorInsufficientBuffer;
    uint32_t filled = asked < g_state.count ? asked : g_state.count;
    Zero(r.buffer, static_cast<SIZE_T>(bytes));
    DeviceListHeader* header = static_cast<DeviceListHeader*>(r.buffer);
    header->count = filled;
    DeviceListEntry* entries = reinterpret_cast<DeviceListEntry*>(header + 1);
    for (uint32_t i = 0; i < filled; ++i) {
        entries[i].deviceId = g_state.controllers[i].deviceId;
        RtlCopyMemory(entries[i].objectName, g_state.controllers[i].objectName, sizeof(entries[i].objectName));
    }
    if (fault != nullptr && fault->kind == kFaultListCount) {
        header->count = asked + fault->value;
        --fault->count;
    }
    r.information = static_cast<ULONG_PTR>(bytes);
    return 0;
}

uint32_t HandleSuiteCode(Request& r)
{
    uint32_t index = SuiteCodeIndex(r.code);
    ++g_state.requests[index];
    SimFault* fault = FindFault(r.code, false);
    uint32_t error;
    if (fault != nullptr && fault->kind == kFaultError) {
        --fault->count;
        error = fault->value;
    } else if (r.code == IOCTL_TOUCH_GET_DEVICE_COUNT) {
        error = HandleDeviceCount(r, fault);
    } else if (r.code == IOCTL_TOUCH_GET_DEVICE_LIST) {
        error = HandleDeviceList(r, fault);
    } else {
        error = HandleControllerCode(r, fault);
    }
    if (error == 0 && fault != nullptr && fault->count != 0 && fault->kind == kFaultByteCount) {
        r.information = fault->value < r.outLength ? fault->value : r.outLength;
        --fault->count;
    }
    if (error != 0)
        ++g_state.failedRequests;
    return error;
}

uint32_t HandleTouch(Request& r, bool complete)
{
    if (r.inLength < sizeof(SimTouchRequest))
        return kErrorInvalidParameter;
    if (r.outLength < sizeof(SimTouchResult))
        return kErrorInsufficientBuffer;
    SimTouchRequest in = *static_cast<const SimTouchRequest*>(r.buffer);
    Controller* c = FindController(in.deviceId);
    if (c == nullptr)
        return kErrorDeviceMissing;
    SimTouchResult out;
    if (in.where == kTouchDesktop) {
        DesktopToRaw(c->panel, in.x, in.y, c->touchCount, &out.rawX, &out.rawY);
    } else if (in.where == kTouchRaw) {
        out.rawX = in.x;
        out.rawY = in.y;
    } else {
        return kErrorInvalidParameter;
    }
    RawToDesktop(c->calibration, c->range, g_state.desktop, out.rawX, out.rawY, &out.landX, &out.landY);
    if (complete) {
        c->calState = kCalStateReady;
        c->rawX = out.rawX;
        c->rawY = out.rawY;
        ++c->touchCount;
    }
    *static_cast<SimTouchResult*>(r.buffer) = out;
    r.information = sizeof(out);
    return 0;
}

uint32_t HandleAddController(Request& r)
{
    if (r.inLength < sizeof(SimControllerSpec))
        return kErrorInvalidParameter;
    const SimControllerSpec* setup = static_cast<const SimControllerSpec*>(r.buffer);
    if (!NameTerminated(setup->objectName))
        return kErrorInvalidParameter;
    Controller* c = FindController(setup->deviceId);
    if (c == nullptr) {
        if (g_state.count == kMaxControllers)
            return kErrorTooManyControllers;
        c = &g_state.controllers[g_state.count++];
    }
    Zero(c, sizeof(*c));
    c->deviceId = setup->deviceId;
    RtlCopyMemory(c->objectName, setup->objectName, sizeof(c->objectName));
    c->panel = setup->panel;
    c->calState = kCalStateWaiting;
    ApplyDefaultMapping(*c);
    return 0;
}

uint32_t HandleRemoveController(Request& r)
{
    if (r.inLength < sizeof(DeviceIdRecord))
        return kErrorInvalidParameter;
    Controller* c = FindController(static_cast<const DeviceIdRecord*>(r.buffer)->deviceId);
    if (c == nullptr)
        return kErrorDeviceMissing;
    uint32_t i = static_cast<uint32_t>(c - g_state.controllers);
    for (; i + 1 < g_state.count; ++i)
        g_state.controllers[i] = g_state.controllers[i + 1];
    --g_state.count;
    Zero(&g_state.controllers[g_state.count], sizeof(Controller));
    return 0;
}

// Held requests of `code` (all of them for kSuiteCodes) or of `file` (when not null) become due
// now; the caller wakes the release thread.
void ReleaseStalled(uint32_t code, PFILE_OBJECT file)
{
    for (uint32_t i = 0; i < kMaxStalled; ++i) {
        Stalled& held = g_stalled[i];
        if (held.irp != nullptr && (code == kSuiteCodes || held.code == code) && (file == nullptr || held.file == file))
            held.due = 0;
    }
}

uint32_t HandleSetFault(Request& r)
{
    if (r.inLength < sizeof(SimFault))
        return kErrorInvalidParameter;
    SimFault in = *static_cast<const SimFault*>(r.buffer);
    if (in.code == kSimOpenCode) {
        if (in.kind != kFaultError)
            return kErrorInvalidParameter;
        g_state.nameHidden = in.count != 0;
        return 0;
    }
    if (SuiteCodeIndex(in.code) == kSuiteCodes || in.kind < kFaultError || in.kind > kFaultStall)
        return kErrorInvalidParameter;
    if (in.count == 0) {
        for (uint32_t i = 0; i < kMaxFaults; ++i) {
            if (g_state.faults[i].code == in.code)
                g_state.faults[i].count = 0;
        }
        ReleaseStalled(in.code, nullptr);
        return 0;
    }
    if (in.kind == kFaultStall && (in.value == 0 || g_tickCount == nullptr))
        return in.value == 0 ? kErrorInvalidParameter : kErrorInvalidFunction;
    for (uint32_t i = 0; i < kMaxFaults; ++i) {
        if (g_state.faults[i].count == 0) {
            g_state.faults[i] = in;
            return 0;
        }
    }
    return kErrorTooManyControllers;
}

void FillState(const Controller& c, SimControllerState* s)
{
    Zero(s, sizeof(*s));
    s->deviceId = c.deviceId;
    RtlCopyMemory(s->objectName, c.objectName, sizeof(s->objectName));
    s->mode = c.mode;
    s->calState = c.calState;
    s->rawX = c.rawX;
    s->rawY = c.rawY;
    s->calibrationSent = c.calibrationSent;
    s->calibration = c.calibration;
    s->rangeSent = c.rangeSent;
    s->range = c.range;
    RtlCopyMemory(s->requests, c.requests, sizeof(s->requests));
    s->reloadCount = c.reloadCount;
    s->touchCount = c.touchCount;
    s->modeHistoryCount = c.modeHistoryCount;
    uint32_t n = c.modeHistoryCount < kModeHistory ? c.modeHistoryCount : kModeHistory;
    for (uint32_t i = 0; i < n; ++i)
        s->modeHistory[i] = c.modeHistory[(c.modeHistoryCount - n + i) % kModeHistory];
    s->calibrationHistoryCount = c.calibrationHistoryCount;
    n = c.calibrationHistoryCount < kRecordHistory ? c.calibrationHistoryCount : kRecordHistory;
    for (uint32_t i = 0; i < n; ++i)
        s->calibrationHistory[i] = c.calibrationHistory[(c.calibrationHistoryCount - n + i) % kRecordHistory];
    s->rangeHistoryCount = c.rangeHistoryCount;
    n = c.rangeHistoryCount < kRecordHistory ? c.rangeHistoryCount : kRecordHistory;
    for (uint32_t i = 0; i < n; ++i)
        s->rangeHistory[i] = c.rangeHistory[(c.rangeHistoryCount - n + i) % kRecordHistory];
    s->panel = c.panel;
    s->requestRunCount = c.requestRunCount;
    n = c.requestRunCount < kRequestRuns ? c.requestRunCount : kRequestRuns;
    for (uint32_t i = 0; i < n; ++i)
        s->requestRuns[i] = c.requestRuns[(c.requestRunCount - n + i) % kRequestRuns];
}

uint32_t HandlePrivateCode(Request& r)
{
    switch (r.code) {
    case IOCTL_SIM_RESET:
        ResetState();
        ReleaseStalled(kSuiteCodes, nullptr);
        return 0;
    case IOCTL_SIM_SET_DESKTOP: {
        if (r.inLength < sizeof(DesktopGeometry))
            return kErrorInvalidParameter;
        DesktopGeometry d = *static_cast<const DesktopGeometry*>(r.buffer);
        if (d.fullScale <= 0 || d.virtualScreen.right <= d.virtualScreen.left
            || d.virtualScreen.bottom <= d.virtualScreen.top)
            return kErrorInvalidParameter;
        g_state.desktop = d;
        for (uint32_t i = 0; i < g_state.count; ++i) {
            if (g_state.controllers[i].calibrationSent == 0 && g_state.controllers[i].rangeSent == 0)
                ApplyDefaultMapping(g_state.controllers[i]);
        }
        return 0;
    }
    case IOCTL_SIM_ADD_CONTROLLER:
        return HandleAddController(r);
    case IOCTL_SIM_REMOVE_CONTROLLER:
        return HandleRemoveController(r);
    case IOCTL_SIM_SET_PANEL: {
        if (r.inLength < sizeof(SimPanelRecord))
            return kErrorInvalidParameter;
        const SimPanelRecord* in = static_cast<const SimPanelRecord*>(r.buffer);
        Controller* c = FindController(in->deviceId);
        if (c == nullptr)
            return kErrorDeviceMissing;
        c->panel = in->panel;
        return 0;
    }
    case IOCTL_SIM_TOUCH:
        return HandleTouch(r, true);
    case IOCTL_SIM_MAP:
        return HandleTouch(r, false);
    case IOCTL_SIM_SET_FAULT:
        return HandleSetFault(r);
    case IOCTL_SIM_CLEAR_FAULTS:
        Zero(&g_state.faults, sizeof(g_state.faults));
        g_state.nameHidden = false;
        ReleaseStalled(kSuiteCodes, nullptr);
        return 0;
    case IOCTL_SIM_GET_STATE: {
        if (r.inLength < sizeof(DeviceIdRecord))
            return kErrorInvalidParameter;
        if (r.outLength < sizeof(SimControllerState))
            return kErrorInsufficientBuffer;
        Controller* c = FindController(static_cast<const DeviceIdRecord*>(r.buffer)->deviceId);
        if (c == nullptr)
            return kErrorDeviceMissing;
        FillState(*c, static_cast<SimControllerState*>(r.buffer));
        r.information = sizeof(SimControllerState);
        return 0;
    }
    case IOCTL_SIM_GET_SUMMARY: {
        if (r.outLength < sizeof(SimSummary))
            return kErrorInsufficientBuffer;
        SimSummary* s = static_cast<SimSummary*>(r.buffer);
        Zero(s, sizeof(*s));
        s->controllerCount = g_state.count;
        for (uint32_t i = 0; i < g_state.count; ++i)
            s->deviceIds[i] = g_state.controllers[i].deviceId;
        s->desktop = g_state.desktop;
        s->openHandles = g_state.openHandles;
        for (uint32_t i = 0; i < kMaxFaults; ++i)
            s->pendingFaults += g_state.faults[i].count;
        RtlCopyMemory(s->requests, g_state.requests, sizeof(s->requests));
        s->failedRequests = g_state.failedRequests;
        for (uint32_t i = 0; i < kMaxStalled; ++i)
            s->stalledRequests += g_stalled[i].irp != nullptr ? 1 : 0;
        r.information = sizeof(SimSummary);
        return 0;
    }
    case IOCTL_SIM_CLEAR_HISTORY:
        for (uint32_t i = 0; i < g_state.count; ++i)
            ClearHistory(g_state.controllers[i]);
        Zero(&g_state.requests, sizeof(g_state.requests));
        g_state.failedRequests = 0;
        return 0;
    default:
        return kErrorInvalidFunction;
    }
}

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

// The link name \\.\VOVUDA comes and goes as the open fault asks (at PASSIVE_LEVEL, outside the
// lock): without it opening the device fails as when no driver runs. Open handles stay usable.
volatile LONG g_nameRemoved = 0;

void ShowName(bool show)
{
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, kLinkName);
    if (!show && InterlockedCompareExchange(&g_nameRemoved, 1, 0) == 0) {
        IoDeleteSymbolicLink(&link);
    } else if (show && InterlockedCompareExchange(&g_nameRemoved, 0, 1) == 1) {
        UNICODE_STRING name;
        RtlInitUnicodeString(&name, kDeviceName);
        IoCreateSymbolicLink(&link, &name);
    }
}

NTSTATUS NTAPI DispatchCreateClose(PDEVICE_OBJECT, PIRP irp)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    KIRQL irql;
    KeAcquireSpinLock(&g_lock, &irql);
    if (stack->MajorFunction == IRP_MJ_CREATE)
        ++g_state.openHandles;
    else if (stack->MajorFunction == IRP_MJ_CLOSE && g_state.openHandles != 0)
        --g_state.openHandles;
    // A closed handle brings the name back: a test that ends early cannot leave it removed.
    if (stack->MajorFunction == IRP_MJ_CLOSE)
        g_state.nameHidden = false;
    // The handle's held requests are served at once when it goes.
    if (stack->MajorFunction != IRP_MJ_CREATE && stack->FileObject != nullptr)
        ReleaseStalled(kSuiteCodes, stack->FileObject);
    const bool hideName = g_state.nameHidden;
    KeReleaseSpinLock(&g_lock, irql);
    KeSetEvent(&g_wake, IO_NO_INCREMENT, FALSE);
    ShowName(!hideName);
    return Complete(irp, STATUS_SUCCESS, 0);
}

void ReadRequest(PIRP irp, Request* r)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    r->code = stack->Parameters.DeviceIoControl.IoControlCode;
    r->buffer = irp->AssociatedIrp.SystemBuffer;
    r->inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
    r->outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
    r->information = 0;
    if (r->buffer == nullptr) {
        // Every handler checks the lengths before it touches the buffer.
        r->inLength = 0;
        r->outLength = 0;
    }
}

// The I/O manager cancels a held request (its caller ended or cancelled it): it is not served.
void NTAPI CancelStalled(PDEVICE_OBJECT, PIRP irp)
{
    IoReleaseCancelSpinLock(irp->CancelIrql);
    KIRQL irql;
    KeAcquireSpinLock(&g_lock, &irql);
    for (uint32_t i = 0; i < kMaxStalled; ++i) {
        if (g_stalled[i].irp == irp)
            g_stalled[i].irp = nullptr;
    }
    KeReleaseSpinLock(&g_lock, irql);
    Complete(irp, STATUS_CANCELLED, 0);
}

// Under g_lock: holds the request if a stall fault of its code is pending and a slot is free.
bool HoldRequest(PIRP irp, const Request& r)
{
    if (SuiteCodeIndex(r.code) == kSuiteCodes || g_tickCount == nullptr)
        return false;
    SimFault* fault = FindFault(r.code, true);
    if (fault == nullptr)
        return false;
    for (uint32_t i = 0; i < kMaxStalled; ++i) {
        Stalled& held = g_stalled[i];
        if (held.irp != nullptr)
            continue;
        --fault->count;
        IoMarkIrpPending(irp);
        // A cancel arrives on the dispatch thread, so none can come before the routine is set.
        (void)IoSetCancelRoutine(irp, CancelStalled);
        held.irp = irp;
        held.due = Now() + static_cast<ULONGLONG>(fault->value) * 10000u;
        held.code = r.code;
        held.file = IoGetCurrentIrpStackLocation(irp)->FileObject;
        return true;
    }
    return false;
}

NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT, PIRP irp)
{
    Request r;
    ReadRequest(irp, &r);
    KIRQL irql;
    KeAcquireSpinLock(&g_lock, &irql);
    if (HoldRequest(irp, r)) {
        KeReleaseSpinLock(&g_lock, irql);
        KeSetEvent(&g_wake, IO_NO_INCREMENT, FALSE);
        return STATUS_PENDING;
    }
    uint32_t error = SuiteCodeIndex(r.code) != kSuiteCodes ? HandleSuiteCode(r) : HandlePrivateCode(r);
    const bool hideName = g_state.nameHidden;
    KeReleaseSpinLock(&g_lock, irql);
    KeSetEvent(&g_wake, IO_NO_INCREMENT, FALSE);
    ShowName(!hideName);
    return Complete(irp, StatusFromError(error), error == 0 ? r.information : 0);
}

// Serves held requests once they are due; sleeps until the next one is, or until woken.
void NTAPI ReleaseLoop(void*)
{
    for (;;) {
        PIRP due = nullptr;
        ULONGLONG next = 0;
        KIRQL irql;
        KeAcquireSpinLock(&g_lock, &irql);
        const bool stopping = g_stopping;
        const ULONGLONG now = Now();
        for (uint32_t i = 0; i < kMaxStalled && due == nullptr; ++i) {
            Stalled& held = g_stalled[i];
            if (held.irp == nullptr)
                continue;
            if (held.due <= now || stopping) {
                PIRP irp = held.irp;
                held.irp = nullptr;
                // Without its cancel routine the request is being cancelled: that completes it.
                if (IoSetCancelRoutine(irp, nullptr) != nullptr)
                    due = irp;
            } else if (next == 0 || held.due < next) {
                next = held.due;
            }
        }
        uint32_t error = 0;
        Request r;
        if (due != nullptr) {
            ReadRequest(due, &r);
            error = HandleSuiteCode(r);
        }
        KeReleaseSpinLock(&g_lock, irql);
        if (due != nullptr) {
            Complete(due, StatusFromError(error), error == 0 ? r.information : 0);
            continue;
        }
        if (stopping)
            break;
        LARGE_INTEGER wait;
        wait.QuadPart = -static_cast<LONGLONG>(next - now);
        KeWaitForSingleObject(&g_wake, Executive, KernelMode, FALSE, next != 0 ? &wait : nullptr);
    }
    PsTerminateSystemThread(STATUS_SUCCESS);
}

void NTAPI Unload(PDRIVER_OBJECT)
{
    if (g_releaseThread != nullptr) {
        KIRQL irql;
        KeAcquireSpinLock(&g_lock, &irql);
        g_stopping = true;
        KeReleaseSpinLock(&g_lock, irql);
        KeSetEvent(&g_wake, IO_NO_INCREMENT, FALSE);
        ZwWaitForSingleObject(g_releaseThread, FALSE, nullptr);
        ZwClose(g_releaseThread);
        g_releaseThread = nullptr;
    }
    if (InterlockedCompareExchange(&g_nameRemoved, 1, 0) == 0) {
        UNICODE_STRING link;
        RtlInitUnicodeString(&link, kLinkName);
        IoDeleteSymbolicLink(&link);
    }
    if (g_device != nullptr)
        IoDeleteDevice(g_device);
    g_device = nullptr;
}

} // namespace

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING)
{
    KeInitializeSpinLock(&g_lock);
    ResetState();
    g_state.openHandles = 0;
    KeInitializeEvent(&g_wake, SynchronizationEvent, FALSE);

    UNICODE_STRING name;
    RtlInitUnicodeString(&name, kDeviceName);
    NTSTATUS status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_MOUSE, 0, FALSE, &g_device);
    if (!NT_SUCCESS(status))
        return status;
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, kLinkName);
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(g_device);
        g_device = nullptr;
        return status;
    }
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    driver->DriverUnload = Unload;
    // Without the clock or the thread, stall faults are refused; everything else works.
    // (KeQueryTickCount is a macro over kernel memory in the x64 headers: looked up instead.)
    UNICODE_STRING clock;
    RtlInitUnicodeString(&clock, L"KeQueryTickCount");
    TickCountFn tickCount = reinterpret_cast<TickCountFn>(MmGetSystemRoutineAddress(&clock));
    g_tickLength = KeQueryTimeIncrement();
    if (tickCount != nullptr && g_tickLength != 0
        && NT_SUCCESS(PsCreateSystemThread(&g_releaseThread, THREAD_ALL_ACCESS, nullptr, nullptr, nullptr, ReleaseLoop, nullptr)))
        g_tickCount = tickCount;
    g_device->Flags |= DO_BUFFERED_IO;
    g_device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}
