// boxer.exe: shows the message boxes described on its command line, one after
// the other, so that the test bed can check nvrun.exe against known boxes.
//
//   boxer.exe [--dialog CAPTION] [--wait MS] STYLE CAPTION TEXT [STYLE CAPTION TEXT]...
//
// STYLE is the MessageBoxA style (number). In TEXT and CAPTION, "\r", "\n"
// and "\\" stand for CR, LF and a backslash. With --dialog, a modeless dialog
// (no message-box text control) stays open while the boxes are shown. With
// --wait, the program keeps pumping messages for MS milliseconds at the end.
// Exit code: the results of the boxes as decimal digits pairs, e.g. boxes
// answered IDOK then IDCANCEL give 102; -1 results give 99. 77 when the
// dialog received any WM_COMMAND (it should be left alone).
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::string Unescape(const char* s) {
    std::string out;
    for (; *s; ++s) {
        if (*s == '\\' && s[1]) {
            ++s;
            out += *s == 'r' ? '\r' : *s == 'n' ? '\n' : *s;
        } else {
            out += *s;
        }
    }
    return out;
}

bool g_dialogCommanded = false;

INT_PTR CALLBACK DialogProc(HWND, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_COMMAND) {
        g_dialogCommanded = true;
    }
    return msg == WM_INITDIALOG;
}

// An in-memory template: an empty dialog given a label with id -1 (like the
// labels of many dialogs) and an OK button, to look as much like a message
// box as a dialog can without being one.
HWND ShowPlainDialog(const std::string& caption) {
    alignas(4) static WORD tpl[64] = {};
    auto* dt = reinterpret_cast<DLGTEMPLATE*>(tpl);
    // Shown only once every control is there: a watcher that saw it half
    // built (the label alone) would take it for a message box.
    dt->style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
    dt->cx = 120;
    dt->cy = 40;
    HWND h = CreateDialogIndirectParamA(nullptr, dt, nullptr, DialogProc, 0);
    if (h) {
        SetWindowTextA(h, caption.c_str());
        CreateWindowA("Static", "Please wait...", WS_CHILD | WS_VISIBLE, 5, 5, 100, 20, h,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(0xFFFF)), nullptr, nullptr);
        CreateWindowA("Static", "", WS_CHILD | WS_VISIBLE, 5, 30, 100, 20, h,
                      reinterpret_cast<HMENU>(1000), nullptr, nullptr);
        CreateWindowA("Button", "OK", WS_CHILD | WS_VISIBLE, 5, 55, 40, 20, h,
                      reinterpret_cast<HMENU>(IDOK), nullptr, nullptr);
        ShowWindow(h, SW_SHOW);
    }
    return h;
}

} // namespace

int main(int argc, char** argv) {
    int i = 1;
    HWND dialog = nullptr;
    if (argc > 2 && std::string(argv[1]) == "--dialog") {
        dialog = ShowPlainDialog(Unescape(argv[2]));
        i = 3;
    }
    DWORD waitMs = 0;
    if (argc > i + 1 && std::string(argv[i]) == "--wait") {
        waitMs = static_cast<DWORD>(std::strtoul(argv[i + 1], nullptr, 10));
        i += 2;
    }
    int code = 0;
    for (; i + 2 < argc; i += 3) {
        UINT style = static_cast<UINT>(std::strtoul(argv[i], nullptr, 0));
        int r = MessageBoxA(nullptr, Unescape(argv[i + 2]).c_str(), Unescape(argv[i + 1]).c_str(),
                            style);
        code = code * 100 + (r < 0 ? 99 : r);
    }
    for (DWORD start = GetTickCount(); GetTickCount() - start < waitMs;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        }
        Sleep(10);
    }
    if (dialog) {
        DestroyWindow(dialog);
    }
    return g_dialogCommanded ? 77 : code;
}
