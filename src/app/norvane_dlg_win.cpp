// The progress dialog of reconfiguration mode, its worker thread and the
// about box.
#include "port/port.h"

#include <windows.h>

#include <process.h>

#include <cstdio>
#include <exception>

#include "app/norvane_dlg.h"
#include "app/worker.h"
#include "common/platform.h"
#include "common/text.h"
#include "res/string_ids.h"
#include "res/resource.h"

#if NORVANE_GUI_TEST
#include "../../tests/gui/guitest_protocol.h"
#endif

namespace {

constexpr UINT_PTR kStartTimerId = 1;
constexpr UINT kStartTimerPeriodMs = 50;
constexpr UINT kAnimationPeriodMs = 200;
// The dialog's destruction waits this long at most for the worker, which by
// then has posted its end and is only returning.
constexpr DWORD kWorkerExitWaitMs = 10000;

UINT ChooseBannerResource() {
    return IsLowColorDisplay() ? IDB_BANNER_LOWCOLOR : IDB_BANNER;
}

std::unique_ptr<CDib> LoadBanner(UINT id) {
    try {
        return std::make_unique<CDib>(id);
    } catch (const CDIBException&) {
        return nullptr; // reported by RunProgressDialog
    }
}

// Centres a dialog over its owner, or over the work area of the screen when
// it has none, as application frameworks do for a dialog whose template
// leaves it at the top-left corner.
void CenterDialog(HWND dialog) {
    RECT area{};
    HWND const owner = GetWindow(dialog, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner)) {
        GetWindowRect(owner, &area);
    } else {
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT rc{};
    GetWindowRect(dialog, &rc);
    int const width = rc.right - rc.left;
    int const height = rc.bottom - rc.top;
    int x = area.left + ((area.right - area.left) - width) / 2;
    int y = area.top + ((area.bottom - area.top) - height) / 2;
    // Keep the caption on the screen.
    RECT screen{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &screen, 0);
    if (x + width > screen.right)
        x = screen.right - width;
    if (y + height > screen.bottom)
        y = screen.bottom - height;
    if (x < screen.left)
        x = screen.left;
    if (y < screen.top)
        y = screen.top;
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

#if NORVANE_GUI_TEST
// The shared block of the test build; NULL when it cannot be created.
NorvaneGuiTestState* GuiTestState() {
    static NorvaneGuiTestState* const state = [] {
        HANDLE const mapping =
            CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                               sizeof(NorvaneGuiTestState), NORVANE_GUITEST_STATE_MAPPING);
        if (!mapping)
            return static_cast<NorvaneGuiTestState*>(nullptr);
        // The mapping stays open for the life of the process.
        return static_cast<NorvaneGuiTestState*>(
            MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(NorvaneGuiTestState)));
    }();
    return state;
}

// Holds the worker until the test sets the finish event (two minutes at most,
// so that a broken test cannot leave the program running).
void GuiTestHoldWorker(ProgressView& view) {
    if (NorvaneGuiTestState* const state = GuiTestState())
        InterlockedIncrement(reinterpret_cast<volatile LONG*>(&state->workerStarts));
    view.SetStatusText(NORVANE_GUITEST_STATUS_TEXT);
    HANDLE const finish = CreateEventA(nullptr, TRUE, FALSE, NORVANE_GUITEST_FINISH_EVENT);
    if (finish) {
        WaitForSingleObject(finish, 120000);
        CloseHandle(finish);
    }
}

// Copies the items of the dialog's system menu into the shared block.
void GuiTestDumpSystemMenu(HWND dialog) {
    NorvaneGuiTestState* const state = GuiTestState();
    if (!state)
        return;
    HMENU const menu = GetSystemMenu(dialog, FALSE);
    int const count = menu ? GetMenuItemCount(menu) : -1;
    int const kept = count < 16 ? count : 16;
    for (int i = 0; i < kept; ++i) {
        NorvaneGuiTestMenuItem& item = state->menu[i];
        MENUITEMINFOA info{};
        item = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
        info.dwTypeData = item.text;
        info.cch = sizeof item.text;
        if (!GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info))
            continue;
        item.id = info.wID;
        item.separator = (info.fType & MFT_SEPARATOR) ? 1 : 0;
    }
    state->menuCount = count;
}
#endif

} // namespace

