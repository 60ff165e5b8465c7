// The narrow groups of calls port::Os is made of (files, waits, security,
// the lock, the error mode, the event log). Part of port/port.h; include that.
#pragma once

#include "port/types.h"

namespace port {

// Files the program writes itself (its record): one narrow interface of the
// port, implemented by both sides together with the rest of Os. Handles of
// files are INVALID_HANDLE_VALUE when not open and are closed with
// CloseHandle.
class FileCalls {
public:
    virtual ~FileCalls() = default;

    // CreateFileA without security attributes or template file. A junction
    // or link anywhere in the path is followed, and at its end too unless
    // flags hold FILE_FLAG_OPEN_REPARSE_POINT; a folder opens only with
    // FILE_FLAG_BACKUP_SEMANTICS.
    virtual HANDLE CreateFileA(const char* name, DWORD access, DWORD share, DWORD creation,
                               DWORD flags) = 0;
    // The low 32 bits of the size (the high ones into *high when given);
    // INVALID_FILE_SIZE with the last error set on failure.
    virtual DWORD GetFileSize(HANDLE file, DWORD* high) = 0;
    virtual DWORD SetFilePointer(HANDLE file, LONG distance, LONG* high, DWORD method) = 0;
    virtual BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written) = 0;
    // CreateDirectoryA without security attributes: one level, whose parent
    // must exist; ERROR_ALREADY_EXISTS when it is there.
    virtual BOOL CreateDirectoryA(const char* path) = 0;
    virtual BOOL DeleteFileA(const char* path) = 0;
    // MoveFileA: renames at once; fails when the target exists.
    virtual BOOL MoveFileA(const char* existing, const char* newName) = 0;
    virtual DWORD GetCurrentProcessId() = 0;
    // What the file open through this handle is: its attributes (a reparse
    // point among them), size, number of names (hard links) and identity
    // (volume serial number and file index).
    virtual BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) = 0;
};

// Objects shared by the processes of the machine.
class SyncCalls {
public:
    virtual ~SyncCalls() = default;

    // CreateMutexA without security attributes: a named mutex, made or
    // opened; the last error is ERROR_ALREADY_EXISTS when it was there.
    // Closed with CloseHandle; it goes when its last handle does.
    virtual HANDLE CreateMutexA(BOOL initialOwner, const char* name) = 0;
};

// Who owns a file or folder and who may change it, and what a path names
// without following it: the file-system security of the port. Descriptors
// are self-relative (port/security_descriptor.h reads and makes them).
inline constexpr int TokenUser = 1; // GetTokenInformation: the token's user (a TOKEN_USER)
struct LUID {
    DWORD LowPart;
    LONG HighPart;
};
class FileSecurityCalls {
public:
    virtual ~FileSecurityCalls() = default;

    // GetFileSecurityA: the parts of the descriptor `info` asks for into
    // buffer; *needed its size (FALSE with ERROR_INSUFFICIENT_BUFFER when
    // it does not fit). Like SetFileSecurityA it follows a junction or a
    // link, at the end of the path as anywhere in it: only a handle says
    // which object was read or changed (ObjectSecurityCalls).
    virtual BOOL GetFileSecurityA(const char* path, DWORD info, void* descriptor, DWORD size,
                                  DWORD* needed) = 0;
    virtual BOOL SetFileSecurityA(const char* path, DWORD info, const void* descriptor) = 0;
    // CreateDirectoryA whose security attributes hold descriptor (not
    // inherited by child processes).
    virtual BOOL CreateDirectoryWithSecurityA(const char* path, const void* descriptor) = 0;
    // The entry's own attributes (FILE_ATTRIBUTE_REPARSE_POINT for a
    // junction or a link); INVALID_FILE_ATTRIBUTES with the last error.
    virtual DWORD GetFileAttributesA(const char* path) = 0;
    virtual BOOL CopyFileA(const char* existing, const char* newName, BOOL failIfExists) = 0;
    virtual BOOL RemoveDirectoryA(const char* path) = 0;
    // LookupPrivilegeValueA on this computer.
    virtual BOOL LookupPrivilegeValueA(const char* name, LUID* luid) = 0;
    // AdjustTokenPrivileges for one privilege (attributes SE_PRIVILEGE_ENABLED,
    // or 0 to disable it), no previous state: TRUE with the last error
    // ERROR_NOT_ALL_ASSIGNED where the token does not hold it.
    virtual BOOL AdjustTokenPrivilege(HANDLE token, const LUID& luid, DWORD attributes) = 0;
};

