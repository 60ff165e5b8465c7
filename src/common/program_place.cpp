#include "common/program_place.h"

#include "common/secure_folder.h"
#include "common/syserror.h"
#include "common/text.h"

using namespace port;

namespace {

// Rights that let their holder rename or replace an entry (on the entry
// itself), or an entry of a folder (on the folder).
constexpr DWORD kReplaceRights = DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_ALL;
constexpr DWORD kReplaceEntryRights = FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER | GENERIC_ALL;

// The next backslash at or after from (never a double-byte character's
// second byte); npos when there is none.
std::size_t NextSeparator(const std::string& path, std::size_t from) {
    for (std::size_t i = from; i < path.size(); ++i) {
        if (IsLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size())
            ++i;
        else if (path[i] == '\\')
            return i;
    }
    return std::string::npos;
}

bool IsDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

std::vector<std::string> FoldersOf(const std::string& path) {
    std::size_t start = 0;
    if (path.size() > 3 && IsDriveLetter(path[0]) && path[1] == ':' && path[2] == '\\') {
        start = 3;
    } else if (path.rfind("\\\\", 0) == 0 && path.rfind("\\\\?\\", 0) != 0 &&
               path.rfind("\\\\.\\", 0) != 0) {
        std::size_t const server = NextSeparator(path, 2);
        std::size_t const share =
            server == std::string::npos ? server : NextSeparator(path, server + 1);
        if (server == 2 || share == std::string::npos || share == server + 1)
            return {};
        start = share + 1;
    } else {
        return {};
    }
    std::vector<std::string> folders{path.substr(0, start)};
    for (std::size_t from = start;;) {
        std::size_t const end = NextSeparator(path, from);
        std::string const part = path.substr(from, end == std::string::npos ? end : end - from);
        if (part.empty() || part == "." || part == "..")
            return {};
        if (end == std::string::npos)
            return folders;
        folders.push_back(path.substr(0, end));
        from = end + 1;
    }
}

bool OthersMayReplaceProgram(const std::string& path, std::string* why) {
    std::string reason;
    std::vector<std::string> parts = FoldersOf(path);
    // What was found (a format with the part and the next one) and why.
    auto const found = [why, &reason](const char* format, const std::string& part,
                                      const std::string& next = std::string()) {
        if (why)
            *why = Format(format, part.c_str(), next.c_str()) +
                   (reason.empty() ? std::string() : " (" + reason + ")");
        return true;
    };
    if (parts.empty())
        return found("%s is no full path whose folders can be checked", path);
    std::size_t const folder = parts.size() - 1; // the program's own
    parts.push_back(path);
    for (const auto& part : parts) {
        DWORD error = 0;
        EntryKind const kind = KindOf(part, &error);
        if (kind == EntryKind::ReparsePoint)
            return found("%s is a junction or link", part);
        if (kind != EntryKind::Folder && kind != EntryKind::File) {
            if (why)
                *why = "what " + part + " is cannot be told: " + ErrorLine(error);
            return true;
        }
    }
    if (OthersMayChange(path, &reason))
        return found("%s may be changed by others", path);
    if (OthersMayChange(parts[folder], &reason))
        return found("the folder %s may be changed by others", parts[folder]);
    // Upwards from the program's folder: who may rename or replace it, and
    // each folder above it. A drive's or share's root is never renamed.
    for (std::size_t i = folder; i-- > 0;) {
        if (i > 0 && OthersHoldRights(parts[i], kReplaceRights, &reason))
            return found("the folder %s above it may be renamed or replaced by others", parts[i]);
        if (OthersHoldRights(parts[i], kReplaceEntryRights, &reason))
            return found("the folder %s above it lets others rename or replace %s", parts[i],
                         parts[i + 1]);
    }
    return false;
}
