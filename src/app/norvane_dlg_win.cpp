// The progress dialog of reconfiguration mode and its worker thread.
#include "port/port.h"

#include <windows.h>

#include <process.h>

#include <cstdio>
#include <exception>

#include "common/message_box.h"
#include "app/norvane_dlg.h"
#include "common/platform.h"
#include "common/report.h"
#include "common/syserror.h"
#include "common/text.h"
#include "res/resource.h"
#include "res/string_ids.h"

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

} // namespace

CNorvaneDlg::CNorvaneDlg(port::BOOL sameHost, HWND parent, WorkerSteps steps)
    : CDialog(IDD_NORVANE_DIALOG, parent), m_steps(std::move(steps)),
      m_animation(nullptr, nullptr, controls::kTile, IDI_BUSY_FIRST, IDI_BUSY_COUNT,
                  kAnimationPeriodMs),
      m_nBannerResource(ChooseBannerResource()), m_pBannerDib(LoadBanner(m_nBannerResource)),
      m_bannerPalette(m_pBannerDib ? m_pBannerDib->CreatePalette() : nullptr),
      m_banner(m_pBannerDib.get(), m_bannerPalette.get(), controls::kStretch) {
    m_data.m_bSameHost = sameHost;
    m_hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

CNorvaneDlg::~CNorvaneDlg() {
    // The dialog ends only after the worker's last call, so this wait is the
    // worker returning from its entry point.
    if (m_pWorker)
        WaitForSingleObject(m_pWorker.get(), kWorkerExitWaitMs);
}

BOOL CNorvaneDlg::OnInitDialog() {
    // From here on the application's message boxes belong to the dialog.
    AfxSetMainWnd(reinterpret_cast<port::HWND>(m_hWnd));
    m_status = GetDlgItem(m_hWnd, IDC_STATUS);

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
    // Without the timer the worker starts now rather than never; its first
    // status text then shows once the dialog is painted.
    if (!m_nStartTimer)
        StartWorker();
    return TRUE;
}

void CNorvaneDlg::OnTimer(UINT_PTR id) {
    // Other ids are the animation's forwarded ticks (-1).
    if (id != kStartTimerId) {
        EndIfWorkerGone();
        return;
    }
    KillTimer(m_hWnd, m_nStartTimer);
    if (!m_pWorker && !m_bWorkerRunning)
        StartWorker(); // else a tick already queued before the kill
}

HANDLE CNorvaneDlg::BeginWorkerThread() {
    unsigned threadId = 0;
    return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &CNorvaneDlg::ThreadProc,
                                                   static_cast<void*>(this), CREATE_SUSPENDED,
                                                   &threadId));
}

void CNorvaneDlg::StartWorker() {
    m_bWorkerRunning = true;
    m_pWorker.reset(BeginWorkerThread());
    if (!m_pWorker) {
        // No worker will ever end the dialog; a logon must not wait for ever,
        // and a run that did nothing must not end as one that did.
        DWORD const error = GetLastError();
        m_bWorkerRunning = false;
        Report().Fail(kExitUnexpectedError);
        Report().Event("The worker thread could not be started: " +
                       CSystemError(error).GetErrorText());
        EndDialog(IDABORT);
        return;
    }
    SetThreadPriority(m_pWorker.get(), THREAD_PRIORITY_BELOW_NORMAL);
    ResumeThread(m_pWorker.get());
}

// The worker's end arrives as a posted message; should that post be lost
// (a full queue), the animation's next tick ends the dialog instead.
void CNorvaneDlg::EndIfWorkerGone() {
    if (m_pWorker && !m_bWorkerRunning)
        EndDialog(IDOK);
}

BOOL CNorvaneDlg::OnMessage(UINT msg, WPARAM /*wParam*/, LPARAM /*lParam*/) {
    if (msg != WM_NORVANE_DONE)
        return FALSE;
    EndDialog(IDOK);
    return TRUE;
}

void CNorvaneDlg::OnOK() {
    if (!m_bWorkerRunning)
        EndDialog(IDOK);
}

void CNorvaneDlg::OnCancel() {
    if (!m_bWorkerRunning)
        EndDialog(IDCANCEL);
}

void CNorvaneDlg::OnUnexpectedException(const char* description) {
    Report().Fail(kExitUnexpectedError);
    (void)ViewMessageBox(*this, description, AfxGetAppName(), MB_OK | MB_ICONERROR);
    // A running worker still uses the dialog and ends it itself.
    if (!m_bWorkerRunning)
        EndDialog(IDABORT);
}

void CNorvaneDlg::OnDestroy() {
    if (AfxGetMainWnd() == reinterpret_cast<port::HWND>(m_hWnd))
        AfxSetMainWnd(nullptr);
}

BOOL CNorvaneDlg::OnSysCommand(UINT id, LPARAM /*lParam*/) {
    if ((id & 0xFFF0) != IDM_ABOUTBOX)
        return FALSE;
    CAboutDlg about(m_hWnd);
    about.DoModal();
    return TRUE;
}

BOOL CNorvaneDlg::OnPaint() {
    if (!IsIconic(m_hWnd))
        return FALSE;
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
    return TRUE;
}

HCURSOR CNorvaneDlg::OnQueryDragIcon() {
    return m_hIcon;
}

// ---- ProgressView: called on the worker thread.

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
    InvalidateRect(m_hWnd, nullptr, TRUE);
    UpdateWindow(m_hWnd);
}

void CNorvaneDlg::Done() {
    m_bWorkerRunning = false;
    PostMessageA(m_hWnd, WM_NORVANE_DONE, 0, 0);
}

unsigned __stdcall CNorvaneDlg::ThreadProc(void* param) {
    auto* const dialog = static_cast<CNorvaneDlg*>(param);
    if (!dialog)
        return 0;
    try {
        return RunWorkerSequence(dialog, dialog->m_data, dialog->m_steps);
    } catch (...) {
        // RunWorkerSequence stops what the steps throw and always calls
        // Done; this is only the last guard of the thread's entry point.
        return 0;
    }
}

// ---------------------------------------------------------------- entry

void RunProgressDialog(CNorvaneDlg& dialog) {
    if (dialog.BannerMissing()) {
        std::string const text =
            Format("The banner bitmap (resource %u) is missing from this program.\n"
                   "The reconfiguration continues without it.",
                   dialog.BannerResource());
        AfxMessageBox(text, MB_OK | MB_ICONERROR);
    }
    // -1 (or 0): the dialog could not be made, and no step ran.
    INT_PTR const result = dialog.DoModal();
    if (result == -1 || result == 0) {
        DWORD const error = GetLastError();
        Report().Fail(kExitUnexpectedError);
        Report().Event("The progress dialog could not be created: " +
                       CSystemError(error).GetErrorText());
    }
}

void RunProgressDialog(port::BOOL sameHost) {
    CNorvaneDlg dialog(sameHost, nullptr);
    RunProgressDialog(dialog);
}
