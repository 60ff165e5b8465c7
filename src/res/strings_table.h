// The string table as data, for tests that load the program's texts from the
// test port.
#pragma once

#include <map>
#include <string>

inline std::map<unsigned, std::string> ProgramStringTable() {
    return {
#define NORVANE_STRING(id, text) {id, text},
#include "strings.inc"
#undef NORVANE_STRING
    };
}