// ---------------------------------------------------------------- CNorvaneDlg

CNorvaneDlg::CNorvaneDlg(port::BOOL sameHost, HWND parent)
    : m_hParent(parent), m_animation(nullptr, nullptr, controls::kTile, IDI_BUSY_FIRST,
                                     IDI_BUSY_COUNT, kAnimationPeriodMs),
      m_nBannerResource(ChooseBannerResource()), m_pBannerDib(LoadBanner(m_nBannerResource)),
      m_hBannerPalette(m_pBannerDib ? m_pBannerDib->CreatePalette() : nullptr),
      m_banner(m_pBannerDib.get(), m_hBannerPalette, controls::kStretch) {
    m_data.m_bSameHost = sameHost;
    m_hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
#if NORVANE_GUI_TEST
    GuiTestState(); // created before the probe looks for it
#endif
}

CNorvaneDlg::~CNorvaneDlg() {
    if (m_pWorker) {
        // The dialog ends only after the worker's last message, so this wait
        // is the worker returning from its entry point.
        WaitForSingleObject(m_pWorker, kWorkerExitWaitMs);
        CloseHandle(m_pWorker);
    }
    if (m_hBannerPalette)
        DeleteObject(m_hBannerPalette);
}

INT_PTR CNorvaneDlg::DoModal() {
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_NORVANE_DIALOG),
                           m_hParent, &CNorvaneDlg::DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CNorvaneDlg::DialogProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    CNorvaneDlg* self = nullptr;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<CNorvaneDlg*>(lParam);
        SetWindowLongPtrA(wnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->m_hWnd = wnd;
    } else {
        self = reinterpret_cast<CNorvaneDlg*>(GetWindowLongPtrA(wnd, DWLP_USER));
    }
    if (!self)
        return FALSE;
    try {
        return self->OnMessage(msg, wParam, lParam);
    } catch (...) {
        return FALSE;
    }
}

INT_PTR CNorvaneDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
#if NORVANE_GUI_TEST
    static UINT const dumpMenuMessage = RegisterWindowMessageA(NORVANE_GUITEST_DUMP_MENU_MESSAGE);
    if (msg == dumpMenuMessage) {
        GuiTestDumpSystemMenu(m_hWnd);
        SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, 1);
        return TRUE;
    }
