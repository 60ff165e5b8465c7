// The compiled dialog templates 100 and 102, read back from the program's
// resources: caption, font, size, styles and every control (id, class, text,
// style, rectangle). Guards against what resource compilers silently change,
// such as the size of an icon control.
#include "port/port.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "res/resource.h"

namespace {

struct Item {
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    std::string cls;   // class name, or "#n" for an ordinal
    std::string title; // text, or "#n" for an ordinal
};

struct Template {
    bool extended = false;
    DWORD style = 0;
    DWORD exStyle = 0;
    int cx = 0, cy = 0;
    std::string title;
    int pointSize = 0;
    std::string face;
    std::vector<Item> items;
};

class Reader {
public:
    explicit Reader(const std::uint8_t* p) : m_base(p), m_p(p) {}
    WORD Word() {
        WORD v;
        std::memcpy(&v, m_p, 2);
        m_p += 2;
        return v;
    }
    DWORD Dword() {
        DWORD v;
        std::memcpy(&v, m_p, 4);
        m_p += 4;
        return v;
    }
    short Short() { return static_cast<short>(Word()); }
    // A string or an ordinal (0xFFFF followed by the number).
    std::string SzOrOrd() {
        WORD const first = Word();
        if (first == 0xFFFF)
            return "#" + std::to_string(Word());
        std::string s;
        for (WORD c = first; c != 0; c = Word())
            s += static_cast<char>(c);
        return s;
    }
    void AlignDword() {
        while ((m_p - m_base) % 4)
            ++m_p;
    }
    void Skip(std::size_t n) { m_p += n; }

private:
    const std::uint8_t* m_base;
    const std::uint8_t* m_p;
};

Template Load(UINT id) {
    HMODULE const module = GetModuleHandleA(nullptr);
    HRSRC const info =
        FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5)); // RT_DIALOG
    Template t;
    if (!info)
        return t;
    Reader r(static_cast<const std::uint8_t*>(LockResource(LoadResource(module, info))));
    WORD const version = r.Word();
    WORD const signature = r.Word();
    t.extended = version == 1 && signature == 0xFFFF;
    WORD count = 0;
    if (t.extended) {
        r.Dword(); // help id
        t.exStyle = r.Dword();
        t.style = r.Dword();
    } else {
        t.style = static_cast<DWORD>(version) | static_cast<DWORD>(signature) << 16;
        t.exStyle = r.Dword();
    }
    count = r.Word();
    r.Short();
    r.Short();
    t.cx = r.Short();
    t.cy = r.Short();
    r.SzOrOrd(); // menu
    r.SzOrOrd(); // class
    t.title = r.SzOrOrd();
    if (t.style & DS_SETFONT) {
        t.pointSize = r.Word();
        if (t.extended) {
            r.Word();  // weight
            r.Skip(2); // italic, charset
        }
        t.face = r.SzOrOrd();
    }
    for (WORD i = 0; i < count; ++i) {
        r.AlignDword();
        Item item;
        if (t.extended) {
            r.Dword(); // help id
            item.exStyle = r.Dword();
            item.style = r.Dword();
        } else {
            item.style = r.Dword();
            item.exStyle = r.Dword();
        }
        item.x = r.Short();
        item.y = r.Short();
        item.cx = r.Short();
        item.cy = r.Short();
        item.id = t.extended ? r.Dword() : r.Word();
        item.cls = r.SzOrOrd();
        item.title = r.SzOrOrd();
        r.Skip(r.Word()); // creation data
        t.items.push_back(item);
    }
    return t;
}

bool IsStatic(const std::string& cls) {
    return cls == "#130" || cls == "Static" || cls == "STATIC";
}

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kNoId16 = 0xFFFF;
constexpr DWORD kNoId32 = 0xFFFFFFFF;

} // namespace

