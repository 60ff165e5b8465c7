// nvprobe.exe: exact readers of the registry and the service database for the
// end-to-end tests, plus the few service operations the test bed needs to set
// up and tear down the client stand-in. Every command prints one JSON object
// on stdout; strings are byte-exact (see json_out.h).
//
//   reg HKLM|HKCU|HKU|HKCR KEY [VALUE]   one value, or all values and subkeys
//   svc NAME                             configuration and state of a service
//                                        (state -1 when it cannot be queried)
//   cp                                   ANSI and OEM code pages
//   msg CODE                             the system's text for an error code
//   window CLASS                         FindWindowA: handle and process id
//   shortpath PATH                       GetShortPathNameA
//   reg-acl KEY SDDL                     sets the DACL of HKLM\KEY
//   shared NAME                          first 4 bytes of a named file mapping
//   netbios                              the adapter address of every NetBIOS LANA
//                                        that answers, 12 lower-case hex digits each
//   post CLASS MSG WPARAM                PostMessageA to FindWindowA(CLASS)
//   post-hwnd HWND MSG WPARAM            PostMessageA to a window handle
//   svc-create NAME BINPATH START DISPLAY DEPS ACCOUNT ERRORCTL
//                                        DEPS: names joined by '/', "" for none
//                                        ACCOUNT: "" for LocalSystem
//   svc-start NAME...                    start, wait (5 s) for RUNNING
//   svc-stop NAME...                     stop, wait (5 s) for STOPPED
//   svc-delete NAME...
//   hold PATH                            opens the file for reading, sharing
//                                        nothing, says so and keeps it open
//                                        until standard input ends
// Exit code 0 when the command ran (also for "missing"), 1 when a write
// command failed, 2 for a usage error.
#include <windows.h>
#include <nb30.h>
#include <sddl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <memory>
#include <string>
#include <vector>

#include "json_out.h"

namespace {

using testbed::JsonString;
using testbed::Obj;

struct ScDeleter {
    void operator()(SC_HANDLE h) const { CloseServiceHandle(h); }
};
using ScHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ScDeleter>;

struct KeyDeleter {
    void operator()(HKEY h) const { RegCloseKey(h); }
};
using KeyHandle = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyDeleter>;

void Print(const std::string& json) {
    std::fputs(json.c_str(), stdout);
    std::fputc('\n', stdout);
}

const char* TypeName(DWORD type) {
    switch (type) {
    case REG_NONE:
        return "REG_NONE";
    case REG_SZ:
        return "REG_SZ";
    case REG_EXPAND_SZ:
        return "REG_EXPAND_SZ";
    case REG_BINARY:
        return "REG_BINARY";
    case REG_DWORD:
        return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN:
        return "REG_DWORD_BIG_ENDIAN";
    case REG_LINK:
        return "REG_LINK";
    case REG_MULTI_SZ:
        return "REG_MULTI_SZ";
    case REG_QWORD:
        return "REG_QWORD";
    default:
        return "REG_UNKNOWN";
    }
}

std::string Hex(const std::string& bytes) {
    std::string out;
    char buf[4];
    for (unsigned char c : bytes) {
        std::snprintf(buf, sizeof buf, "%02x", c);
        out += buf;
    }
    return out;
}

// Splits a double-NUL-terminated list; tolerates a missing final terminator.
// Empty texts inside the list are kept: the pending file operations pair
// each source with a destination that is empty for a deletion.
std::vector<std::string> SplitMulti(const std::string& raw) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos <= raw.size()) {
        size_t end = raw.find('\0', pos);
        if (end == std::string::npos) {
            end = raw.size();
        }
        out.push_back(raw.substr(pos, end - pos));
        pos = end + 1;
    }
    // The text after the last zero, then the list's own terminator.
    if (!raw.empty() && raw.back() == '\0') {
        out.pop_back();
    }
    if (!out.empty() && out.back().empty()) {
        out.pop_back();
    }
    return out;
}

std::string JsonList(const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        out += i ? "," : "";
        out += JsonString(items[i]);
    }
    return out + "]";
}