// The security of the very object a handle is open on (a folder opened with
// FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, a file): what
// its path names by now does not matter. Descriptors as FileSecurityCalls
// has them; neither call passes inheritable entries on to what lies below.
class ObjectSecurityCalls {
public:
    virtual ~ObjectSecurityCalls() = default;

    // GetKernelObjectSecurity: the handle needs READ_CONTROL.
    virtual BOOL GetKernelObjectSecurity(HANDLE object, DWORD info, void* descriptor, DWORD size,
                                         DWORD* needed) = 0;
    // SetKernelObjectSecurity: the owner needs WRITE_OWNER, the DACL WRITE_DAC.
    virtual BOOL SetKernelObjectSecurity(HANDLE object, DWORD info, const void* descriptor) = 0;
};

// A lock that no other user of the machine can take first: security
// descriptors written as text (Windows 2000 and later), the owner of a kernel
// object, and private namespaces (Windows Vista and later). What a system
// lacks is found missing at run time: the call fails with
// ERROR_PROC_NOT_FOUND. Descriptors and owners are released with LocalFree.
class LockCalls {
public:
    virtual ~LockCalls() = default;

    // ConvertStringSecurityDescriptorToSecurityDescriptorA, revision 1.
    virtual BOOL ConvertStringSecurityDescriptorToSecurityDescriptorA(const char* text,
                                                                      void** descriptor) = 0;
    // CreateMutexA with this descriptor (not inherited); the last error is
    // ERROR_ALREADY_EXISTS when it was there.
    virtual HANDLE CreateMutexSecuredA(void* descriptor, BOOL initialOwner, const char* name) = 0;
    // GetSecurityInfo of a kernel object for its owner alone: *owner points
    // into *descriptor. Returns the system's error code (0: done).
    virtual DWORD GetKernelObjectOwner(HANDLE object, PSID* owner, void** descriptor) = 0;
    virtual HANDLE CreateBoundaryDescriptorA(const char* name, DWORD flags) = 0;
    virtual BOOL AddSIDToBoundaryDescriptor(HANDLE* boundary, PSID sid) = 0;
    virtual void DeleteBoundaryDescriptor(HANDLE boundary) = 0;
    // CreatePrivateNamespaceA with this descriptor; ERROR_ALREADY_EXISTS when
    // one with the same boundary is there (open it instead).
    virtual HANDLE CreatePrivateNamespaceA(void* descriptor, HANDLE boundary,
                                           const char* alias) = 0;
    virtual HANDLE OpenPrivateNamespaceA(HANDLE boundary, const char* alias) = 0;
    virtual BOOL ClosePrivateNamespace(HANDLE privateNamespace, DWORD flags) = 0;
};

// How the process meets failures that the system would otherwise put to a
// person in a box of its own (a drive without a disk, a program that
// crashed, a file that cannot be opened): a run that nobody watches turns
// those boxes off before anything else.
class ErrorModeCalls {
public:
    virtual ~ErrorModeCalls() = default;

    // SetErrorMode: the process's new mode; returns the one it had.
    virtual UINT SetErrorMode(UINT mode) = 0;
};

// The Windows event log: a source opened by name (registered or not), one
// event reported through it, the source closed.
class EventLogCalls {
public:
    virtual ~EventLogCalls() = default;

    virtual HANDLE RegisterEventSourceA(const char* server, const char* source) = 0;
    // No user SID and no binary data; the strings in the ANSI code page.
    virtual BOOL ReportEventA(HANDLE source, WORD type, WORD category, DWORD eventId,
                              WORD stringCount, const char** strings) = 0;
    virtual BOOL DeregisterEventSource(HANDLE source) = 0;
};

// Reading a file through a handle: the program copies its own file from
// the handle it holds from its start (the bytes that run, whatever a path
// names by then).
class FileReadCalls {
public:
    virtual ~FileReadCalls() = default;

    // ReadFile without overlapped I/O: up to size bytes at the file
    // pointer; TRUE with *read 0 at the end of the file.
    virtual BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* read) = 0;
};

} // namespace port
