// The handle owners and the scope guard.
#include "common/handles.h"
#include "fake_system.h"

using namespace port;

namespace {
// A close that disturbs the thread's last error, as some system closes do.
int g_closed = 0;
struct noisy_traits {
    using pointer = int;
    static pointer invalid() noexcept { return 0; }
    static void close(pointer) noexcept {
        ++g_closed;
        Sys().SetLastError(ERROR_INVALID_HANDLE);
    }
};
using unique_noisy = unique_resource<noisy_traits>;
} // namespace

class HandleOwners : public FakeSystemTest {};

TEST_F(HandleOwners, ResetClosesOnceAndKeepsTheLastError) {
    g_closed = 0;
    unique_noisy owner(7);
    os.SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    owner.reset();
    EXPECT_EQ(g_closed, 1);
    EXPECT_EQ(os.GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
    owner.reset(); // nothing held: nothing closed
    EXPECT_EQ(g_closed, 1);
}

TEST_F(HandleOwners, PutClosesTheOldHandleBeforeHandingOutItsSlot) {
    os.SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\A", "v", "x");
    unique_hkey key;
    ASSERT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A", 0, KEY_READ, key.put()), 0);
    ASSERT_EQ(os.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A", 0, KEY_READ, key.put()), 0);
    EXPECT_EQ(os.OpenHandleCount(), 1) << "the first key was closed by put()";
    unique_hkey moved = std::move(key);
    EXPECT_FALSE(key);
    EXPECT_TRUE(moved);
}

TEST_F(HandleOwners, FindHandlesUseMinusOneAsNothing) {
    os.AddFolder("C:\\D");
    os.AddFile("C:\\D\\a.txt");
    FIND_ENTRY entry{};
    int error = 0;
    unique_findhandle none(os.FindFirstEntry("C:\\D\\*.exe", &entry, &error));
    EXPECT_FALSE(none);
    unique_findhandle search(os.FindFirstEntry("C:\\D\\*.txt", &entry, &error));
    EXPECT_TRUE(search);
    EXPECT_EQ(os.OpenHandleCount(), 1);
    search.reset();
    EXPECT_EQ(os.OpenHandleCount(), 0);
}

TEST(ScopeExit, UndoesUnlessReleased) {
    int undone = 0;
    {
        scope_exit undo([&undone]() noexcept { ++undone; });
    }
    EXPECT_EQ(undone, 1);
    {
        scope_exit undo([&undone]() noexcept { ++undone; });
        undo.release();
    }
    EXPECT_EQ(undone, 1);
    EXPECT_NO_THROW({ scope_exit undo([] { throw 1; }); });
}
