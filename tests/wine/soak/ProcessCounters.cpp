#include "ProcessCounters.h"

#include "ProbeStages.h"
#include "tests/support/WineTestSupport.h"

#include <tlhelp32.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace soak {
namespace {

using QuerySystemInformation = LONG(NTAPI*)(ULONG, void*, ULONG, ULONG*);
using QueryObject = LONG(NTAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
using QueryInformationProcess = LONG(NTAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);

constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr ULONG kObjectTypesInformation = 3;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

struct HandleEntry {
    void* object;
    ULONG_PTR processId;
    ULONG_PTR handle;
    ULONG access;
    USHORT backTrace;
    USHORT typeIndex;
    ULONG attributes;
    ULONG reserved;
};
struct HandleList {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry entries[1];
};

// One entry of the GDI handle table a process's PEB points to (x64 layout).
struct GdiEntry {
    UINT64 object;
    ULONG owner;
    USHORT unique;
    UCHAR type;
    UCHAR flags;
    UINT64 user;
};
constexpr size_t kGdiEntries = 0x10000;
constexpr size_t kPebGdiTable = 0xF8;

const char* const kHandleTypes[] = {"Event", "Mutant", "Semaphore", "Timer", "Key",
                                    "File",  "Section", "Thread",   "Process", "Token"};
// Kinds of the GDI table's type field.
struct GdiKind {
    const char* name;
    UCHAR type;
};
const GdiKind kGdiKinds[] = {{"DC", 1}, {"Bitmap", 9}, {"Brush+Pen", 16}, {"Font", 10}, {"Region", 4}};

template <class F>
F Ntdll(const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), name)));
}

// Type names by the index the handle list gives.
bool TypeNames(std::vector<std::string>* names, std::string* why)
{
    static std::vector<std::string> cached;
    if (!cached.empty()) {
        *names = cached;
        return true;
    }
    auto query = Ntdll<QueryObject>("NtQueryObject");
    std::vector<ULONG_PTR> buffer(64 * 1024 / sizeof(ULONG_PTR));
    ULONG length = 0;
    if (query == nullptr ||
        query(nullptr, kObjectTypesInformation, buffer.data(), static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR)),
              &length) != 0) {
        *why = "NtQueryObject(ObjectTypesInformation) failed";
        return false;
    }
    const ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
    const char* p = reinterpret_cast<const char*>(buffer.data()) + sizeof(ULONG_PTR);
    for (ULONG i = 0; i < count; ++i) {
        auto* info = reinterpret_cast<const PUBLIC_OBJECT_TYPE_INFORMATION*>(p);
        std::string name;
        for (USHORT c = 0; c < info->TypeName.Length / 2; ++c)
            name += static_cast<char>(info->TypeName.Buffer[c]);
        cached.push_back(name);
        p += sizeof(PUBLIC_OBJECT_TYPE_INFORMATION) + ((info->TypeName.MaximumLength + 7) & ~7);
    }
    *names = cached;
    return true;
}

bool CountHandles(DWORD pid, Counts* counts, std::string* why)
{
    std::vector<std::string> names;
    if (!TypeNames(&names, why))
        return false;
    auto query = Ntdll<QuerySystemInformation>("NtQuerySystemInformation");
    std::vector<ULONG_PTR> buffer(1 << 17);
    LONG status = kInfoLengthMismatch;
    for (int tries = 0; tries < 8 && status == kInfoLengthMismatch; ++tries) {
        ULONG length = 0;
        status = query(kSystemExtendedHandleInformation, buffer.data(),
                       static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR)), &length);
        if (status == kInfoLengthMismatch)
            buffer.resize(buffer.size() * 2 + length / sizeof(ULONG_PTR));
    }
    if (status != 0) {
        char text[80];
        std::snprintf(text, sizeof text, "NtQuerySystemInformation(handles) 0x%08lx", static_cast<unsigned long>(status));
        *why = text;
        return false;
    }
    const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
    (*counts)["handles"] = 0;
    for (const char* type : kHandleTypes)
        (*counts)[std::string("handles.") + type] = 0;
    for (ULONG_PTR i = 0; i < list->count; ++i) {
        const HandleEntry& e = list->entries[i];
        if (e.processId != pid)
            continue;
        ++(*counts)["handles"];
        if (e.typeIndex < names.size()) {
            auto found = counts->find("handles." + names[e.typeIndex]);
            if (found != counts->end())
                ++found->second;
        }
    }
    return true;
}

