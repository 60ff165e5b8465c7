// File search through the runtime (errno on failure, "." and "..", the
// directory attribute), system message texts and run-time libraries.
#include "contract_test.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

using namespace port;

namespace contract {
namespace {

using FilesContract = ContractTest;

TEST_F(FilesContract, SearchListsDotEntriesFilesAndFolders) {
    std::string folder = env->ScratchFolder();
    env->WriteFile(folder + "\\a.txt", "x");
    env->WriteFile(folder + "\\b.dat", "y");
    env->MakeFolder(folder + "\\sub");

    std::map<std::string, DWORD> seen;
    FIND_ENTRY entry{};
    int error = 0;
    std::intptr_t search = os.FindFirstEntry((folder + "\\*.*").c_str(), &entry, &error);
    ASSERT_NE(search, -1) << "errno " << error;
    do {
        seen[entry.name] = entry.attrib;
    } while (os.FindNextEntry(search, &entry) == 0);
    EXPECT_EQ(os.FindCloseEntry(search), 0);

    ASSERT_EQ(seen.size(), 5u);
    for (const char* folderName : {".", "..", "sub"}) {
        ASSERT_TRUE(seen.count(folderName)) << folderName;
        EXPECT_NE(seen[folderName] & FILE_ATTRIBUTE_DIRECTORY, 0u) << folderName;
    }
    for (const char* fileName : {"a.txt", "b.dat"}) {
        ASSERT_TRUE(seen.count(fileName)) << fileName;
        EXPECT_EQ(seen[fileName] & FILE_ATTRIBUTE_DIRECTORY, 0u) << fileName;
    }

    // A pattern selects by name.
    search = os.FindFirstEntry((folder + "\\*.txt").c_str(), &entry, &error);
    ASSERT_NE(search, -1);
    EXPECT_STREQ(entry.name, "a.txt");
    EXPECT_EQ(os.FindNextEntry(search, &entry), -1);
    EXPECT_EQ(os.FindCloseEntry(search), 0);
}

TEST_F(FilesContract, SearchFailuresSetErrno) {
    std::string folder = env->ScratchFolder();
    FIND_ENTRY entry{};
    int error = 0;
    EXPECT_EQ(os.FindFirstEntry((folder + "\\missing\\*.*").c_str(), &entry, &error), -1);
    EXPECT_EQ(error, ENOENT);
    error = 0;
    EXPECT_EQ(os.FindFirstEntry((folder + "\\*.none").c_str(), &entry, &error), -1);
    EXPECT_EQ(error, ENOENT);
    error = 0;
    EXPECT_EQ(os.FindFirstEntry("", &entry, &error), -1);
    EXPECT_EQ(error, ENOENT);
    // A name the system rejects: a wildcard in a folder's name.
    error = 0;
    EXPECT_EQ(os.FindFirstEntry((folder + "\\x*\\*.*").c_str(), &entry, &error), -1);
    EXPECT_EQ(error, EINVAL);
    // "|" is not allowed in a name. Windows answers ERROR_INVALID_NAME, which
    // the runtime maps to EINVAL; Wine treats it as a name that matches nothing.
    error = 0;
    EXPECT_EQ(os.FindFirstEntry((folder + "\\a|b").c_str(), &entry, &error), -1);
    EXPECT_EQ(error, env->IsWine() ? ENOENT : EINVAL);
}

TEST_F(FilesContract, SystemMessagesEndWithALineBreak) {
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER;
    // Every code the program may report has a text.
    for (DWORD code : {ERROR_FILE_NOT_FOUND,
                       ERROR_PATH_NOT_FOUND,
                       ERROR_ACCESS_DENIED,
                       ERROR_INVALID_HANDLE,
                       ERROR_NOT_ENOUGH_MEMORY,
                       ERROR_INVALID_PARAMETER,
                       ERROR_INSUFFICIENT_BUFFER,
                       ERROR_PROC_NOT_FOUND,
                       ERROR_MORE_DATA,
                       ERROR_NO_MORE_ITEMS,
                       ERROR_INVALID_SERVICE_CONTROL,
                       ERROR_SERVICE_REQUEST_TIMEOUT,
                       ERROR_SERVICE_ALREADY_RUNNING,
                       ERROR_SERVICE_DISABLED,
                       ERROR_SERVICE_DOES_NOT_EXIST,
                       ERROR_SERVICE_CANNOT_ACCEPT_CTRL,
                       ERROR_SERVICE_NOT_ACTIVE,
                       ERROR_NO_NETWORK,
                       ERROR_CANCELLED,
                       ERROR_FILE_EXISTS,
                       ERROR_INVALID_NAME}) {
        char* text = nullptr;
        DWORD n = os.FormatMessageA(flags, nullptr, code, 0x400, &text);
        ASSERT_NE(text, nullptr) << code;
        EXPECT_GT(n, 2u);
        EXPECT_EQ(std::strlen(text), n);
        EXPECT_EQ(std::string(text).substr(n - 2), "\r\n") << text;
        os.LocalFree(text);
    }
    char* text = reinterpret_cast<char*>(1);
    os.SetLastError(0);
    EXPECT_EQ(os.FormatMessageA(flags, nullptr, 0x2345678, 0x400, &text), 0u);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(os.GetLastError(), ERROR_MR_MID_NOT_FOUND);
}

TEST_F(FilesContract, NetworkProviderLibraryHasTheLookupFunctions) {
    HMODULE mpr = os.LoadLibraryA("mpr.dll");
    ASSERT_NE(mpr, nullptr) << os.GetLastError();
    EXPECT_NE(os.GetProcAddress(mpr, "WNetGetResourceInformationA"), nullptr);
    EXPECT_NE(os.GetProcAddress(mpr, "WNetGetResourceParentA"), nullptr);
    EXPECT_EQ(os.GetProcAddress(mpr, "NorvaneNoSuchExport"), nullptr);
    EXPECT_EQ(os.GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_TRUE(os.FreeLibrary(mpr));
    // Without an extension the system looks for the DLL of that name.
    mpr = os.LoadLibraryA("MPR");
    ASSERT_NE(mpr, nullptr);
    if (!env->IsFake()) {
        // A bare name is the system folder's DLL, whatever lies beside the
        // program.
        char path[MAX_PATH] = {};
        char windows[MAX_PATH] = {};
        ASSERT_GT(os.GetModuleFileNameA(mpr, path, MAX_PATH), 0u);
        ASSERT_GT(os.GetWindowsDirectoryA(windows, MAX_PATH), 0u);
        std::string found = path;
        std::string expected = std::string(windows) + "\\system32\\mpr.dll";
        for (std::string* text : {&found, &expected})
            std::transform(text->begin(), text->end(), text->begin(), ::tolower);
        EXPECT_EQ(found, expected);
    }
    EXPECT_TRUE(os.FreeLibrary(mpr));

    EXPECT_EQ(os.LoadLibraryA("norvane_no_such_library.dll"), nullptr);
    EXPECT_EQ(os.GetLastError(), 126u /* ERROR_MOD_NOT_FOUND */);
}

// The record's files: a log appended to from several openings, a folder
// made once, the older log replaced by a rename.
TEST_F(FilesContract, FilesAreCreatedAppendedRenamedAndDeleted) {
    std::string const folder = env->ScratchFolder() + "\\Norvane";
    std::string const log = folder + "\\norvane.log";
    auto const open = [&] {
        return os.CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    };
    // No folder yet: the file cannot be made.
    EXPECT_EQ(open(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(os.GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(os.CreateDirectoryA(folder.c_str()));
    EXPECT_FALSE(os.CreateDirectoryA(folder.c_str()));
    EXPECT_EQ(os.GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(os.CreateDirectoryA((folder + "\\a\\b").c_str()));
    EXPECT_EQ(os.GetLastError(), ERROR_PATH_NOT_FOUND);
    // A name no file may have is neither missing nor there.
    EXPECT_EQ(os.GetFileAttributesA((folder + "\\a|b").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(os.GetLastError(), ERROR_INVALID_NAME);

    for (const char* line : {"one\r\n", "two\r\n"}) {
        HANDLE const file = open();
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << os.GetLastError();
        DWORD const size = os.GetFileSize(file, nullptr);
        EXPECT_EQ(size, std::string(line) == "one\r\n" ? 0u : 5u);
        EXPECT_EQ(os.SetFilePointer(file, 0, nullptr, FILE_END), size);
        DWORD written = 0;
        EXPECT_TRUE(os.WriteFile(file, line, 5, &written));
        EXPECT_EQ(written, 5u);
        EXPECT_TRUE(os.CloseHandle(file));
    }
    EXPECT_EQ(env->ReadFile(log), "one\r\ntwo\r\n");

    // The full log becomes the older one; a rename never replaces a file.
    std::string const older = log + ".1";
    env->WriteFile(older, "old");
    EXPECT_FALSE(os.MoveFileA(log.c_str(), older.c_str()));
    EXPECT_EQ(os.GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(os.DeleteFileA(older.c_str()));
    EXPECT_TRUE(os.MoveFileA(log.c_str(), older.c_str()));
    EXPECT_EQ(env->ReadFile(older), "one\r\ntwo\r\n");
    EXPECT_EQ(env->ReadFile(log), "<missing>");
    EXPECT_FALSE(os.DeleteFileA(log.c_str()));
    EXPECT_EQ(os.GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(os.DeleteFileA(older.c_str()));
    EXPECT_NE(os.GetCurrentProcessId(), 0u);
}

// What the log relies on against links a user plants and other writers: a
// link opened as itself tells its number of names and the file's identity;
// renaming a link renames the entry, never the target's bytes; an
// append-only handle writes at the end wherever it points and follows its
// file through a rename; a file that is open, or a folder, is never
// replaced; a file held without shared deletion is not renamed.
TEST_F(FilesContract, LinksSharingAndReplacingRenames) {
    std::string const folder = env->ScratchFolder();
    std::string const target = folder + "\\theirs.txt";
    std::string const log = folder + "\\norvane.log";
    DWORD const share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    auto const open = [&](const std::string& path, DWORD creation) {
        return os.CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, share,
                              creation, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT);
    };
    env->WriteFile(target, "theirs");
    env->MakeHardLink(target, log);

    HANDLE file = open(log, OPEN_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << os.GetLastError();
    EXPECT_EQ(os.GetLastError(), ERROR_ALREADY_EXISTS);
    BY_HANDLE_FILE_INFORMATION link{}, theirs{};
    ASSERT_TRUE(os.GetFileInformationByHandle(file, &link));
    EXPECT_EQ(link.nNumberOfLinks, 2u);
    EXPECT_EQ(link.nFileSizeLow, 6u);
    EXPECT_EQ(link.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY),
              0u);
    HANDLE const other = open(target, OPEN_EXISTING);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(os.GetFileInformationByHandle(other, &theirs));
    EXPECT_EQ(theirs.dwVolumeSerialNumber, link.dwVolumeSerialNumber);
    EXPECT_EQ(theirs.nFileIndexLow, link.nFileIndexLow);
    EXPECT_EQ(theirs.nFileIndexHigh, link.nFileIndexHigh);
    EXPECT_TRUE(os.CloseHandle(other));
    EXPECT_TRUE(os.CloseHandle(file));
    EXPECT_EQ(open(log, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(os.GetLastError(), ERROR_FILE_EXISTS);

    // The link goes aside: the target keeps its bytes (and both names).
    std::string const aside = log + ".aside";
    EXPECT_TRUE(os.MoveFileExA(log.c_str(), aside.c_str(), 0));
    EXPECT_EQ(env->ReadFile(target), "theirs");
    EXPECT_EQ(env->ReadFile(log), "<missing>");

    // A new log: appended at its end, renamed under its open handle.
    file = open(log, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << os.GetLastError();
    ASSERT_TRUE(os.GetFileInformationByHandle(file, &link));
    EXPECT_EQ(link.nNumberOfLinks, 1u);
    DWORD written = 0;
    EXPECT_TRUE(os.WriteFile(file, "ab", 2, &written));
    EXPECT_EQ(os.SetFilePointer(file, 0, nullptr, FILE_BEGIN), 0u);
    EXPECT_TRUE(os.WriteFile(file, "cd", 2, &written));
    std::string const older = log + ".1";
    env->WriteFile(older, "old");
    EXPECT_FALSE(os.MoveFileExA(log.c_str(), older.c_str(), 0));
    EXPECT_EQ(os.GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(os.MoveFileExA(log.c_str(), older.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_TRUE(os.WriteFile(file, "ef", 2, &written));
    EXPECT_EQ(env->ReadFile(older), "abcdef");
    // The open file at the older name is not replaced.
    env->WriteFile(log, "new");
    EXPECT_FALSE(os.MoveFileExA(log.c_str(), older.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(os.GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(os.CloseHandle(file));

    // Held by a reader that does not share deletion: no rename.
    HANDLE const reader =
        os.CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    file = open(log, OPEN_EXISTING);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << "the writers' sharing admits the reader's";
    EXPECT_TRUE(os.CloseHandle(file));
    EXPECT_FALSE(os.MoveFileExA(log.c_str(), older.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(os.GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(os.CloseHandle(reader));
    // One that shares reading alone: a creation at the name is told that
    // the name is taken, before any sharing is weighed.
    HANDLE const holder = os.CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(os.CreateFileA(log.c_str(), GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(os.GetLastError(), ERROR_FILE_EXISTS);
    EXPECT_TRUE(os.CloseHandle(holder));

    // A folder at the name: it does not open as a file and is not replaced.
    std::string const place = folder + "\\place";
    env->MakeFolder(place);
    EXPECT_EQ(open(place, OPEN_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(os.GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(os.MoveFileExA(log.c_str(), place.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(os.GetLastError(), ERROR_ACCESS_DENIED);
    for (const std::string& name : {log, older, aside})
        EXPECT_TRUE(os.DeleteFileA(name.c_str())) << name;
    EXPECT_EQ(env->ReadFile(target), "theirs");
}

TEST_F(FilesContract, TheShellNamesTheCommonApplicationDataFolder) {
    HMODULE const shell = os.LoadLibraryA("shell32.dll");
    ASSERT_NE(shell, nullptr);
    auto const lookup =
        reinterpret_cast<PFN_SHGetFolderPathA>(os.GetProcAddress(shell, "SHGetFolderPathA"));
    ASSERT_NE(lookup, nullptr);
    char path[MAX_PATH] = {};
    EXPECT_EQ(lookup(nullptr, kCsidlCommonAppData, nullptr, 0, path), S_OK);
    EXPECT_TRUE(os.FreeLibrary(shell));
    // A folder that is there: making it again says so.
    ASSERT_GT(std::strlen(path), 3u);
    EXPECT_FALSE(os.CreateDirectoryA(path));
    EXPECT_EQ(os.GetLastError(), ERROR_ALREADY_EXISTS);
}

} // namespace
} // namespace contract
