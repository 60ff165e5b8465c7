// The contract tests' environment on the real system: scratch folders under
// the temporary folder, files written with Win32 calls, adapter addresses
// from the IP helper (and from NORVANE_HOST_MACS, set by the Wine runner from
// the host's interfaces), and the stand-in service named by
// NORVANE_STANDIN_SERVICE.
#ifdef NORVANE_CONTRACT_REAL

#include "contract_test.h"
#include "port/win32/win32_os.h"

#include <windows.h>
#include <iphlpapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace contract {

namespace {

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string full = path + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full);
            else
                ::DeleteFileA(full.c_str());
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(path.c_str());
}

bool ParseMac(const char* text, MacAddress* mac) {
    unsigned b[6];
    if (std::sscanf(text, "%2x:%2x:%2x:%2x:%2x:%2x", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5]) != 6)
        return false;
    for (int i = 0; i < 6; ++i)
        (*mac)[i] = static_cast<port::BYTE>(b[i]);
    return true;
}

// GetAdaptersInfo, loaded at run time so that the test needs no extra import.
using GetAdaptersInfoFn = DWORD(WINAPI*)(IP_ADAPTER_INFO*, ULONG*);

void AddIpHelperAddresses(std::vector<MacAddress>* out) {
    HMODULE lib = ::LoadLibraryA("iphlpapi.dll");
    if (!lib)
        return;
    auto fn = reinterpret_cast<GetAdaptersInfoFn>(
        reinterpret_cast<void*>(::GetProcAddress(lib, "GetAdaptersInfo")));
    ULONG size = 0;
    if (fn && fn(nullptr, &size) == ERROR_BUFFER_OVERFLOW && size > 0) {
        std::vector<BYTE> block(size);
        auto* info = reinterpret_cast<IP_ADAPTER_INFO*>(block.data());
        if (fn(info, &size) == ERROR_SUCCESS) {
            for (; info; info = info->Next) {
                if (info->AddressLength != 6)
                    continue;
                MacAddress mac;
                std::memcpy(mac.data(), info->Address, 6);
                out->push_back(mac);
            }
        }
    }
    ::FreeLibrary(lib);
}

// A window on a thread of its own that destroys itself on its closing
// message, standing in for another program's window.
class TestWindow {
public:
    TestWindow(const std::string& className, UINT closeMessage)
        : m_class(className), m_close(closeMessage) {
        HANDLE const ready = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        m_thread = std::thread([this, ready] { Loop(ready); });
        ::WaitForSingleObject(ready, 10000);
        ::CloseHandle(ready);
    }
    ~TestWindow() {
        if (m_threadId)
            ::PostThreadMessageA(m_threadId, WM_QUIT, 0, 0);
        m_thread.join();
    }

private:
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<TestWindow*>(::GetWindowLongPtrA(wnd, GWLP_USERDATA));
        if (self && msg == self->m_close) {
            ::DestroyWindow(wnd);
            return 0;
        }
        if (msg == WM_DESTROY)
            ::PostQuitMessage(0);
        return ::DefWindowProcA(wnd, msg, wParam, lParam);
    }
    void Loop(HANDLE ready) {
        m_threadId = ::GetCurrentThreadId();
        WNDCLASSA wc{};
        wc.lpfnWndProc = &TestWindow::Proc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = m_class.c_str();
        ::RegisterClassA(&wc);
        HWND const wnd = ::CreateWindowA(m_class.c_str(), "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                         nullptr, wc.hInstance, nullptr);
        if (wnd)
            ::SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        ::SetEvent(ready);
        MSG msg;
        while (wnd && ::GetMessageA(&msg, nullptr, 0, 0) > 0)
            ::DispatchMessageA(&msg);
        if (wnd && ::IsWindow(wnd))
            ::DestroyWindow(wnd);
        ::UnregisterClassA(m_class.c_str(), wc.hInstance);
    }

    std::string m_class;
    UINT m_close;
    DWORD m_threadId = 0;
    std::thread m_thread;
};

class RealEnvironment final : public Environment {
public:
    port::Os& Os() override { return real; }