bool CountGdi(DWORD pid, Counts* counts, std::string* why)
{
    HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (process == nullptr) {
        *why = "OpenProcess for the GDI table: " + std::to_string(::GetLastError());
        return false;
    }
    std::unique_ptr<void, decltype(&::CloseHandle)> owner(process, &::CloseHandle);
    PROCESS_BASIC_INFORMATION basic = {};
    auto query = Ntdll<QueryInformationProcess>("NtQueryInformationProcess");
    UINT64 table = 0;
    SIZE_T read = 0;
    const LONG status = query(process, 0, &basic, sizeof basic, nullptr);
    // Wine's reads of another process's memory now and then fail with access denied, on a busy
    // machine for seconds on end: asked again for up to 30 s.
    if (status != 0 || !qelvo::test::WaitFor(
                           [&] {
                               return ::ReadProcessMemory(process,
                                                          reinterpret_cast<const char*>(basic.PebBaseAddress) +
                                                              kPebGdiTable,
                                                          &table, sizeof table, &read) != FALSE;
                           },
                           30000, 10)) {
        *why = "the PEB of the process: status " + std::to_string(status) + ", error " +
               std::to_string(::GetLastError());
        return false;
    }
    for (const GdiKind& kind : kGdiKinds)
        (*counts)[std::string("gdi.") + kind.name] = 0;
    (*counts)["gdi"] = 0;
    if (table == 0)
        return true;  // no GDI in that process yet
    static std::vector<GdiEntry> entries(kGdiEntries);
    if (!qelvo::test::WaitFor(
            [&] {
                return ::ReadProcessMemory(process, reinterpret_cast<const void*>(table), entries.data(),
                                           entries.size() * sizeof(GdiEntry), &read) &&
                       read == entries.size() * sizeof(GdiEntry);
            },
            30000, 10)) {
        *why = "the GDI handle table: " + std::to_string(::GetLastError());
        return false;
    }
    for (const GdiEntry& e : entries) {
        if (e.type == 0)
            continue;
        ++(*counts)["gdi"];
        for (const GdiKind& kind : kGdiKinds) {
            if (e.type == kind.type)
                ++(*counts)[std::string("gdi.") + kind.name];
        }
    }
    return true;
}

struct WindowCount {
    DWORD pid;
    long long count;
};

BOOL CALLBACK CountChild(HWND hwnd, LPARAM parameter)
{
    auto* c = reinterpret_cast<WindowCount*>(parameter);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(hwnd, &owner);
    if (owner == c->pid)
        ++c->count;
    return TRUE;
}

BOOL CALLBACK CountTop(HWND hwnd, LPARAM parameter)
{
    CountChild(hwnd, parameter);
    ::EnumChildWindows(hwnd, CountChild, parameter);
    return TRUE;
}

long long CountWindows(DWORD pid)
{
    WindowCount c = {pid, 0};
    ::EnumWindows(CountTop, reinterpret_cast<LPARAM>(&c));
    for (HWND w = ::FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); w != nullptr;
         w = ::FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr))
        CountTop(w, reinterpret_cast<LPARAM>(&c));
    return c.count;
}

bool CountThreads(DWORD pid, long long* count, std::string* why)
{
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        *why = "CreateToolhelp32Snapshot: " + std::to_string(::GetLastError());
        return false;
    }
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    *count = 0;
    for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == pid)
            ++*count;
    }
    ::CloseHandle(snapshot);
    return true;
}

HANDLE NamedEvent(const wchar_t* format)
{
    wchar_t name[64];
    std::swprintf(name, 64, format, static_cast<unsigned long>(::GetCurrentProcessId()));
    return ::CreateEventW(nullptr, FALSE, FALSE, name);
}

} // namespace

const std::vector<std::string>& CounterNames()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n = {"handles"};
        for (const char* type : kHandleTypes)
            n.push_back(std::string("handles.") + type);
        n.push_back("gdi");
        for (const GdiKind& kind : kGdiKinds)
            n.push_back(std::string("gdi.") + kind.name);
        n.push_back("windows");
        n.push_back("threads");
        return n;
    }();
    return names;
}

bool Count(DWORD pid, Counts* counts, std::string* why)
{
    counts->clear();
    long long threads = 0;
    if (!CountHandles(pid, counts, why) || !CountGdi(pid, counts, why) || !CountThreads(pid, &threads, why))
        return false;
    (*counts)["windows"] = CountWindows(pid);
    (*counts)["threads"] = threads;
    return true;
}

