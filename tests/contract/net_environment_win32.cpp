// The WinINet contract environment on the real library: the server stand-in
// started by tests/wine/run_contract.sh (NORVANE_CONTRACT_SERVER_PORT, its
// log at NORVANE_CONTRACT_SERVER_LOG, NORVANE_CONTRACT_CLOSED_PORT), and a
// thread that answers the library's credential dialog.
#ifdef NORVANE_CONTRACT_REAL

#include "net_environment.h"
#include "port/win32/win32_internet.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace contract {

namespace {

port::INTERNET_PORT PortFrom(const char* variable) {
    const char* value = std::getenv(variable);
    return value ? static_cast<port::INTERNET_PORT>(std::atoi(value)) : 0;
}

// The credential dialog: a dialog of this process with the user name edit.
constexpr int kUserEdit = 0x403;
constexpr int kPasswordEdit = 0x404;

HWND FindCredentialDialog() {
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
                ::IsWindowVisible(window) && ::GetDlgItem(window, kUserEdit)) {
                reinterpret_cast<Search*>(param)->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

class RealNetEnvironment final : public NetEnvironment {
public:
    port::Internet& Net() override { return net; }
    port::INTERNET_PORT ServerPort() override { return PortFrom("NORVANE_CONTRACT_SERVER_PORT"); }
    port::INTERNET_PORT ClosedPort() override { return PortFrom("NORVANE_CONTRACT_CLOSED_PORT"); }

    std::vector<SeenRequest> ServerRequests() override {
        std::vector<SeenRequest> out;
        const char* path = std::getenv("NORVANE_CONTRACT_SERVER_LOG");
        FILE* log = path ? std::fopen(path, "rb") : nullptr;
        if (!log)
            return out;
        char line[4096];
        bool inRequest = false;
        while (std::fgets(line, sizeof line, log)) {
            std::string text(line);
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
                text.pop_back();
            if (text.empty()) {
                inRequest = false;
            } else if (!inRequest) {
                out.push_back({text, {}});
                inRequest = true;
            } else {
                out.back().headers.push_back(text);
            }
        }
        std::fclose(log);
        return out;
    }

    void AnswerNextCredentialDialog(bool ok, const std::string& user,
                                    const std::string& password) override {
        if (answerer.joinable())
            answerer.join();
        answerer = std::thread([ok, user, password] {
            for (int i = 0; i < 1000; ++i) { // up to 20 s
                if (HWND dialog = FindCredentialDialog()) {
                    ::SetDlgItemTextA(dialog, kUserEdit, user.c_str());
                    ::SetDlgItemTextA(dialog, kPasswordEdit, password.c_str());
                    ::PostMessageA(dialog, WM_COMMAND, ok ? IDOK : IDCANCEL, 0);
                    return;
                }
                ::Sleep(20);
            }
        });
    }

    void Finish() override {
        if (answerer.joinable())
            answerer.join();
    }

private:
    port::Win32Internet net;
    std::thread answerer;
};

} // namespace

std::unique_ptr<NetEnvironment> MakeNetEnvironment(Environment&) {
    return std::make_unique<RealNetEnvironment>();
}

} // namespace contract

#endif
