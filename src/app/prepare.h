// Preparation of the master computer before its disk is imaged.
#pragma once

#include "app/command_line.h"
#include "app/program_file.h"

#include <string>

// Sets the client's listener service to start on demand (NT), removes the
// client's start-up value and registers this program to run at the next
// logon with the host identity on its command line.
// The client's INI file is found as the copies find it. Refused, with
// nothing changed, where the host has no identity, and on NT where the
// program (held open since the run began) lies where others could change
// it (OthersMayReplaceProgram). The program registered is that file where
// it lies; with /service a copy of it in %ProgramFiles%\Norvane, made from
// the held file and compared with it.
void PrepareMasterImage(const CNorvaneCommandLineInfo& cmdInfo, const CProgramFile& program);

// The command this program registers: the program's quoted path and the
// quoted slash-prefixed identity; with quiet, " -HideWindow /quiet" behind
// them.
std::string StartupCommand(const std::string& program, const std::string& identity, bool quiet);

// Stores this program's own Run value, then removes the client's Run values
// named in its INI file ("NT_RUN_KEY"; on Windows 9x also "95_RUN_KEY"). In
// that order, so that a failed write leaves the client's start-up entry in
// place: the machine always starts one of the two. false, with the system's
// error shown, when the own value could not be stored. A quiet preparation
// registers a quiet command.
[[nodiscard]] bool RegisterSelfForStartup(const std::string& iniPath, int platform,
                                          const std::string& program, const std::string& identity,
                                          bool quiet);