namespace {

bool ProveOnce(const std::wstring& probePath, Proof* proof, std::string* why)
{
    proof->clear();
    HANDLE go = NamedEvent(kProbeGoFormat);
    HANDLE done = NamedEvent(kProbeDoneFormat);
    std::unique_ptr<void, decltype(&::CloseHandle)> goOwner(go, &::CloseHandle), doneOwner(done, &::CloseHandle);
    if (go == nullptr || done == nullptr) {
        *why = "the probe's events";
        return false;
    }
    qelvo::test::Process probe;
    if (!probe.Start(L"\"" + probePath + L"\" " + std::to_wstring(::GetCurrentProcessId()))) {
        *why = "the probe did not start";
        return false;
    }
    auto step = [&](bool tell) {
        if (tell && !::SetEvent(go))
            return false;
        HANDLE both[2] = {done, probe.Handle()};
        return ::WaitForMultipleObjects(2, both, FALSE, 60000) == WAIT_OBJECT_0;
    };
    if (!step(false)) {
        *why = "the probe did not get ready";
        return false;
    }
    // Wine's own threads in the probe may come and go meanwhile: a stage that saw anything but
    // +64 and back is run again, three times in all.
    for (int i = 0; i < kProbeStageCount * kProbeTries; ++i) {
        const char* stage = kProbeStages[i / kProbeTries];
        ProofRow& row = (*proof)[stage];
        Counts base, made, freed;
        if (!Count(probe.Id(), &base, why) || !step(true) || !Count(probe.Id(), &made, why) || !step(true) ||
            !Count(probe.Id(), &freed, why)) {
            if (why->empty())
                *why = std::string("the probe stopped in stage ") + stage;
            return false;
        }
        if (row.measurable)
            continue;
        row.rise = made[stage] - base[stage];
        row.afterFree = freed[stage] - base[stage];
        row.measurable = row.rise == kProbeObjects && row.afterFree == 0;
    }
    DWORD code = 1;
    if (!probe.WaitForExit(60000, &code) || code != 0) {
        *why = "the probe ended with " + std::to_string(code);
        return false;
    }
    return true;
}

} // namespace

bool Prove(const std::wstring& probePath, Proof* proof, std::string* why)
{
    // Wine refuses a read of another process's memory now and then for seconds: a proof that
    // could not read is made again with a new probe, three times in all.
    for (int attempt = 0; attempt < 3; ++attempt) {
        why->clear();
        if (ProveOnce(probePath, proof, why))
            return true;
    }
    return false;
}

bool DeltaTable(const std::string& scenario, int cycles, const Proof& proof, const Counts& before,
                const Counts& after, const std::map<std::string, long long>& allowed, std::string* table)
{
    bool ok = true;
    char line[200];
    // The scenario's name may be long: it stays out of the fixed line buffer.
    std::snprintf(line, sizeof line, "| %-18s | %9s | %9s | %6s | %-14s | %-13s |\n", "Counter", "warm", "end", "delta",
                  "probe (64)", "verdict");
    *table = "\n" + scenario + ", " + std::to_string(cycles) + " cycles\n\n" + line;
    *table += "|--------------------|-----------|-----------|--------|----------------|---------------|\n";
    for (const std::string& name : CounterNames()) {
        auto p = proof.find(name);
        const bool measurable = p != proof.end() && p->second.measurable;
        auto b = before.find(name), a = after.find(name);
        const long long vb = b == before.end() ? -1 : b->second, va = a == after.end() ? -1 : a->second;
        const long long delta = va - vb;
        auto allow = allowed.find(name);
        const long long expected = allow == allowed.end() ? 0 : allow->second;
        const char* verdict = !measurable ? "not measurable" : delta == expected ? (expected ? "ok (stated)" : "ok")
                                                                                 : "LEAK";
        if (!measurable || delta != expected)
            ok = false;
        char probeText[32];
        if (p == proof.end())
            std::snprintf(probeText, sizeof probeText, "not run");
        else
            std::snprintf(probeText, sizeof probeText, "+%lld / %+lld", p->second.rise, p->second.afterFree);
        std::snprintf(line, sizeof line, "| %-18s | %9lld | %9lld | %+6lld | %-14s | %-13s |\n", name.c_str(), vb, va,
                      delta, probeText, verdict);
        *table += line;
    }
    return ok;
}

void Report(const std::string& text)
{
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    wchar_t path[MAX_PATH] = {};
    if (::GetEnvironmentVariableW(L"QELVO_SOAK_REPORT", path, MAX_PATH) == 0)
        return;
    FILE* file = _wfopen(path, L"ab");
    if (file == nullptr)
        return;
    std::fputs(text.c_str(), file);
    std::fclose(file);
}

} // namespace soak