    std::string ScratchFolder() override {
        static int counter = 0;
        char temp[MAX_PATH];
        DWORD n = ::GetTempPathA(MAX_PATH, temp);
        std::string base(temp, n);
        if (!base.empty() && base.back() == '\\')
            base.pop_back();
        std::string path = base + "\\nvcontract-" + RunTag() + "-" + std::to_string(++counter);
        RemoveTree(path);
        if (!::CreateDirectoryA(path.c_str(), nullptr))
            ADD_FAILURE() << "cannot create " << path << ": " << ::GetLastError();
        folders.push_back(path);
        return path;
    }
    void MakeFolder(const std::string& path) override {
        if (!::CreateDirectoryA(path.c_str(), nullptr))
            ADD_FAILURE() << "cannot create " << path << ": " << ::GetLastError();
    }
    void WriteFile(const std::string& path, const std::string& bytes) override {
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr) << path;
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    std::string ReadFile(const std::string& path) override {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f)
            return "<missing>";
        std::string bytes;
        char block[4096];
        std::size_t n;
        while ((n = std::fread(block, 1, sizeof block, f)) > 0)
            bytes.append(block, n);
        std::fclose(f);
        return bytes;
    }
    void MakeHardLink(const std::string& existing, const std::string& link) override {
        if (!::CreateHardLinkA(link.c_str(), existing.c_str(), nullptr))
            ADD_FAILURE() << "cannot link " << link << ": " << ::GetLastError();
    }
    void DeleteKeyTree(port::HKEY root, const std::string& path) override {
        ::RegDeleteTreeA(reinterpret_cast<::HKEY>(root), path.c_str());
    }
    std::vector<MacAddress> MachineAddresses() override {
        std::vector<MacAddress> addresses;
        if (const char* list = std::getenv("NORVANE_HOST_MACS")) {
            for (const char* p = list; *p;) {
                MacAddress mac;
                if (ParseMac(p, &mac))
                    addresses.push_back(mac);
                const char* blank = std::strchr(p, ' ');
                if (!blank)
                    break;
                p = blank + 1;
            }
        }
        AddIpHelperAddresses(&addresses);
        return addresses;
    }
    std::string StandinService() override {
        const char* name = std::getenv("NORVANE_STANDIN_SERVICE");
        return name ? name : "";
    }
    ServiceConfig ServiceConfiguration(const std::string& name) override {
        ServiceConfig result;
        SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
        SC_HANDLE service =
            manager ? ::OpenServiceA(manager, name.c_str(), SERVICE_QUERY_CONFIG) : nullptr;
        if (service) {
            DWORD needed = 0;
            ::QueryServiceConfigA(service, nullptr, 0, &needed);
            std::vector<BYTE> block(needed ? needed : 1);
            auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(block.data());
            if (::QueryServiceConfigA(service, config, needed, &needed)) {
                result.startType = config->dwStartType;
                result.binaryPath = config->lpBinaryPathName ? config->lpBinaryPathName : "";
                result.displayName = config->lpDisplayName ? config->lpDisplayName : "";
            } else {
                ADD_FAILURE() << "QueryServiceConfigA failed: " << ::GetLastError();
            }
            ::CloseServiceHandle(service);
        }
        if (manager)
            ::CloseServiceHandle(manager);
        return result;
    }
    void AnswerNextMessageBox(int button) override {
        seen = {};
        answerer = std::thread([this, button] {
            // The box belongs to this process; wait up to 20 s for it.
            for (int i = 0; i < 1000; ++i) {
                HWND box = FindOwnMessageBox();
                if (box) {
                    char text[1024] = {};
                    ::GetWindowTextA(box, text, sizeof text);
                    seen.caption = text;
                    ::GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
                    seen.text = text;
                    ::PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
                    return;
                }
                ::Sleep(20);
            }
        });
    }
    SeenBox SeenMessageBox() override {
        if (answerer.joinable())
            answerer.join();
        return seen;
    }
    void OpenWindow(const std::string& className, port::UINT closeMessage) override {
        windows.push_back(std::make_unique<TestWindow>(className, closeMessage));
    }
    void PublishValue(const std::string& name, port::DWORD value) override {
        HANDLE const mapping =
            ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4, name.c_str());
        ASSERT_NE(mapping, nullptr) << name;
        void* const view = ::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 4);
        ASSERT_NE(view, nullptr);
        std::memcpy(view, &value, 4);
        ::UnmapViewOfFile(view);
        mappings.push_back(mapping);
    }
    port::DWORD RunningProcessId() override { return ::GetCurrentProcessId(); }
    std::string QuickProgram() override {
        char folder[MAX_PATH] = {};
        ::GetSystemDirectoryA(folder, MAX_PATH);
        return std::string(folder) + "\\hostname.exe";
    }
    bool UseCodePage(port::UINT cp) override { return ::GetACP() == cp; }
    bool UseStandardUserToken() override { return false; }
    bool IsFake() const override { return false; }
    bool IsWine() const override {
        HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
        return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
    }
    void Finish() override {
        if (answerer.joinable())
            answerer.join();
        windows.clear();
        for (HANDLE mapping : mappings)
            ::CloseHandle(mapping);
        mappings.clear();
        for (const auto& folder : folders)
            RemoveTree(folder);
        folders.clear();
    }

private:
    static HWND FindOwnMessageBox() {
        struct Search {
            HWND found = nullptr;
        } search;
        ::EnumWindows(
            [](HWND window, LPARAM param) -> BOOL {
                DWORD pid = 0;
                ::GetWindowThreadProcessId(window, &pid);
                char cls[16] = {};
                ::GetClassNameA(window, cls, sizeof cls);
                if (pid == ::GetCurrentProcessId() && std::strcmp(cls, "#32770") == 0 &&
                    ::IsWindowVisible(window) && ::GetDlgItem(window, 0xFFFF)) {
                    reinterpret_cast<Search*>(param)->found = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    port::Win32Os real;
    std::vector<std::string> folders;
    std::vector<std::unique_ptr<TestWindow>> windows;
    std::vector<HANDLE> mappings;
    std::thread answerer;
    SeenBox seen;
};

} // namespace

std::unique_ptr<Environment> MakeEnvironment() {
    return std::make_unique<RealEnvironment>();
}

std::string RunTag() {
    static const std::string tag =
        std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(::GetTickCount() % 100000);
    return tag;
}

} // namespace contract

#endif
