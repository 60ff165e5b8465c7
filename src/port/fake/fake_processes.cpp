// FakeOs: other programs' windows and processes, named mappings, process
// creation, GUIDs and delayed file operations.
#include "port/fake/fake_os.h"

#include <algorithm>
#include <iterator>
#include <cstring>

namespace port {

namespace {
constexpr const char* kPendingOperationsValue = "PendingFileRenameOperations";
}

// ---------------------------------------------------------------- set-up

HWND FakeOs::AddWindow(const std::string& className, UINT closeMessage, WPARAM closeWParam,
                       DWORD closeDelayMs, DWORD processId) {
    m_nextWindow += 0x10;
    FakeWindow window;
    window.className = className;
    window.processId = processId;
    window.closeMessage = closeMessage;
    window.closeWParam = closeWParam;
    window.closeDelayMs = closeDelayMs;
    windows[m_nextWindow] = window;
    return reinterpret_cast<HWND>(m_nextWindow);
}

bool FakeOs::WindowExists(HWND window) const {
    auto it = windows.find(reinterpret_cast<std::uintptr_t>(window));
    return it != windows.end() && it->second.goneAt > now;
}

DWORD FakeOs::AddProcess() {
    m_nextProcessId += 4;
    processes[m_nextProcessId] = FakeProcess{};
    return m_nextProcessId;
}

bool FakeOs::ProcessRunning(DWORD processId) const {
    auto it = processes.find(processId);
    return it != processes.end() && it->second.exitAt > now;
}

std::vector<std::string> FakeOs::PendingDeletes() const {
    std::vector<std::string> paths;
    const FakeRegValue* v =
        Value(HKEY_LOCAL_MACHINE, kPendingOperationsKey, kPendingOperationsValue);
    if (!v)
        return paths;
    // Pairs of texts, source then destination; an empty destination deletes.
    std::vector<std::string> texts;
    std::string text;
    for (BYTE b : v->data) {
        if (b) {
            text += static_cast<char>(b);
        } else {
            texts.push_back(text);
            text.clear();
        }
    }
    for (std::size_t i = 0; i + 1 < texts.size(); i += 2) {
        if (texts[i].empty())
            break;
        if (texts[i + 1].empty())
            paths.push_back(texts[i].rfind("\\??\\", 0) == 0 ? texts[i].substr(4) : texts[i]);
    }
    return paths;
}

void FakeOs::SettleWindows() {
    for (auto& [handle, window] : windows) {
        if (window.goneAt != kFakeNever && window.processId) {
            auto p = processes.find(window.processId);
            if (p != processes.end())
                p->second.exitAt = std::min(p->second.exitAt, window.goneAt);
        }
    }
}

// ---------------------------------------------------------------- power

bool FakeOs::BeginStateChange(const char* call) {
    if (auto const hook = onStateChange) // a copy: the hook may clear itself
        hook(call);
    if (poweredOff)
        return false;
    changeLog.push_back(call);
    if (stateChanges == powerCutAt) {
        poweredOff = true;
        throw FakePowerCut{};
    }
    ++stateChanges;
    return true;
}

void FakeOs::Reboot() {
    poweredOff = false;
    powerCutAt = -1;
    // Nothing of the processes that ran survives: their windows, shared
    // values and handles go with them.
    windows.clear();
    processes.clear();
    mappings.clear();
    m_keys.clear();
    m_services.clear();
    m_tokens.clear();
    m_dcs.clear();
    m_searches.clear();
    m_processHandles.clear();
    m_mappingHandles.clear();
    m_files.clear();
    m_mutexHandles.clear();
    mutexes.clear();
    mutexOwners.clear();
    m_mutexAccess.clear();
    m_boundaries.clear();
    m_namespaceHandles.clear();
    m_namespaceAccess.clear();
    privateNamespaces.clear();
    for (void* view : m_views)
        delete[] static_cast<BYTE*>(view);
    m_views.clear();
    for (auto it = services.begin(); it != services.end();)
        it = it->second.deletePending ? services.erase(it) : std::next(it);
    for (auto& [name, service] : services) {
        service.state = service.startType == SERVICE_AUTO_START ? SERVICE_RUNNING : SERVICE_STOPPED;
        service.pendingUntil = 0;
    }
    // Windows deletes what waits for the restart, then forgets the list.
    for (const auto& path : PendingDeletes()) {
        files.erase(path);
        profileFiles.erase(path);
    }
    Key(HKEY_LOCAL_MACHINE, kPendingOperationsKey).values.erase(kPendingOperationsValue);
}

// ---------------------------------------------------------------- windows

HWND FakeOs::FindWindowA(const char* className, const char*) {
    for (const auto& [handle, window] : windows) {
        if (window.goneAt > now && className && !CaseLess{}(window.className, className) &&
            !CaseLess{}(className, window.className))
            return reinterpret_cast<HWND>(handle);
    }
    m_lastError = 0; // none found is not an error
    return nullptr;
}

BOOL FakeOs::PostMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!BeginStateChange("PostMessageA")) {
        m_lastError = kPoweredOff;
        return FALSE;
    }
    auto it = windows.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == windows.end() || it->second.goneAt <= now) {
        m_lastError = ERROR_INVALID_WINDOW_HANDLE;
        return FALSE;
    }
    postedMessages.push_back({handle, message, wParam, lParam, now});
    FakeWindow& window = it->second;
    bool const closes = (window.closeMessage && message == window.closeMessage &&
                         (message != WM_COMMAND || (wParam & 0xFFFF) == window.closeWParam)) ||
                        (window.closesOnQuit && message == WM_QUIT);
    if (closes)
        window.goneAt = std::min(window.goneAt, now + window.closeDelayMs);
    SettleWindows();
    return TRUE;
}