// type, size in bytes and data of one value. Strings are given without the
// terminating NUL, and "terminated" tells whether it was stored.
std::string ValueJson(DWORD type, const std::string& raw) {
    Obj o;
    o.Str("type", TypeName(type))
        .Num("type_id", type)
        .Num("size", static_cast<long long>(raw.size()));
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        bool terminated = !raw.empty() && raw.back() == '\0';
        o.Str("data", terminated ? raw.substr(0, raw.size() - 1) : raw)
            .Bool("terminated", terminated);
        break;
    }
    case REG_MULTI_SZ:
        o.Raw("data", JsonList(SplitMulti(raw)));
        break;
    case REG_DWORD:
        if (raw.size() == 4) {
            DWORD v;
            std::memcpy(&v, raw.data(), 4);
            o.Num("data", v);
            break;
        }
        [[fallthrough]];
    default:
        o.Str("hex", Hex(raw));
    }
    return o.Done();
}

HKEY Root(const std::string& name) {
    if (name == "HKLM" || name == "HKEY_LOCAL_MACHINE")
        return HKEY_LOCAL_MACHINE;
    if (name == "HKCU" || name == "HKEY_CURRENT_USER")
        return HKEY_CURRENT_USER;
    if (name == "HKU" || name == "HKEY_USERS")
        return HKEY_USERS;
    if (name == "HKCR" || name == "HKEY_CLASSES_ROOT")
        return HKEY_CLASSES_ROOT;
    return nullptr;
}

int CmdReg(int argc, char** argv) {
    if (argc < 4 || argc > 5 || !Root(argv[2])) {
        return 2;
    }
    HKEY raw = nullptr;
    LONG rc = RegOpenKeyExA(Root(argv[2]), argv[3], 0, KEY_READ, &raw);
    if (rc == ERROR_FILE_NOT_FOUND) {
        Print(Obj().Str("status", "missing").Str("what", "key").Done());
        return 0;
    }
    if (rc != ERROR_SUCCESS) {
        Print(Obj().Str("status", "error").Num("error", rc).Done());
        return 0;
    }
    KeyHandle key(raw);
    if (argc == 5) {
        DWORD type = 0, size = 0;
        rc = RegQueryValueExA(key.get(), argv[4], nullptr, &type, nullptr, &size);
        if (rc == ERROR_FILE_NOT_FOUND) {
            Print(Obj().Str("status", "missing").Str("what", "value").Done());
            return 0;
        }
        std::string data(size, '\0');
        if (rc == ERROR_SUCCESS) {
            rc = RegQueryValueExA(key.get(), argv[4], nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &size);
        }
        if (rc != ERROR_SUCCESS) {
            Print(Obj().Str("status", "error").Num("error", rc).Done());
            return 0;
        }
        data.resize(size);
        Print(Obj().Str("status", "ok").Raw("value", ValueJson(type, data)).Done());
        return 0;
    }
    std::string values = "{";
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD nameLen = sizeof name, type = 0, size = 0;
        if (RegEnumValueA(key.get(), i, name, &nameLen, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS) {
            break;
        }
        std::string data(size, '\0');
        nameLen = sizeof name;
        if (RegEnumValueA(key.get(), i, name, &nameLen, nullptr, &type,
                          reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS) {
            break;
        }
        data.resize(size);
        values += i ? "," : "";
        values += JsonString(std::string(name, nameLen));
        values += ':';
        values += ValueJson(type, data);
    }
    values += "}";
    std::vector<std::string> subkeys;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameLen = sizeof name;
        if (RegEnumKeyExA(key.get(), i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        subkeys.emplace_back(name, nameLen);
    }
    Print(Obj().Str("status", "ok").Raw("values", values).Raw("subkeys", JsonList(subkeys)).Done());
    return 0;
}

ScHandle OpenManager() {
    return ScHandle(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
}

int CmdSvc(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    ScHandle scm = OpenManager();
    if (!scm) {
        Print(Obj().Str("status", "error").Num("error", GetLastError()).Done());
        return 0;
    }
    ScHandle svc(OpenServiceA(scm.get(), argv[2], SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS));
    if (!svc) {
        DWORD err = GetLastError();
        if (err == ERROR_SERVICE_DOES_NOT_EXIST) {
            Print(Obj().Str("status", "missing").Done());
        } else {
            Print(Obj().Str("status", "error").Num("error", err).Done());
        }
        return 0;
    }
    DWORD needed = 0;
    QueryServiceConfigA(svc.get(), nullptr, 0, &needed);
    std::vector<char> buf(needed ? needed : sizeof(QUERY_SERVICE_CONFIGA));
    auto* cfg = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buf.data());
    if (!QueryServiceConfigA(svc.get(), cfg, static_cast<DWORD>(buf.size()), &needed)) {
        Print(Obj().Str("status", "error").Num("error", GetLastError()).Done());
        return 0;
    }
    std::vector<std::string> deps;
    if (cfg->lpDependencies) {
        for (const char* p = cfg->lpDependencies; *p; p += std::strlen(p) + 1) {
            deps.emplace_back(p);
        }
    }
    // Wine's QueryServiceConfigA leaves the dependencies out; the service
    // database keeps them in the service's key, which is read as well.
    std::vector<std::string> regDeps;
    std::string keyPath = std::string("System\\CurrentControlSet\\Services\\") + argv[2];
    HKEY rawKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, &rawKey) == ERROR_SUCCESS) {
        KeyHandle key(rawKey);
        for (const char* valueName : {"DependOnService", "DependOnGroup"}) {
            DWORD type = 0, size = 0;
            if (RegQueryValueExA(key.get(), valueName, nullptr, &type, nullptr, &size) !=
                ERROR_SUCCESS) {
                continue;
            }
            std::string data(size, '\0');
            if (RegQueryValueExA(key.get(), valueName, nullptr, &type,
                                 reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS) {
                data.resize(size);
                for (auto& d : SplitMulti(data)) {
                    regDeps.push_back(valueName[8] == 'G' ? "+" + d : d);
                }
            }
        }
    }
    SERVICE_STATUS st{};
    long long state =
        QueryServiceStatus(svc.get(), &st) ? static_cast<long long>(st.dwCurrentState) : -1;
    auto s = [](const char* p) { return std::string(p ? p : ""); };
    Print(Obj()
              .Str("status", "ok")
              .Num("service_type", cfg->dwServiceType)
              .Num("start_type", cfg->dwStartType)
              .Num("error_control", cfg->dwErrorControl)
              .Str("binary_path", s(cfg->lpBinaryPathName))
              .Str("load_order_group", s(cfg->lpLoadOrderGroup))
              .Num("tag_id", cfg->dwTagId)
              .Raw("dependencies", JsonList(deps))
              .Raw("dependencies_registry", JsonList(regDeps))
              .Str("account", s(cfg->lpServiceStartName))
              .Str("display_name", s(cfg->lpDisplayName))
              .Num("state", state)
              .Done());
    return 0;
}

int CmdCp() {
    Print(Obj().Num("acp", GetACP()).Num("oemcp", GetOEMCP()).Done());
    return 0;
}

int CmdMsg(const char* code) {
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                             static_cast<DWORD>(std::strtoul(code, nullptr, 0)), 0x400,
                             reinterpret_cast<char*>(&text), 0, nullptr);
    if (n == 0 || !text) {
        Print(Obj().Str("status", "missing").Done());
        return 0;
    }
    Print(Obj().Str("status", "ok").Str("text", std::string(text, n)).Done());
    LocalFree(text);
    return 0;
}

