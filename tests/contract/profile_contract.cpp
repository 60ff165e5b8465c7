// Profile (INI) files: defaults, trimming, truncation at the buffer, case of
// names, the section list format and replacing or creating a section.
#include "contract_test.h"

using namespace port;

namespace contract {
namespace {

class ProfileContract : public ContractTest {
protected:
    void SetUp() override {
        folder = env->ScratchFolder();
        file = folder + "\\client.ini";
        env->WriteFile(file, "[Setup]\r\n"
                             "Name =   padded value  \r\n"
                             "Long=" +
                                 std::string(300, 'L') +
                                 "\r\n"
                                 "Plain=1\r\n"
                                 "Quoted= \"in quotes\" \r\n"
                                 "[Other]\r\n"
                                 "Key=other\r\n");
    }

    std::string Read(const char* section, const char* key, const char* defaultValue,
                     const std::string& path, DWORD* length = nullptr, DWORD size = 260) {
        std::string buffer(size, '#');
        DWORD n = os.GetPrivateProfileStringA(section, key, defaultValue, buffer.data(), size,
                                              path.c_str());
        if (length)
            *length = n;
        return buffer.c_str();
    }
    std::string Section(const char* section, const std::string& path) {
        char buffer[1024];
        DWORD n = os.GetPrivateProfileSectionA(section, buffer, sizeof buffer, path.c_str());
        return std::string(buffer, n + (n ? 1 : 2)); // the list and its closing zero(s)
    }

    std::string folder, file;
};

TEST_F(ProfileContract, MissingFileSectionOrKeyGivesTheDefault) {
    DWORD n = 0;
    EXPECT_EQ(Read("Setup", "Plain", "dflt", folder + "\\absent.ini", &n), "dflt");
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(Read("Absent", "Plain", "dflt", file), "dflt");
    EXPECT_EQ(Read("Setup", "Absent", "dflt", file, &n), "dflt");
    EXPECT_EQ(n, 4u);
    EXPECT_EQ(Read("Setup", "Absent", "", file, &n), "");
    EXPECT_EQ(n, 0u);
    // Trailing blanks of a default go; leading ones stay.
    EXPECT_EQ(Read("Setup", "Absent", "  dflt   ", file, &n), "  dflt");
    EXPECT_EQ(n, 6u);
}

TEST_F(ProfileContract, ValuesAreTrimmedAndNamesMatchWithoutCase) {
    DWORD n = 0;
    EXPECT_EQ(Read("Setup", "Name", "", file, &n), "padded value");
    EXPECT_EQ(n, 12u);
    EXPECT_EQ(Read("setup", "NAME", "", file), "padded value");
    EXPECT_EQ(Read("OTHER", "key", "", file), "other");
    // One pair of surrounding quotes is taken off.
    EXPECT_EQ(Read("Setup", "Quoted", "", file), "in quotes");
}

TEST_F(ProfileContract, LongValueIsCutToTheBuffer) {
    DWORD n = 0;
    std::string value = Read("Setup", "Long", "", file, &n, 260);
    EXPECT_EQ(n, 259u);
    EXPECT_EQ(value, std::string(259, 'L'));
    // The same for a default that does not fit.
    std::string longDefault(300, 'D');
    value = Read("Setup", "Absent", longDefault.c_str(), file, &n, 260);
    EXPECT_EQ(n, 259u);
    EXPECT_EQ(value, std::string(259, 'D'));
}

TEST_F(ProfileContract, SectionListsKeyEqualsValueEachEndingWithZero) {
    file = folder + "\\list.ini";
    env->WriteFile(file, "[List]\r\na=1\r\n;note\r\n  bb =  two \r\nalone\r\nNUL=x\r\nNUL=y\r\n\r\n"
                         "[Next]\r\nc=3\r\n");
    using namespace std::string_literals;
    // Comments and blank lines are left out, blanks around "=" trimmed, a
    // line without "=" listed as it stands, repeated keys all kept in order.
    const std::string list = "a=1\0bb=two\0alone\0NUL=x\0NUL=y\0\0"s;
    EXPECT_EQ(Section("List", file), list);
    EXPECT_EQ(Section("list", file), list);
    EXPECT_EQ(Section("Absent", file), "\0\0"s);
    // As a key, a line without "=" has no value; the first of repeated keys wins.
    EXPECT_EQ(Read("List", "alone", "dflt", file), "dflt");
    EXPECT_EQ(Read("List", "NUL", "", file), "x");

    // A list that does not fit is cut after whole bytes and closed with two zeros.
    char small[10];
    EXPECT_EQ(os.GetPrivateProfileSectionA("List", small, sizeof small, file.c_str()), 8u);
    EXPECT_EQ(std::string(small, sizeof small), "a=1\0bb=t\0\0"s);
}

TEST_F(ProfileContract, WritingASectionReplacesItAndKeepsTheOthers) {
    file = folder + "\\replace.ini";
    env->WriteFile(file, "[A]\r\nx=1\r\ny=2\r\n[B]\r\nz=3\r\n");
    ASSERT_TRUE(os.WritePrivateProfileSectionA("A", "NUL=p\0NUL=q\0m=8\0", file.c_str()));
    using namespace std::string_literals;
    EXPECT_EQ(Section("A", file), "NUL=p\0NUL=q\0m=8\0\0"s);
    EXPECT_EQ(Read("A", "x", "gone", file), "gone");
    EXPECT_EQ(Read("B", "z", "", file), "3");
}

TEST_F(ProfileContract, OfASectionThatAppearsTwiceOnlyTheFirstCounts) {
    file = folder + "\\twice.ini";
    env->WriteFile(file, "[S]\r\na=1\r\n[T]\r\nt=9\r\n[S]\r\na=2\r\nb=3\r\n");
    using namespace std::string_literals;
    EXPECT_EQ(Read("S", "a", "dflt", file), "1");
    EXPECT_EQ(Read("S", "b", "dflt", file), "dflt");
    EXPECT_EQ(Section("S", file), "a=1\0\0"s);
    // Writing it replaces the first and leaves the second without entries.
    ASSERT_TRUE(os.WritePrivateProfileSectionA("S", "n=1\0", file.c_str()));
    EXPECT_EQ(env->ReadFile(file), "[S]\r\nn=1\r\n[T]\r\nt=9\r\n[S]\r\n");
}

TEST_F(ProfileContract, ALastLineWithoutLineEndIsAnEntryAllTheSame) {
    file = folder + "\\open.ini";
    env->WriteFile(file, "[R]\r\nNUL=C:\\A.EXE\r\nNUL=C:\\B.EXE");
    using namespace std::string_literals;
    EXPECT_EQ(Section("R", file), "NUL=C:\\A.EXE\0NUL=C:\\B.EXE\0\0"s);
}

TEST_F(ProfileContract, WritingASectionCreatesTheFile) {
    std::string fresh = folder + "\\fresh.ini";
    ASSERT_EQ(env->ReadFile(fresh), "<missing>");
    ASSERT_TRUE(os.WritePrivateProfileSectionA("New", "k=v\0", fresh.c_str()));
    EXPECT_EQ(env->ReadFile(fresh), "[New]\r\nk=v\r\n");
    EXPECT_EQ(Read("New", "k", "", fresh), "v");
}

} // namespace
} // namespace contract
