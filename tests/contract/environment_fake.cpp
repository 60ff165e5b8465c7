// The contract tests' environment on the in-memory Windows: files and
// folders live in the fake's tables, and the stand-in service is a scripted
// fake service that takes a little virtual time to stop and start.
#ifndef NORVANE_CONTRACT_REAL

#include "contract_test.h"
#include "port/fake/fake_os.h"
#include "strings_table.h"

#include <cstring>

namespace contract {

namespace {

constexpr const char* kStandin = "NorvaneStandin";

class FakeEnvironment final : public Environment {
public:
    FakeEnvironment() {
        port::FakeService standin;
        standin.state = port::SERVICE_STOPPED;
        standin.startType = port::SERVICE_DEMAND_START;
        standin.binaryPath = "C:\\norvane\\nvstandin.exe";
        standin.displayName = "Norvane contract stand-in";
        standin.stopDelayMs = 120;
        standin.startDelayMs = 80;
        fake.services[kStandin] = standin;
        for (const auto& [id, text] : ProgramStringTable())
            fake.strings[id] = text;
        // The running program's file begins as every program's does.
        fake.profileFiles[fake.modulePath] = "MZ\x90";
        // The real side is a system of today: Windows 10's version, as Wine
        // reports it, with its private namespaces.
        fake.version.dwMajorVersion = 6;
        fake.version.dwMinorVersion = 2;
        fake.version.dwBuildNumber = 9200;
        // SMBIOS 2.8: the system information (type 1) and the end of the table.
        fake.smbios = {0, 2,    8,    0,    35, 0,    0,    0,    1,    27,   1,    0, 1, 0, 0,
                       0, 0x33, 0x22, 0x11, 0,  0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 1, 2, 3, 4,
                       5, 6,    6,    0,    0,  0,    0,    127,  4,    2,    0,    0, 0};
    }

    port::Os& Os() override { return fake; }
    void AnswerNextMessageBox(int button) override { fake.messageBoxAnswers.push_back(button); }
    SeenBox SeenMessageBox() override {
        if (fake.messageBoxes.empty())
            return {};
        return {fake.messageBoxes.back().caption, fake.messageBoxes.back().text};
    }

    std::string ScratchFolder() override {
        std::string path = "C:\\TEMP\\nvcontract" + std::to_string(++folders);
        fake.AddFolder(path);
        return path;
    }
    void MakeFolder(const std::string& path) override { fake.AddFolder(path); }
    void WriteFile(const std::string& path, const std::string& bytes) override {
        fake.AddFile(path);
        fake.profileFiles[path] = bytes;
    }
    std::string ReadFile(const std::string& path) override {
        auto it = fake.profileFiles.find(path);
        return it == fake.profileFiles.end() ? "<missing>" : it->second;
    }
    void MakeHardLink(const std::string& existing, const std::string& link) override {
        fake.AddHardLink(existing, link);
    }
    void DeleteKeyTree(port::HKEY root, const std::string& path) override {
        fake.DeleteKeyTree(root, path);
    }
    std::vector<MacAddress> MachineAddresses() override {
        std::vector<MacAddress> addresses;
        for (const auto& lana : fake.lanas)
            addresses.push_back(lana.address);
        return addresses;
    }
    std::string StandinService() override { return kStandin; }
    ServiceConfig ServiceConfiguration(const std::string& name) override {
        const port::FakeService& s = fake.services.at(name);
        return {s.startType, s.binaryPath, s.displayName};
    }
    bool UseStandardUserToken() override {
        fake.isAdministrator = false;
        return true;
    }
    bool UseCodePage(port::UINT cp) override {
        fake.codePage = cp;
        return true;
    }
    void OpenWindow(const std::string& className, port::UINT closeMessage) override {
        fake.AddWindow(className, closeMessage, 0, 0, fake.AddProcess());
    }
    void PublishValue(const std::string& name, port::DWORD value) override {
        port::FakeMapping mapping;
        mapping.bytes.resize(4);
        std::memcpy(mapping.bytes.data(), &value, 4);
        fake.mappings[name] = mapping;
    }
    port::DWORD RunningProcessId() override { return fake.AddProcess(); }
    std::string QuickProgram() override {
        std::string const path = "C:\\WINDOWS\\system32\\hostname.exe";
        fake.AddFile(path);
        fake.launchedProgramLifetimeMs = 30;
        return path;
    }
    bool IsFake() const override { return true; }
    bool IsWine() const override { return false; }
    void Finish() override {
        EXPECT_EQ(fake.OpenHandleCount(), 0) << "still open: " << fake.Describe();
    }

private:
    port::FakeOs fake;
    int folders = 0;
};

} // namespace

std::unique_ptr<Environment> MakeEnvironment() {
    return std::make_unique<FakeEnvironment>();
}

std::string RunTag() {
    return "fake";
}

} // namespace contract

#endif
