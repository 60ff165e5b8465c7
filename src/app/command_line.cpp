#include "app/command_line.h"

#include "app/host_identity.h"
#include "common/text.h"

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> arguments;
    std::size_t i = 0;
    const std::size_t n = commandLine.size();
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };

    // The program name ends at the closing quote or the first blank; it has
    // no escapes.
    std::string program;
    if (i < n && commandLine[i] == '"') {
        ++i;
        while (i < n && commandLine[i] != '"')
            program += commandLine[i++];
        if (i < n)
            ++i;
    } else {
        while (i < n && !isBlank(commandLine[i]))
            program += commandLine[i++];
    }
    arguments.push_back(program);

    for (;;) {
        while (i < n && isBlank(commandLine[i]))
            ++i;
        if (i >= n)
            break;
        std::string argument;
        bool quoted = false;
        while (i < n && (quoted || !isBlank(commandLine[i]))) {
            std::size_t backslashes = 0;
            while (i < n && commandLine[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < n && commandLine[i] == '"') {
                // 2n backslashes and a quote: n backslashes, the quote toggles;
                // 2n+1: n backslashes and a literal quote.
                argument.append(backslashes / 2, '\\');
                if (backslashes % 2) {
                    argument += '"';
                } else if (quoted && i + 1 < n && commandLine[i + 1] == '"') {
                    argument += '"'; // "" inside quotes stands for one quote
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                argument.append(backslashes, '\\');
                if (i < n && (quoted || !isBlank(commandLine[i])))
                    argument += commandLine[i++];
            }
        }
        arguments.push_back(argument);
    }
    return arguments;
}

std::string ArgumentsOf(const std::string& commandLine) {
    // The program's name ends at its closing quote or at the first blank,
    // as SplitCommandLine takes it.
    std::size_t i = 0;
    if (!commandLine.empty() && commandLine[0] == '"') {
        i = commandLine.find('"', 1);
        i = i == std::string::npos ? commandLine.size() : i + 1;
    } else {
        i = commandLine.find_first_of(" \t");
        i = i == std::string::npos ? commandLine.size() : i;
    }
    i = commandLine.find_first_not_of(" \t", i);
    return i == std::string::npos ? std::string() : commandLine.substr(i);
}

void CCommandLineInfo::ParseParam(const char* param, port::BOOL isFlag, port::BOOL) {
    if (!isFlag)
        m_strFileName = param;
}

void ParseCommandLine(const std::vector<std::string>& arguments, CCommandLineInfo& info) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const char* param = arguments[i].c_str();
        port::BOOL isFlag = port::FALSE;
        if (param[0] == '-' || param[0] == '/') {
            isFlag = port::TRUE;
            ++param;
        }
        info.ParseParam(param, isFlag, i + 1 == arguments.size());
    }
}

void CNorvaneCommandLineInfo::ParseParam(const char* param, port::BOOL isFlag, port::BOOL isLast) {
    CCommandLineInfo::ParseParam(param, isFlag, isLast);
    if (!isFlag) {
        // This program takes no file or other plain argument: a word typed
        // without its slash is refused, not taken for something.
        Refuse(param, false);
        return;
    }
    if (MbsICmp(param, "silent") == 0) {
        m_bSilent = port::TRUE;
        return;
    }
    if (MbsICmp(param, "quiet") == 0) {
        m_bQuiet = port::TRUE;
        return;
    }
    if (MbsICmp(param, "service") == 0) {
        m_bService = port::TRUE;
        return;
    }
    if (MbsICmp(param, "HideWindow") == 0)
        return;
    if (MbsICmp(param, "?") == 0 || MbsICmp(param, "help") == 0 || MbsICmp(param, "h") == 0) {
        m_bUsage = port::TRUE;
        return;
    }
    // An identity as the preparation writes it, or none at all (a lone
    // slash: a registration made where no adapter answered). Anything else
    // would be taken for a foreign master's identity.
    if (*param == '\0' || IsHostIdentity(param)) {
        m_strHostArg = param;
        return;
    }
    Refuse(param, true);
}

void CNorvaneCommandLineInfo::Refuse(const char* param, bool isFlag) {
    // The first one is named.
    if (m_bRefused)
        return;
    m_bRefused = port::TRUE;
    m_bRefusedIsFlag = isFlag ? port::TRUE : port::FALSE;
    m_strRefused = param;
}
