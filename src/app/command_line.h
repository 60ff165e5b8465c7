// The command line as the application framework hands it to its parser: split
// into arguments like the C runtime does, each argument with one leading
// slash or dash taken off and marked as a flag.
#pragma once

#include "port/port.h"

#include <string>
#include <vector>

// The C runtime's splitting of a full command line (program name first).
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

class CCommandLineInfo {
public:
    virtual ~CCommandLineInfo() = default;
    // Called once per argument, in order. The base keeps the last plain
    // argument as a file name; this program opens no files.
    virtual void ParseParam(const char* param, port::BOOL isFlag, port::BOOL isLast);

    std::string m_strFileName;
};

// The command line without the program's name: the arguments as they were
// given, for a program that starts itself again with them.
std::string ArgumentsOf(const std::string& commandLine);

// Feeds every argument after the program name to info.ParseParam.
void ParseCommandLine(const std::vector<std::string>& arguments, CCommandLineInfo& info);

class CNorvaneCommandLineInfo : public CCommandLineInfo {
public:
    void ParseParam(const char* param, port::BOOL isFlag, port::BOOL isLast) override;

    std::string m_strHostArg;            // the host-identity flag, without its slash or dash
    port::BOOL m_bSilent = port::FALSE;  // no closing message in preparation mode
    port::BOOL m_bQuiet = port::FALSE;   // no window at all: everything goes to the record
    port::BOOL m_bService = port::FALSE; // the boot-time service: installed, or run as it
    port::BOOL m_bUsage = port::FALSE;   // /?, /help or -h: the usage, nothing else
    // An argument that is neither a switch nor a host identity (the first
    // one, without its slash or dash): the run changes nothing.
    port::BOOL m_bRefused = port::FALSE;
    port::BOOL m_bRefusedIsFlag = port::FALSE;
    std::string m_strRefused;

private:
    void Refuse(const char* param, bool isFlag);
};
