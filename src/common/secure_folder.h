// Files and folders that only administrators and the system can change: the
// program runs with the highest rights, so whatever a standard user could
// write, delete or replace must not be run, followed or written into.
#pragma once

#include "port/port.h"

#include <string>
#include <vector>

// The descriptor of a folder of the program's own: owner Administrators; a
// protected DACL (nothing inherited from above) giving the local system and
// Administrators full control and Users read and execute, passed on to every
// file and folder below.
std::vector<port::BYTE> ProtectedFolderDescriptor();

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

// Makes path a folder of the program's own. Missing: made with the
// protected descriptor. A folder that others may change: given the owner
// and DACL above. A junction, a link or a file in its place is never
// followed or changed. true when the folder may be used; *note says what
// was mended, or why it may not be used (empty when there was nothing to
// say).
[[nodiscard]] bool SecureFolder(const std::string& path, std::string* note);

// Where a preparation puts the program when the place it runs from will not
// do: %ProgramFiles%\Norvane\norvane.exe (the folder made as above). Empty
// where the system names no Program Files folder.
std::string InstalledProgramFolder();
std::string InstalledProgramPath();
// The two name the same file (compared without regard to case).
bool SamePath(const std::string& a, const std::string& b);
