// Preparation of the master computer before its disk is imaged.
#pragma once

#include "app/command_line.h"

#include <string>

// Sets the client's listener service to start on demand (NT), removes the
// client's start-up value and registers this program to run at the next
// logon with the host identity on its command line.
void PrepareMasterImage(const CNorvaneCommandLineInfo& cmdInfo, const std::string& clientFolder);

// Removes the client's Run value named in its INI file and stores this
// program's own Run value.
void RegisterSelfForStartup(const std::string& iniPath);
