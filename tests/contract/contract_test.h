// The contract tests: one set of checks of the behaviour the program relies
// on, built once against the in-memory Windows and once against the real
// system (NORVANE_CONTRACT_REAL), so that the two are shown to agree.
//
// Everything a test needs outside the port (a scratch folder, files with
// exact bytes, the machine's adapter addresses, removing a scratch key) goes
// through `Environment`, which has one implementation per side.
#pragma once

#include "port/port.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace contract {

using MacAddress = std::array<port::BYTE, 6>;

class Environment {
public:
    virtual ~Environment() = default;

    virtual port::Os& Os() = 0;
    // A new empty folder for this test (full path, no trailing backslash);
    // removed by Finish.
    virtual std::string ScratchFolder() = 0;
    virtual void MakeFolder(const std::string& path) = 0;
    virtual void WriteFile(const std::string& path, const std::string& bytes) = 0;
    // The file's bytes; "<missing>" when there is no such file.
    virtual std::string ReadFile(const std::string& path) = 0;
    // A second name (hard link) of an existing file, as a user may plant one.
    virtual void MakeHardLink(const std::string& existing, const std::string& link) = 0;
    // Removes a registry key and everything below it (no error when missing).
    virtual void DeleteKeyTree(port::HKEY root, const std::string& path) = 0;
    // The hardware addresses of the machine's network adapters.
    virtual std::vector<MacAddress> MachineAddresses() = 0;
    // Name of an installed, stopped, demand-start service that obeys stop and
    // start; empty when there is none.
    virtual std::string StandinService() = 0;
    // The service's configuration as the service database holds it.
    struct ServiceConfig {
        port::DWORD startType = 0;
        std::string binaryPath;
        std::string displayName;
        bool operator==(const ServiceConfig&) const = default;
    };
    virtual ServiceConfig ServiceConfiguration(const std::string& name) = 0;
    // Makes cp the ANSI code page where the side can (the fake); elsewhere
    // tells whether cp is the one in force.
    virtual bool UseCodePage(port::UINT cp) = 0;
    // Has the next message box of this process answered with `button`, and
    // keeps its caption and text for SeenMessageBox (once it has closed).
    virtual void AnswerNextMessageBox(int button) = 0;
    struct SeenBox {
        std::string caption;
        std::string text;
    };
    virtual SeenBox SeenMessageBox() = 0;
    // A top-level window of class className, in a program of its own, that
    // goes when it is posted closeMessage (or at Finish).
    virtual void OpenWindow(const std::string& className, port::UINT closeMessage) = 0;
    // A named 4-byte file mapping holding value, open until Finish.
    virtual void PublishValue(const std::string& name, port::DWORD value) = 0;
    // The id of a process that runs for the whole test (this one).
    virtual port::DWORD RunningProcessId() = 0;
    // Full path of a program that, started without arguments, ends at once.
    virtual std::string QuickProgram() = 0;
    // Makes this process's token a standard user's (no Administrators
    // group) where the side can (the fake); false where it cannot (the real
    // side runs as an administrator, and every Wine token is one).
    virtual bool UseStandardUserToken() = 0;
    // True on the in-memory side (its clock is virtual).
    virtual bool IsFake() const = 0;
    // True under Wine, for the few places where Wine is known to differ from
    // documented Windows behaviour (the fake follows Windows there).
    virtual bool IsWine() const = 0;
    // End of test: removes scratch folders and reports anything left open.
    virtual void Finish() = 0;
};

std::unique_ptr<Environment> MakeEnvironment();

// Text unique to this run, for names of scratch keys and folders that other
// runs on the same system must not collide with.
std::string RunTag();

class ContractTest : public ::testing::Test {
protected:
    ContractTest() : env(MakeEnvironment()), os(env->Os()) { port::SetSys(&os); }
    ~ContractTest() override { port::SetSys(nullptr); }
    void TearDown() override { env->Finish(); }

    std::unique_ptr<Environment> env;
    port::Os& os;
};

} // namespace contract
