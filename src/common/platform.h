// Questions about the machine: Windows kind, administrator rights, names,
// folders, colour depth, local address, file counts. None of them shows
// anything; failures read as "", 0 or FALSE.
#pragma once

#include "port/port.h"

#include <atomic>
#include <string>

// dwPlatformId of GetVersionExA: 0 Win32s, 1 Windows 9x, 2 NT.
int GetPlatformId();
// The Windows NT family (platform 2).
bool IsNT();
port::BOOL IsAdministrator();
// The token's TokenElevationType (Windows Vista and later: 1 no split token,
// 2 the full one, 3 the filtered one); 0 where the system has no such class.
port::DWORD GetTokenElevationType();
std::string GetComputerNameString();
std::string GetWorkgroupName();
std::string GetDomainName();
// The network container (domain or workgroup) of a computer, through the
// network provider library loaded at run time. *size is the buffer's size in
// bytes; when it is too small it receives the size needed and *error 234.
[[nodiscard]] port::BOOL GetNetworkParentName(const std::string& computer, port::DWORD* size,
                                              char* buffer, port::DWORD* error);
std::string GetWindowsFolder();
std::string GetProgramFilesFolder();
std::string GetModulePath();
port::BOOL IsLowColorDisplay();
[[nodiscard]] port::BOOL GetLocalIPAddress(char* buffer, int size);

// Raised by CountFiles for a search the runtime rejects as invalid.
class CFileException {
public:
    enum Cause {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile
    };
    CFileException(int cause, long osError) : m_cause(cause), m_lOsError(osError) {}
    int m_cause;
    long m_lOsError;
    std::string m_strFileName;
};

// Plain files matching pattern in folder (and below it with recurse) whose
// extension does not occur in exclusions; each also increments *counter.
int CountFiles(const std::string& folder, const std::string& pattern, port::DWORD attributes,
               std::atomic<long>* counter, bool recurse, const std::string& exclusions);
