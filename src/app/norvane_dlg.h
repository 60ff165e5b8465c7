// The progress dialog of reconfiguration mode: banner, animated icon,
// status line, and the worker thread that runs the reconfiguration.
// Windows only. Include port/port.h before <windows.h>, as everywhere.
#pragma once

#include "port/port.h"

#include <windows.h>

#include <memory>

#include "app/progress_view.h"
#include "controls/animation_icon.h"
#include "controls/bitmap_static.h"
#include "controls/dib.h"

// Runs the progress dialog modally until its worker has finished; sameHost
// tells the worker that this is the computer that was prepared.
void RunProgressDialog(port::BOOL sameHost);

class CNorvaneDlg : public ProgressView {
public:
    CNorvaneDlg(port::BOOL sameHost, HWND parent);
    ~CNorvaneDlg() override;
    CNorvaneDlg(const CNorvaneDlg&) = delete;
    CNorvaneDlg& operator=(const CNorvaneDlg&) = delete;

    // Runs template 102 modally; returns what EndDialog was given (IDOK), or
    // -1 when the dialog could not be created.
    INT_PTR DoModal();

    // The banner resource could not be loaded: the dialog then shows the
    // plain grey rectangle of its template in the banner's place.
    bool BannerMissing() const { return !m_pBannerDib; }
    UINT BannerResource() const { return m_nBannerResource; }

    // ProgressView, used by the worker thread.
    void SetStatusText(const char* text) override;
    void RepaintStatus() override;
    int ShowMessageBox(const char* text, const char* caption, port::UINT type) override;
    void Hide() override;
    void Done() override;

    // The worker's entry point; param is the dialog.
    static unsigned __stdcall ThreadProc(void* param);

protected:
    BOOL OnInitDialog();
    void OnTimer(UINT_PTR id);
    // TRUE when the command was handled here.
    BOOL OnSysCommand(UINT id, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();

private:
    static INT_PTR CALLBACK DialogProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void StartWorker();

public:
    HWND m_hWnd = nullptr;
    HWND m_status = nullptr; // control 1000
    HICON m_hIcon = nullptr;
    UINT_PTR m_nStartTimer = 0;
    ReconfigurationData m_data; // m_bSameHost and the client paths
    HANDLE m_pWorker = nullptr;

private:
    HWND m_hParent;
    CAnimationIcon m_animation;
    UINT m_nBannerResource;
    std::unique_ptr<CDib> m_pBannerDib;
    HPALETTE m_hBannerPalette = nullptr;
    CBitmapStatic m_banner;
};

// The about box (template 100).
class CAboutDlg {
public:
    INT_PTR DoModal(HWND parent);

private:
    static INT_PTR CALLBACK DialogProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
};
