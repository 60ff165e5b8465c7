#include "app/program_file.h"

#include "common/platform.h"
#include "common/syserror.h"

#include <cstring>
#include <vector>

using namespace port;

namespace {

constexpr DWORD kPieceSize = 64 * 1024;

// Reads up to size bytes, fewer only at the end of the file.
bool ReadPiece(HANDLE file, BYTE* buffer, DWORD size, DWORD* got) {
    Os& os = Sys();
    *got = 0;
    while (*got < size) {
        DWORD n = 0;
        if (!os.ReadFile(file, buffer + *got, size - *got, &n))
            return false;
        if (n == 0)
            break;
        *got += n;
    }
    return true;
}

bool Rewind(HANDLE file) {
    Os& os = Sys();
    os.SetLastError(ERROR_SUCCESS);
    return os.SetFilePointer(file, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER ||
           os.GetLastError() == ERROR_SUCCESS;
}

std::string LastErrorLine() {
    return ErrorLine(Sys().GetLastError());
}

} // namespace

void CProgramFile::Hold() {
    m_path = GetModulePath();
    m_file.reset(Sys().CreateFileA(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL));
    m_error = m_file ? ERROR_SUCCESS : Sys().GetLastError();
}

bool CProgramFile::Size(std::uint64_t* size) const {
    Os& os = Sys();
    DWORD high = 0;
    os.SetLastError(ERROR_SUCCESS);
    DWORD const low = os.GetFileSize(m_file.get(), &high);
    if (!m_file || (low == INVALID_FILE_SIZE && os.GetLastError() != ERROR_SUCCESS))
        return false;
    *size = (std::uint64_t{high} << 32) | low;
    return true;
}

bool CProgramFile::CopyTo(const std::string& target, std::string* why) const {
    Os& os = Sys();
    std::vector<BYTE> mine(kPieceSize), theirs(kPieceSize);
    DWORD n = 0, m = 0;
    std::uint64_t copied = 0;
    {
        unique_file copy(
            os.CreateFileA(target.c_str(), GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL));
        if (!copy || !Rewind(m_file.get())) {
            *why = LastErrorLine();
            return false;
        }
        bool written = true;
        do {
            DWORD put = 0;
            written = ReadPiece(m_file.get(), mine.data(), kPieceSize, &n) &&
                      (n == 0 || (os.WriteFile(copy.get(), mine.data(), n, &put) && put == n));
            copied += n;
        } while (written && n == kPieceSize);
        if (!written) {
            *why = LastErrorLine();
            copy.reset();
            (void)os.DeleteFileA(target.c_str());
            return false;
        }
    }
    // The copy as the file system now holds it at its name, byte for byte.
    std::uint64_t size = 0;
    bool same = Size(&size) && size == copied && Rewind(m_file.get());
    {
        unique_file back(os.CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
        same = same && back;
        do {
            same = same && ReadPiece(m_file.get(), mine.data(), kPieceSize, &n) &&
                   ReadPiece(back.get(), theirs.data(), kPieceSize, &m) && n == m &&
                   std::memcmp(mine.data(), theirs.data(), n) == 0;
        } while (same && n == kPieceSize);
    }
    if (!same) {
        *why = "the copy " + target + " is not the same as " + m_path +
               ", the program this run was started from";
        (void)os.DeleteFileA(target.c_str());
        return false;
    }
    return true;
}