TEST(DialogTemplates, ProgressDialog102) {
    Template const t = Load(IDD_NORVANE_DIALOG);
    ASSERT_EQ(t.items.size(), 7u);
    EXPECT_EQ(t.style, static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU |
                                          DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(t.exStyle, static_cast<DWORD>(WS_EX_APPWINDOW));
    EXPECT_EQ(t.cx, 397);
    EXPECT_EQ(t.cy, 112);
    EXPECT_EQ(t.title, "Norvane Utility");
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.face, "MS Sans Serif");

    struct Expected {
        DWORD id;
        const char* title;
        DWORD style;
        int x, y, cx, cy;
    };
    DWORD const none = t.extended ? kNoId32 : kNoId16;
    Expected const expected[] = {
        {none, "Status : ", SS_RIGHT | WS_GROUP, 13, 80, 36, 12},
        {IDC_STATUS, "", SS_LEFT | WS_GROUP, 55, 80, 313, 12},
        {none, "Welcome to the Norvane Utility\nPlease wait...", SS_CENTER | WS_GROUP, 101, 42, 189,
         16},
        {none, "", SS_BLACKFRAME, 8, 74, 382, 26},
        {IDC_BANNER, "", SS_GRAYRECT, 7, 7, 382, 27},
        // Clips the banner above it out of its painting.
        {IDC_BANNER_BACK, "", SS_GRAYRECT | WS_CLIPSIBLINGS, 7, 7, 383, 29},
        {IDC_BUSY_ICON, "#256", SS_ICON, 16, 42, 21, 23},
    };
    for (std::size_t i = 0; i < 7; ++i) {
        Item const& item = t.items[i];
        Expected const& e = expected[i];
        SCOPED_TRACE("control " + std::to_string(i) + " \"" + e.title + "\"");
        EXPECT_EQ(item.id, e.id);
        EXPECT_TRUE(IsStatic(item.cls)) << item.cls;
        EXPECT_EQ(item.title, e.title);
        EXPECT_EQ(item.style, kChild | e.style);
        EXPECT_EQ(item.exStyle, 0u);
        EXPECT_EQ(item.x, e.x);
        EXPECT_EQ(item.y, e.y);
        EXPECT_EQ(item.cx, e.cx);
        EXPECT_EQ(item.cy, e.cy);
    }
}

TEST(DialogTemplates, AboutBox100) {
    Template const t = Load(IDD_ABOUTBOX);
    ASSERT_EQ(t.items.size(), 4u);
    EXPECT_EQ(t.cx, 217);
    EXPECT_EQ(t.cy, 55);
    EXPECT_EQ(t.title, "About Norvane Utility");
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.face, "MS Sans Serif");
    EXPECT_TRUE(t.style & WS_SYSMENU);

    Item const& icon = t.items[0];
    EXPECT_EQ(icon.title, "#128");
    EXPECT_TRUE(icon.style & SS_ICON);
    EXPECT_EQ(icon.x, 11);
    EXPECT_EQ(icon.y, 17);

    Item const& version = t.items[1];
    EXPECT_EQ(version.title, "Norvane Utility version 1.0");
    EXPECT_EQ(version.x, 40);
    EXPECT_EQ(version.y, 10);
    EXPECT_EQ(version.cx, 119);
    EXPECT_EQ(version.cy, 8);

    Item const& second = t.items[2];
    EXPECT_FALSE(second.title.empty());
    EXPECT_EQ(second.x, 40);
    EXPECT_EQ(second.y, 25);
    EXPECT_EQ(second.cx, 138);
    EXPECT_EQ(second.cy, 8);

    Item const& ok = t.items[3];
    EXPECT_EQ(ok.id, static_cast<DWORD>(IDOK));
    EXPECT_EQ(ok.title, "OK");
    EXPECT_EQ(ok.style & 0x0F, static_cast<DWORD>(BS_DEFPUSHBUTTON));
    EXPECT_EQ(ok.x, 178);
    EXPECT_EQ(ok.y, 7);
    EXPECT_EQ(ok.cx, 32);
    EXPECT_EQ(ok.cy, 14);
}