// Replaces the DACL of an HKLM key with one written in SDDL, e.g.
// "D:(D;;KW;;;WD)(A;;KA;;;WD)" (no writing for anybody) or "D:(A;;KA;;;WD)".
int CmdRegAcl(const char* key, const char* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd,
                                                              nullptr)) {
        Print(Obj().Str("status", "error").Num("error", GetLastError()).Done());
        return 1;
    }
    HKEY h = nullptr;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, WRITE_DAC, &h);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, sd);
        RegCloseKey(h);
    }
    LocalFree(sd);
    Print(Obj().Str("status", rc == ERROR_SUCCESS ? "ok" : "error").Num("error", rc).Done());
    return rc == ERROR_SUCCESS ? 0 : 1;
}

int CmdShortPath(const char* path) {
    char buffer[MAX_PATH] = {};
    DWORD n = GetShortPathNameA(path, buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        Print(Obj().Str("status", "missing").Num("error", GetLastError()).Done());
        return 0;
    }
    Print(Obj().Str("status", "ok").Str("path", std::string(buffer, n)).Done());
    return 0;
}

int CmdWindow(const char* cls) {
    HWND h = FindWindowA(cls, nullptr);
    if (!h) {
        Print(Obj().Str("status", "missing").Done());
        return 0;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    Print(Obj()
              .Str("status", "ok")
              .Num("hwnd", static_cast<long long>(reinterpret_cast<UINT_PTR>(h)))
              .Num("pid", pid)
              .Bool("visible", IsWindowVisible(h))
              .Done());
    return 0;
}

int CmdShared(const char* name) {
    HANDLE m = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
    if (!m) {
        Print(Obj().Str("status", "missing").Done());
        return 0;
    }
    DWORD value = 0;
    bool viewed = false;
    if (const void* view = MapViewOfFile(m, FILE_MAP_READ, 0, 0, 4)) {
        std::memcpy(&value, view, 4);
        UnmapViewOfFile(view);
        viewed = true;
    }
    CloseHandle(m);
    Print(Obj().Str("status", viewed ? "ok" : "error").Num("value", value).Done());
    return 0;
}

// The adapters as NetBIOS reports them, read the way a program on this
// machine reads its host identity: enumerate the LANAs, reset each, ask for
// its adapter status.
int CmdNetbios() {
    LANA_ENUM lanas{};
    NCB ncb{};
    ncb.ncb_command = NCBENUM;
    ncb.ncb_buffer = reinterpret_cast<UCHAR*>(&lanas);
    ncb.ncb_length = sizeof lanas;
    UCHAR rc = Netbios(&ncb);
    std::vector<std::string> adapters;
    for (int i = 0; rc == NRC_GOODRET && i < lanas.length; ++i) {
        ncb = NCB{};
        ncb.ncb_command = NCBRESET;
        ncb.ncb_lana_num = lanas.lana[i];
        Netbios(&ncb);
        struct {
            ADAPTER_STATUS status;
            NAME_BUFFER names[30];
        } answer{};
        ncb = NCB{};
        ncb.ncb_command = NCBASTAT;
        ncb.ncb_lana_num = lanas.lana[i];
        std::memcpy(ncb.ncb_callname, "*               ", NCBNAMSZ);
        ncb.ncb_buffer = reinterpret_cast<UCHAR*>(&answer);
        ncb.ncb_length = sizeof answer;
        if (Netbios(&ncb) == NRC_GOODRET) {
            adapters.push_back(
                Hex(std::string(reinterpret_cast<const char*>(answer.status.adapter_address), 6)));
        }
    }
    Print(Obj().Str("status", "ok").Num("enum", rc).Raw("adapters", JsonList(adapters)).Done());
    return 0;
}

int CmdPost(HWND h, const char* msg, const char* wparam) {
    if (!h) {
        Print(Obj().Str("status", "missing").Done());
        return 1;
    }
    BOOL ok = PostMessageA(h, static_cast<UINT>(std::strtoul(msg, nullptr, 0)),
                           static_cast<WPARAM>(std::strtoull(wparam, nullptr, 0)), 0);
    Print(Obj().Str("status", ok ? "ok" : "error").Num("error", ok ? 0 : GetLastError()).Done());
    return ok ? 0 : 1;
}

int Fail(const char* what, const char* name) {
    DWORD err = GetLastError();
    Print(Obj().Str("status", "error").Str("op", what).Str("name", name).Num("error", err).Done());
    return 1;
}

int CmdSvcCreate(int argc, char** argv) {
    if (argc != 9) {
        return 2;
    }
    // DEPS "a/b" becomes the double-NUL-terminated list "a\0b\0\0".
    std::string deps = argv[6];
    for (char& c : deps) {
        if (c == '/') {
            c = '\0';
        }
    }
    deps.append(2, '\0');
    const char* account = argv[7][0] ? argv[7] : nullptr;
    ScHandle scm = OpenManager();
    if (!scm) {
        return Fail("OpenSCManagerA", "");
    }
    ScHandle svc(CreateServiceA(scm.get(), argv[2], argv[5], SERVICE_ALL_ACCESS,
                                SERVICE_WIN32_OWN_PROCESS, std::strtoul(argv[4], nullptr, 0),
                                std::strtoul(argv[8], nullptr, 0), argv[3], nullptr, nullptr,
                                deps.c_str(), account, nullptr));
    if (!svc) {
        return Fail("CreateServiceA", argv[2]);
    }
    Print(Obj().Str("status", "ok").Done());
    return 0;
}

// Waits up to 5 s for a state; returns the last state seen (0 when unknown).
DWORD WaitState(SC_HANDLE svc, DWORD wanted) {
    SERVICE_STATUS st{};
    for (int i = 0; i < 250; ++i) {
        if (!QueryServiceStatus(svc, &st)) {
            return 0;
        }
        if (st.dwCurrentState == wanted) {
            break;
        }
        Sleep(20);
    }
    return st.dwCurrentState;
}

int CmdSvcEach(int argc, char** argv) {
    std::string op = argv[1];
    ScHandle scm = OpenManager();
    if (!scm) {
        return Fail("OpenSCManagerA", "");
    }
    int rc = 0;
    std::string results = "{";
    for (int i = 2; i < argc; ++i) {
        ScHandle svc(OpenServiceA(scm.get(), argv[i], SERVICE_ALL_ACCESS));
        std::string r;
        if (!svc) {
            r = Obj().Str("result", "missing").Num("error", GetLastError()).Done();
            rc = op == "svc-stop" ? rc : 1;
        } else if (op == "svc-start") {
            bool ok = StartServiceA(svc.get(), 0, nullptr) ||
                      GetLastError() == ERROR_SERVICE_ALREADY_RUNNING;
            DWORD err = ok ? 0 : GetLastError();
            DWORD state = WaitState(svc.get(), SERVICE_RUNNING);
            ok = ok && state == SERVICE_RUNNING;
            rc = ok ? rc : 1;
            r = Obj()
                    .Str("result", ok ? "ok" : "failed")
                    .Num("error", err)
                    .Num("state", state)
                    .Done();
        } else if (op == "svc-stop") {
            SERVICE_STATUS st{};
            ControlService(svc.get(), SERVICE_CONTROL_STOP, &st);
            DWORD state = WaitState(svc.get(), SERVICE_STOPPED);
            rc = state == SERVICE_STOPPED ? rc : 1;
            r = Obj()
                    .Str("result", state == SERVICE_STOPPED ? "ok" : "failed")
                    .Num("state", state)
                    .Done();
        } else {
            bool ok = DeleteService(svc.get());
            rc = ok ? rc : 1;
            r = Obj()
                    .Str("result", ok ? "ok" : "failed")
                    .Num("error", ok ? 0 : GetLastError())
                    .Done();
        }
        results += i > 2 ? "," : "";
        results += JsonString(argv[i]);
        results += ':';
        results += r;
    }
    Print(Obj().Str("status", rc ? "error" : "ok").Raw("services", results + "}").Done());
    return rc;
}

// Another program holding a file as a user's reader may: no sharing at all.
int CmdHold(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return Fail("CreateFileA", path);
    }
    Print(Obj().Str("status", "held").Done());
    std::fflush(stdout);
    char buffer[64];
    DWORD read = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &read, nullptr) &&
           read > 0) {
    }
    CloseHandle(file);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    std::string cmd = argc > 1 ? argv[1] : "";
    int rc = 2;
    if (cmd == "reg") {
        rc = CmdReg(argc, argv);
    } else if (cmd == "svc") {
        rc = CmdSvc(argc, argv);
    } else if (cmd == "cp" && argc == 2) {
        rc = CmdCp();
    } else if (cmd == "msg" && argc == 3) {
        rc = CmdMsg(argv[2]);
    } else if (cmd == "window" && argc == 3) {
        rc = CmdWindow(argv[2]);
    } else if (cmd == "shortpath" && argc == 3) {
        rc = CmdShortPath(argv[2]);
    } else if (cmd == "reg-acl" && argc == 4) {
        rc = CmdRegAcl(argv[2], argv[3]);
    } else if (cmd == "shared" && argc == 3) {
        rc = CmdShared(argv[2]);
    } else if (cmd == "netbios" && argc == 2) {
        rc = CmdNetbios();
    } else if (cmd == "post" && argc == 5) {
        rc = CmdPost(FindWindowA(argv[2], nullptr), argv[3], argv[4]);
    } else if (cmd == "post-hwnd" && argc == 5) {
        rc = CmdPost(
            reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(argv[2], nullptr, 0))),
            argv[3], argv[4]);
    } else if (cmd == "svc-create") {
        rc = CmdSvcCreate(argc, argv);
    } else if ((cmd == "svc-start" || cmd == "svc-stop" || cmd == "svc-delete") && argc > 2) {
        rc = CmdSvcEach(argc, argv);
    } else if (cmd == "hold" && argc == 3) {
        rc = CmdHold(argv[2]);
    }
    if (rc == 2) {
        std::fputs(
            "usage: nvprobe.exe reg ROOT KEY [VALUE] | svc NAME | cp | msg CODE | window CLASS | "
            "shared NAME | netbios | post CLASS MSG WPARAM | post-hwnd HWND MSG WPARAM | "
            "svc-create NAME "
            "BINPATH START DISPLAY DEPS ACCOUNT ERRORCTL | svc-start|svc-stop|svc-delete "
            "NAME... | hold PATH\n",
            stderr);
    }
    std::fflush(stdout);
    return rc;
}
