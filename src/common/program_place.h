// Whether a program lies where only administrators and the system can
// change it: the program runs with the highest rights from the path it is
// registered under, so nobody else may change that file, nor rename or
// replace any folder on its way there.
#pragma once

#include <string>
#include <vector>

// The folders path runs through, its root first: "C:\", "C:\Tools",
// "C:\Tools\Norvane" for C:\Tools\Norvane\norvane.exe ("\\server\share\"
// first for a share). Empty for a path of any other form (relative, a
// device's, one with an empty or a "." or ".." part).
std::vector<std::string> FoldersOf(const std::string& path);

// Whether anyone but Administrators and the system (as OthersMayChange
// counts them) may change the program at path or what that path names:
// - the file itself may be changed, or its folder (its content included:
//   OthersMayChange);
// - a folder further up lets others rename or replace the next part of the
//   path: delete rights on that part, delete-child rights on the folder,
//   change-permissions or take-ownership rights on (or ownership of)
//   either; the right to add entries alone is not enough;
// - a junction or link stands anywhere on the path, or what a part is
//   cannot be told.
// With why: in a few words, which part and what lets them.
[[nodiscard]] bool OthersMayReplaceProgram(const std::string& path, std::string* why);
