// The 4-byte values another program publishes in named file mappings (the
// 9x client's main window and process id). Reading only; every failure
// reads as 0, which callers take as "that program is not running".
#pragma once

#include "port/port.h"

#include <string>

port::HWND ReadSharedHandle(const std::string& name);
port::DWORD ReadSharedValue(const std::string& name);
