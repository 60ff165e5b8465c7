// The program's own file, held open from the start of a run: while the run
// goes on nobody can write, replace or rename it (the handle shares reading
// only), and what a preparation copies for its boot-time service are the
// bytes this handle reads, whatever the program's path names by then.
#pragma once

#include "common/handles.h"

#include <cstdint>
#include <string>

class CProgramFile {
public:
    // Opens the running program's file (GetModulePath) for reading, sharing
    // reading only. Called before the run logs or changes anything.
    void Hold();
    bool IsHeld() const { return static_cast<bool>(m_file); }
    // Why Hold failed (the system's error code).
    port::DWORD HoldError() const { return m_error; }
    const std::string& Path() const { return m_path; }
    // The held file's size; false when it cannot be read.
    [[nodiscard]] bool Size(std::uint64_t* size) const;
    // Writes the held bytes to target (made new: it must not be there), then
    // reads target back and compares it with them. false with *why (the
    // system's line of a failed call, or what differs); a copy left
    // unfinished or different is deleted again.
    [[nodiscard]] bool CopyTo(const std::string& target, std::string* why) const;

private:
    std::string m_path;
    unique_file m_file;
    port::DWORD m_error = 0;
};
