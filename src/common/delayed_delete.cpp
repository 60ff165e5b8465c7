#include "common/delayed_delete.h"

#include "common/platform.h"
#include "common/settings.h"

#include <algorithm>
#include <cstring>

using namespace port;

namespace {

constexpr DWORD kSectionBufferSize = 0x7000;
constexpr const char* kRenameSection = "Rename";

// The 8.3 form, which the 9x start-up understands; the path itself when the
// system has none (or it would not fit).
std::string ShortPath(const std::string& path) {
    char buffer[MAX_PATH] = {};
    DWORD const n = Sys().GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return path;
    return std::string(buffer, n);
}

void ScheduleInWininit(const std::vector<std::string>& files) {
    std::string const iniPath = JoinPath(GetWindowsFolder(), "wininit.ini");
    std::vector<char> buffer(kSectionBufferSize, '\0');
    DWORD const n = Sys().GetPrivateProfileSectionA(kRenameSection, buffer.data(),
                                                    kSectionBufferSize, iniPath.c_str());
    // A section that filled the buffer came back cut; writing it back would
    // drop other programs' pending operations. It is left as it is, and our
    // files simply stay.
    if (n >= kSectionBufferSize - 2)
        return;
    // Behind the last existing entry: each ends with a zero, the list with
    // one more. Nothing past the n bytes the system gave is read: a last
    // entry without its zero ends there all the same.
    std::size_t end = 0;
    while (end < n) {
        const char* const entry = buffer.data() + end;
        end += static_cast<std::size_t>(std::find(entry, entry + (n - end), '\0') - entry) + 1;
    }
    if (end > 0)
        buffer[end - 1] = '\0';

    bool added = false;
    for (const auto& file : files) {
        std::string const entry = "NUL=" + ShortPath(file);
        // Room for the entry, its zero and the list's closing zero.
        if (end + entry.size() + 2 > kSectionBufferSize)
            break;
        std::memcpy(buffer.data() + end, entry.c_str(), entry.size() + 1);
        end += entry.size() + 1;
        added = true;
    }
    if (!added)
        return;
    buffer[end] = '\0';
    Sys().WritePrivateProfileSectionA(kRenameSection, buffer.data(), iniPath.c_str());
}

} // namespace

void DeleteFilesAtRestart(const std::vector<std::string>& files) {
    if (GetPlatformId() == VER_PLATFORM_WIN32_NT) {
        for (const auto& file : files)
            Sys().MoveFileExA(file.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        return;
    }
    ScheduleInWininit(files);
}
