// Deletion at restart on Windows 9x: "NUL=" entries added to the "Rename"
// section of "wininit.ini", whatever other programs left there.
//
// Input, as text lines:
//   a count of filler lines (0-1500) appended to the file, so that small
//   inputs reach a full section;
//   the file "wininit.ini" up to a line "%%" (just "-": there is no file);
//   then one file to delete per line: "path" (no such file), or
//   "path|short" (the file exists, with that short name; empty: none).
//
// Checked: the existing entries (as the profile functions list them: of two
// sections "Rename", the first) stay, whole and in their order, ahead of the
// new ones; the new ones are the files' short paths (or their paths when
// there is none) in list order, for as many as fit into the 28672-byte
// section buffer with their zeros; when none fits, or the section itself
// does not, the file is left as it was. ASan watches the buffer itself.
#include "common/delayed_delete.h"
#include "fuzz_support.h"

#include <algorithm>

namespace {

constexpr std::size_t kSectionBuffer = 0x7000;
const char* const kIniPath = "C:\\WINDOWS\\wininit.ini";

std::string Trimmed(std::string_view s) {
    std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string_view::npos)
        return {};
    return std::string(s.substr(b, s.find_last_not_of(" \t") - b + 1));
}

// What a path can hold: no control characters, no blanks around it.
std::string AsPath(std::string_view s) {
    std::string out;
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x20)
            out += c;
    return Trimmed(out);
}

// The whole section, read into a buffer that the file's text cannot outgrow.
std::vector<std::string> SectionEntries(port::FakeOs& os) {
    auto file = os.profileFiles.find(kIniPath);
    std::vector<char> buffer((file == os.profileFiles.end() ? 0 : file->second.size()) + 3);
    port::DWORD n = os.GetPrivateProfileSectionA("Rename", buffer.data(),
                                                 static_cast<port::DWORD>(buffer.size()), kIniPath);
    FUZZ_CHECK(n + 2 < buffer.size());
    std::vector<std::string> entries;
    for (std::size_t at = 0; at < n; at += entries.back().size() + 1)
        entries.emplace_back(buffer.data() + at);
    return entries;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> lines = SplitLines(AsText(data, size));
    if (lines.empty())
        return 0;
    const std::uint32_t fillers = LeadingNumber(lines[0], 1500);

    FreshFake<> fake;
    auto& os = fake.os;
    os.version.dwPlatformId = port::VER_PLATFORM_WIN32_WINDOWS;

    std::size_t marker = 1;
    while (marker < lines.size() && lines[marker] != "%%")
        ++marker;
    // A text file holds no NUL bytes: they stand for blanks here.
    std::vector<std::string> ini(lines.begin() + 1, lines.begin() + marker);
    for (auto& line : ini)
        std::replace(line.begin(), line.end(), '\0', ' ');
    if (ini.size() != 1 || ini[0] != "-") {
        std::string text;
        for (const auto& line : ini)
            text += line + "\r\n";
        for (std::uint32_t i = 0; i < fillers; ++i)
            text +=
                "F" + std::to_string(i) + "=C:\\WINDOWS\\TEMP\\~F" + std::to_string(i) + ".TMP\r\n";
        os.profileFiles[kIniPath] = text;
    }

    std::vector<std::string> files;
    for (std::size_t i = marker + 1; i < lines.size() && files.size() < 64; ++i) {
        std::string_view line = lines[i];
        std::size_t bar = line.find('|');
        files.push_back(AsPath(line.substr(0, bar)));
        if (bar != std::string_view::npos) {
            os.files[files.back()] = port::FakeFile{};
            std::string shortName = AsPath(line.substr(bar + 1));
            if (!shortName.empty())
                os.shortNames[files.back()] = shortName;
        }
    }

    const auto before = SectionEntries(os);
    const auto textBefore = os.profileFiles;
    std::size_t used = 1; // the list's closing zero
    for (const auto& entry : before)
        used += entry.size() + 1;

    std::vector<std::string> expected = before;
    for (const auto& file : files) {
        std::string chosen = file;
        auto shortName = os.shortNames.find(file);
        if (os.files.count(file) && shortName != os.shortNames.end() &&
            shortName->second.size() < port::MAX_PATH)
            chosen = shortName->second;
        std::string entry = "NUL=" + chosen;
        if (used + entry.size() + 1 > kSectionBuffer)
            break;
        used += entry.size() + 1;
        expected.push_back(entry);
    }

    DeleteFilesAtRestart(files);

    if (expected.size() == before.size())
        FUZZ_CHECK(os.profileFiles == textBefore);
    else
        FUZZ_CHECK(SectionEntries(os) == expected);
    return 0;
}