#endif
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_TIMER:
        OnTimer(wParam);
        return FALSE; // default processing
    case WM_SYSCOMMAND:
        return OnSysCommand(static_cast<UINT>(wParam), lParam);
    case WM_PAINT:
        if (!IsIconic(m_hWnd))
            return FALSE;
        OnPaint();
        return TRUE;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
    case WM_NORVANE_DONE:
        EndDialog(m_hWnd, IDOK);
        return TRUE;
    case WM_COMMAND:
        // Enter and Escape arrive as IDOK and IDCANCEL; the caption's close
        // button and Alt+F4 as WM_CLOSE, which becomes IDCANCEL. The dialog
        // ends only when its worker says so: the worker uses the dialog until
        // its last message.
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
            return TRUE;
        return FALSE;
    case WM_CLOSE:
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL CNorvaneDlg::OnInitDialog() {
    m_status = GetDlgItem(m_hWnd, IDC_STATUS);
    CenterDialog(m_hWnd);

    if (HMENU const sysMenu = GetSystemMenu(m_hWnd, FALSE)) {
        std::string const about = LoadResString(IDS_ABOUTBOX);
        if (!about.empty()) {
            AppendMenuA(sysMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(sysMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }

    SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    m_banner.SubclassDlgItem(IDC_BANNER, m_hWnd);
    if (m_animation.SubclassDlgItem(IDC_BUSY_ICON, m_hWnd))
        m_animation.StartAnimation();

    m_nStartTimer = SetTimer(m_hWnd, kStartTimerId, kStartTimerPeriodMs, nullptr);
    return TRUE;
}

void CNorvaneDlg::OnTimer(UINT_PTR id) {
    // Other ids are the animation's forwarded ticks (-1): nothing to do.
    if (id != kStartTimerId)
        return;
    KillTimer(m_hWnd, m_nStartTimer);
    if (m_pWorker)
        return; // a tick already queued before the kill
    StartWorker();
}

void CNorvaneDlg::StartWorker() {
    unsigned threadId = 0;
    auto const thread = _beginthreadex(nullptr, 0, &CNorvaneDlg::ThreadProc,
                                       static_cast<void*>(this), CREATE_SUSPENDED, &threadId);
    if (!thread) {
        EndDialog(m_hWnd, IDOK);
        return;
    }
    m_pWorker = reinterpret_cast<HANDLE>(thread);
    SetThreadPriority(m_pWorker, THREAD_PRIORITY_BELOW_NORMAL);
    ResumeThread(m_pWorker);
}

BOOL CNorvaneDlg::OnSysCommand(UINT id, LPARAM /*lParam*/) {
    if ((id & 0xFFF0) != IDM_ABOUTBOX)
        return FALSE;
    CAboutDlg about;
    about.DoModal(m_hWnd);
    SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, 0);
    return TRUE;
}

void CNorvaneDlg::OnPaint() {
    PAINTSTRUCT ps;
    HDC const dc = BeginPaint(m_hWnd, &ps);
    SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    int const cxIcon = GetSystemMetrics(SM_CXICON);
    int const cyIcon = GetSystemMetrics(SM_CYICON);
    RECT rc;
    GetClientRect(m_hWnd, &rc);
    int const x = (rc.right - rc.left - cxIcon + 1) / 2;
    int const y = (rc.bottom - rc.top - cyIcon + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &ps);
}

HCURSOR CNorvaneDlg::OnQueryDragIcon() {
    return m_hIcon;
}

// ---- ProgressView: called on the worker thread. Each window call is served
// by the dialog's thread, which only runs its modal loop meanwhile.

void CNorvaneDlg::SetStatusText(const char* text) {
    SetWindowTextA(m_status, text);
}

void CNorvaneDlg::RepaintStatus() {
    InvalidateRect(m_status, nullptr, TRUE);
    UpdateWindow(m_status);
}

int CNorvaneDlg::ShowMessageBox(const char* text, const char* caption, port::UINT type) {
    return MessageBoxA(m_hWnd, text, caption, type);
}

void CNorvaneDlg::Hide() {
    ShowWindow(m_hWnd, SW_HIDE);
}

void CNorvaneDlg::Done() {
#if NORVANE_GUI_TEST
    if (NorvaneGuiTestState* const state = GuiTestState())
        InterlockedExchange(reinterpret_cast<volatile LONG*>(&state->workerFinished), 1);
#endif
    PostMessageA(m_hWnd, WM_NORVANE_DONE, 0, 0);
}

unsigned __stdcall CNorvaneDlg::ThreadProc(void* param) {
    auto* const dialog = static_cast<CNorvaneDlg*>(param);
    if (!dialog)
        return 0;
    try {
#if NORVANE_GUI_TEST
        GuiTestHoldWorker(*dialog);
#endif
        return RunWorkerSequence(dialog, dialog->m_data);
    } catch (...) {
        // RunWorkerSequence catches what the steps throw; this is the last
        // guard of the thread's entry point.
        return 0;
    }
}

// ---------------------------------------------------------------- CAboutDlg

INT_PTR CAboutDlg::DoModal(HWND parent) {
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUTBOX), parent,
                           &CAboutDlg::DialogProc, 0);
}

INT_PTR CALLBACK CAboutDlg::DialogProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM /*lParam*/) {
    switch (msg) {
    case WM_INITDIALOG:
        CenterDialog(wnd);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(wnd, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

// ---------------------------------------------------------------- entry

void RunProgressDialog(port::BOOL sameHost) {
    try {
        CNorvaneDlg dialog(sameHost, nullptr);
        if (dialog.BannerMissing()) {
            char text[256];
            std::snprintf(text, sizeof text,
                          "The banner bitmap (resource %u) is missing from this program.\n"
                          "The reconfiguration continues without it.",
                          dialog.BannerResource());
            std::string const caption = LoadResString(IDS_APP_TITLE);
            MessageBoxA(nullptr, text, caption.empty() ? nullptr : caption.c_str(),
                        MB_OK | MB_ICONERROR);
        }
        dialog.DoModal();
    } catch (const std::exception& e) {
        MessageBoxA(nullptr, e.what(), nullptr, MB_OK | MB_ICONERROR);
    }
}
