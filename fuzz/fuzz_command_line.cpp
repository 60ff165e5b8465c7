// The command line: splitting like the C runtime, then the program's flags.
//
// Input: a command line (up to the first NUL byte). When a NUL follows, the
// bytes behind it, cut at further NULs, are also taken as an argument vector
// (program name first), quoted into a command line and split again.
//
// Checked: splitting what was quoted gives the arguments back (and quoting
// the arguments of any line and splitting again gives them once more); under
// code pages 1252 and 932, "silent" in any letter case sets the flag, the
// usage switches ask for the usage, the known switches are taken, the host
// argument is the last flag that reads as an identity (hexadecimal, twelve
// digits per adapter) without its one leading slash or dash, the first other
// flag or plain argument is the one refused, and the file name is the last
// plain argument.
#include "app/command_line.h"
#include "fuzz_support.h"

#include <algorithm>

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// One argument as a program quotes it for the C runtime: bare when it has no
// blank and no quote; otherwise in quotes, with backslashes doubled where a
// quote follows them and each quote of its own escaped.
std::string Quote(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        return argument;
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, '\\');
    return out + "\"";
}

// The program name has no escapes: it is quoted as it is, and cannot hold a
// quote.
std::string Join(const std::vector<std::string>& arguments) {
    std::string line = "\"" + arguments[0] + "\"";
    for (std::size_t i = 1; i < arguments.size(); ++i)
        line += " " + Quote(arguments[i]);
    return line;
}

void CheckParse(const std::vector<std::string>& arguments) {
    for (port::UINT codePage : {1252u, 932u}) {
        FreshFake<> fake;
        fake.os.codePage = codePage;
        CNorvaneCommandLineInfo info;
        ParseCommandLine(arguments, info);

        bool silent = false, usage = false, refused = false, refusedIsFlag = false;
        std::string host, fileName, refusedText;
        auto const refuse = [&](std::string_view text, bool flag) {
            if (refused)
                return;
            refused = true;
            refusedIsFlag = flag;
            refusedText = text;
        };
        // An identity as the preparation writes it, or none (a lone slash).
        auto const isIdentity = [](std::string_view text) {
            return text.size() % 12 == 0 && std::all_of(text.begin(), text.end(), [](char c) {
                       return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
                              (c >= 'A' && c <= 'F');
                   });
        };
        for (std::size_t i = 1; i < arguments.size(); ++i) {
            const std::string& a = arguments[i];
            if (a.empty() || (a[0] != '/' && a[0] != '-')) {
                fileName = a;
                refuse(a, false);
                continue;
            }
            std::string_view flag = std::string_view(a).substr(1);
            if (EqualsIgnoringCase(flag, "silent"))
                silent = true;
            else if (EqualsIgnoringCase(flag, "?") || EqualsIgnoringCase(flag, "help") ||
                     EqualsIgnoringCase(flag, "h"))
                usage = true;
            else if (EqualsIgnoringCase(flag, "HideWindow") || EqualsIgnoringCase(flag, "quiet") ||
                     EqualsIgnoringCase(flag, "service"))
                continue;
            else if (isIdentity(flag))
                host = flag;
            else
                refuse(flag, true);
        }
        FUZZ_CHECK((info.m_bSilent != port::FALSE) == silent);
        FUZZ_CHECK(info.m_strHostArg == host);
        FUZZ_CHECK((info.m_bUsage != port::FALSE) == usage);
        FUZZ_CHECK((info.m_bRefused != port::FALSE) == refused);
        FUZZ_CHECK((info.m_bRefusedIsFlag != port::FALSE) == refusedIsFlag);
        FUZZ_CHECK(info.m_strRefused == refusedText);
        FUZZ_CHECK(info.m_strFileName == fileName);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = AsText(data, size);
    std::string_view line = input.substr(0, input.find('\0'));

    std::vector<std::string> arguments = SplitCommandLine(std::string(line));
    FUZZ_CHECK(!arguments.empty());
    CheckParse(arguments);
    if (arguments[0].find('"') != std::string::npos)
        arguments[0].clear(); // a bare program name may hold quotes; it cannot be quoted
    FUZZ_CHECK(SplitCommandLine(Join(arguments)) == arguments);

    if (line.size() < input.size()) {
        std::vector<std::string> vector = Split(input.substr(line.size() + 1), '\0');
        std::erase(vector[0], '"');
        FUZZ_CHECK(SplitCommandLine(Join(vector)) == vector);
        CheckParse(vector);
    }
    return 0;
}