// ---------------------------------------------------------------- mappings

HANDLE FakeOs::OpenFileMappingA(DWORD, BOOL, const char* name) {
    SettleWindows();
    auto it = mappings.find(name ? name : "");
    if (it == mappings.end() ||
        (it->second.ownerProcessId && !ProcessRunning(it->second.ownerProcessId))) {
        m_lastError = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    auto h = NextHandle();
    m_mappingHandles[h] = it->first;
    return reinterpret_cast<HANDLE>(h);
}

void* FakeOs::MapViewOfFile(HANDLE mapping, DWORD, DWORD, DWORD, std::size_t) {
    auto it = m_mappingHandles.find(reinterpret_cast<std::uintptr_t>(mapping));
    if (it == m_mappingHandles.end() || !mappings.count(it->second)) {
        m_lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    // A view of the bytes as they are now, page-sized like a real view.
    const std::vector<BYTE>& bytes = mappings[it->second].bytes;
    auto* view = new BYTE[4096]();
    std::memcpy(view, bytes.data(), std::min<std::size_t>(bytes.size(), 4096));
    m_views.insert(view);
    return view;
}

BOOL FakeOs::UnmapViewOfFile(const void* view) {
    auto it = m_views.find(const_cast<void*>(view));
    if (it == m_views.end()) {
        m_lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    delete[] static_cast<BYTE*>(*it);
    m_views.erase(it);
    return TRUE;
}

// ---------------------------------------------------------------- processes

HANDLE FakeOs::OpenProcess(DWORD access, BOOL, DWORD processId) {
    SettleWindows();
    if (!ProcessRunning(processId)) {
        m_lastError = ERROR_INVALID_PARAMETER; // what the system says for an unknown id
        return nullptr;
    }
    auto h = NextHandle();
    m_processHandles[h] = {processId, access};
    return reinterpret_cast<HANDLE>(h);
}

DWORD FakeOs::WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    auto it = m_processHandles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == m_processHandles.end()) {
        m_lastError = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    // Waiting needs the right to synchronize, as on every NT kernel.
    if (!(it->second.access & SYNCHRONIZE)) {
        m_lastError = ERROR_ACCESS_DENIED;
        return WAIT_FAILED;
    }
    SettleWindows();
    DWORD const exitAt = processes[it->second.processId].exitAt;
    if (exitAt <= now)
        return WAIT_OBJECT_0;
    if (milliseconds != INFINITE && exitAt - now > milliseconds) {
        now += milliseconds;
        return WAIT_TIMEOUT;
    }
    if (exitAt == kFakeNever)
        return WAIT_TIMEOUT; // an endless wait on an endless program: the test's mistake
    now = exitAt;
    return WAIT_OBJECT_0;
}

void FakeOs::GetStartupInfoA(STARTUPINFOA* info) {
    *info = STARTUPINFOA{};
    info->cb = sizeof(STARTUPINFOA);
}

BOOL FakeOs::CreateProcessA(const char* applicationName, char*, BOOL, DWORD creationFlags,
                            const char*, STARTUPINFOA* startupInfo,
                            PROCESS_INFORMATION* processInfo) {
    if (!BeginStateChange("CreateProcessA")) {
        m_lastError = kPoweredOff;
        return FALSE;
    }
    if (!applicationName || !startupInfo || !processInfo) {
        m_lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    std::string const path = applicationName;
    auto file = files.find(path);
    if (file == files.end() || file->second.directory) {
        auto slash = path.rfind('\\');
        bool const folderThere = slash != std::string::npos && Exists(path.substr(0, slash));
        m_lastError = folderThere ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    launches.push_back({path, creationFlags});
    DWORD const pid = AddProcess();
    if (launchedProgramLifetimeMs != kFakeNever)
        processes[pid].exitAt = now + launchedProgramLifetimeMs;
    auto process = NextHandle();
    auto thread = NextHandle();
    m_processHandles[process] = {pid, 0x1FFFFF};
    m_processHandles[thread] = {pid, 0x1FFFFF};
    processInfo->hProcess = reinterpret_cast<HANDLE>(process);
    processInfo->hThread = reinterpret_cast<HANDLE>(thread);
    processInfo->dwProcessId = pid;
    processInfo->dwThreadId = pid + 1;
    return TRUE;
}

// ---------------------------------------------------------------- GUIDs

HRESULT FakeOs::CoCreateGuid(GUID* guid) {
    if (guidResult != S_OK)
        return guidResult;
    if (!guids.empty()) {
        *guid = guids.front();
        guids.pop_front();
        return S_OK;
    }
    // Made up, but distinct and shaped like a random (version 4) GUID.
    ++m_guidsMade;
    *guid = GUID{0x6a3f0000u + m_guidsMade, 0x1c2d, 0x4e5f, {0x8a, 0x9b, 0, 0, 0, 0, 0, 0}};
    std::memcpy(guid->Data4 + 4, &m_guidsMade, 4);
    return S_OK;
}

// ---------------------------------------------------------------- shell

BOOL FakeOs::ShellExecuteExA(SHELLEXECUTEINFOA* info) {
    if (!info || info->cbSize != sizeof(SHELLEXECUTEINFOA)) {
        m_lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    FakeShellExecute const call{info->lpVerb ? info->lpVerb : "", info->lpFile ? info->lpFile : "",
                                info->lpParameters ? info->lpParameters : "", info->fMask};
    shellExecutes.push_back(call);
    info->hProcess = nullptr;
    if (shellExecuteError) {
        m_lastError = shellExecuteError;
        return FALSE;
    }
    if (!BeginStateChange("ShellExecuteExA")) {
        m_lastError = kPoweredOff;
        return FALSE;
    }
    DWORD const id = AddProcess();
    processes[id].exitCode = onShellExecute ? onShellExecute(call) : 0;
    processes[id].exitAt = now + shellExecutedLifetimeMs;
    if (info->fMask & SEE_MASK_NOCLOSEPROCESS) {
        auto h = NextHandle();
        m_processHandles[h] = {id, SYNCHRONIZE | 0x0400 /* PROCESS_QUERY_INFORMATION */};
        info->hProcess = reinterpret_cast<HANDLE>(h);
    }
    return TRUE;
}

BOOL FakeOs::GetExitCodeProcess(HANDLE process, DWORD* exitCode) {
    auto it = m_processHandles.find(reinterpret_cast<std::uintptr_t>(process));
    if (it == m_processHandles.end() || !exitCode) {
        m_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    SettleWindows();
    const FakeProcess& p = processes[it->second.processId];
    *exitCode = p.exitAt <= now ? p.exitCode : STILL_ACTIVE;
    return TRUE;
}

// ---------------------------------------------------------------- files

bool FakeOs::Exists(const std::string& path) const {
    return files.count(path) != 0;
}

BOOL FakeOs::MoveFileExA(const char* existing, const char* newName, DWORD flags) {
    if (existing && newName && !(flags & MOVEFILE_DELAY_UNTIL_REBOOT)) {
        if (moveFileError) {
            m_lastError = moveFileError;
            return FALSE;
        }
        return RenameFile(existing, newName, (flags & MOVEFILE_REPLACE_EXISTING) != 0,
                          "MoveFileExA");
    }
    if (!BeginStateChange("MoveFileExA")) {
        m_lastError = kPoweredOff;
        return FALSE;
    }
    if (moveFileError) {
        m_lastError = moveFileError;
        return FALSE;
    }
    if (!existing || newName || flags != MOVEFILE_DELAY_UNTIL_REBOOT) {
        m_lastError = ERROR_INVALID_PARAMETER; // only delayed deletion is modelled
        return FALSE;
    }
    // Appended as the system does: "\??\" and the path, then an empty
    // destination, and the list's closing zero.
    FakeRegValue& value =
        Key(HKEY_LOCAL_MACHINE, kPendingOperationsKey).values[kPendingOperationsValue];
    value.type = REG_MULTI_SZ;
    if (!value.data.empty() && value.data.back() == 0)
        value.data.pop_back();
    std::string const entry = std::string("\\??\\") + existing;
    value.data.insert(value.data.end(), entry.begin(), entry.end());
    value.data.push_back(0);
    value.data.push_back(0); // the empty destination
    value.data.push_back(0);
    return TRUE;
}

DWORD FakeOs::GetShortPathNameA(const char* longPath, char* shortPath, DWORD size) {
    std::string path = longPath ? longPath : "";
    if (!Exists(path)) {
        m_lastError = ERROR_FILE_NOT_FOUND;
        return 0;
    }
    auto it = shortNames.find(path);
    if (it != shortNames.end())
        path = it->second;
    if (size <= path.size())
        return static_cast<DWORD>(path.size() + 1);
    std::memcpy(shortPath, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

} // namespace port
