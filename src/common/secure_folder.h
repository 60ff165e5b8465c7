// Files and folders that only administrators and the system can change: the
// program runs with the highest rights, so whatever a standard user could
// write, delete or replace must not be run, followed or written into.
#pragma once

#include "port/port.h"
#include "port/security_descriptor.h"

#include <string>
#include <vector>

// What a folder of the program's own is for: the program's copy, which
// every user must be able to start (the Run value starts it at each logon,
// under User Account Control with a filtered token), or the run's record,
// which nobody but administrators and the system may even read.
enum class FolderUse { Program, Record };

// The descriptor of a folder of the program's own: owner Administrators; a
// protected DACL (nothing inherited from above) giving the local system and
// Administrators full control, passed on to every file and folder below;
// for the program's folder also Users read and execute.
std::vector<port::BYTE> ProtectedFolderDescriptor(FolderUse use = FolderUse::Program);

// The accounts whose files and folders no standard user can have made: the
// local system, Administrators, TrustedInstaller, and administrator (the
// administrator running this program, where Windows makes an
// administrator's files their own, as XP does; empty when there is none).
bool TrustedAccount(const std::string& sid, const std::string& administrator);
// The token's user when it is an administrator; empty otherwise.
std::string RunningAdministrator();
// The owner and DACL of what a handle is open on (it needs READ_CONTROL);
// false with *error.
bool ReadObjectSecurity(port::HANDLE object, port::SecurityDescriptor* sd, port::DWORD* error);
// Why sd lets someone other than the trusted accounts change (or, for the
// record, also read) what it protects, in a few words; empty when nobody
// may. *onlyRead: what they may is only reading.
std::string Exposure(const port::SecurityDescriptor& sd, bool folder, FolderUse use,
                     const std::string& administrator, bool* onlyRead = nullptr);

// Whether the file or folder at path lets anyone but Administrators, the
// local system (and the installer's own account, and the administrator
// running this program) write, delete or replace it, or is owned by anyone
// else. A descriptor that cannot be read counts as yes. With why: in a few
// words, what lets them.
[[nodiscard]] bool OthersMayChange(const std::string& path, std::string* why);
// The same for any of `rights` (file and folder rights, generic ones
// included): whether anyone but those accounts owns path or is allowed one
// of them there.
[[nodiscard]] bool OthersHoldRights(const std::string& path, port::DWORD rights, std::string* why);

enum class EntryKind { Missing, Folder, ReparsePoint, File, Unknown };
// What path names, without following a junction or link in its place;
// Unknown (with *error) when the system cannot say.
EntryKind KindOf(const std::string& path, port::DWORD* error = nullptr);

// Makes path a folder of the program's own, through a handle on the folder
// itself, opened without following a junction or link in its place and
// kept open (without shared deletion) until ReleaseSecuredFolders: nobody
// can rename, remove or replace it meanwhile, so every path below it stays
// in the folder that was checked. Missing: made with the protected
// descriptor. A folder that others may change (or read, for the record):
// given the owner and DACL above, on the folder alone. Then whatever lies in
// it that is not a plain file of a trusted account's goes aside. A
// junction, a link or a file in its place is never followed or changed.
// true when the folder may be used; *note says what was mended, or why it
// may not be used (empty when there was nothing to say).
[[nodiscard]] bool SecureFolder(const std::string& path, std::string* note,
                                FolderUse use = FolderUse::Program);
// The end of a run: the folders SecureFolder holds are let go.
void ReleaseSecuredFolders();

// Where a preparation puts the program when the place it runs from will not
// do: %ProgramFiles%\Norvane\norvane.exe (the folder made as above). Empty
// where the system names no Program Files folder.
std::string InstalledProgramFolder();
std::string InstalledProgramPath();
// The two name the same file (compared without regard to case).
bool SamePath(const std::string& a, const std::string& b);
