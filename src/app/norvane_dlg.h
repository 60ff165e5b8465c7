// The progress dialog of reconfiguration mode: banner, animated icon,
// status line, and the worker thread that runs the reconfiguration.
// Windows only. Include port/port.h before <windows.h>, as everywhere.
#pragma once

#include "port/port.h"

#include <windows.h>

#include <atomic>
#include <memory>

#include "app/dialog_win.h"
#include "common/progress_view.h"
#include "app/worker.h"
#include "common/handles.h"
#include "controls/animation_icon.h"
#include "controls/bitmap_static.h"
#include "controls/dib.h"

class CNorvaneDlg : public CDialog, public ProgressView {
public:
    // sameHost tells the worker that this is the computer that was prepared;
    // steps are what the worker runs.
    CNorvaneDlg(port::BOOL sameHost, HWND parent, WorkerSteps steps = RunReconfigurationSteps);
    ~CNorvaneDlg() override;

    // The banner resource could not be loaded: the dialog then shows the
    // plain grey rectangle of its template in the banner's place.
    bool BannerMissing() const { return !m_pBannerDib; }
    UINT BannerResource() const { return m_nBannerResource; }

    // ProgressView, used by the worker thread. Each call is a window call
    // that the dialog's thread serves from its modal loop.
    void SetStatusText(const char* text) override;
    void RepaintStatus() override;
    int ShowMessageBox(const char* text, const char* caption, port::UINT type) override;
    void Hide() override;
    void Done() override;

    // The worker's entry point; param is the dialog.
    static unsigned __stdcall ThreadProc(void* param);

protected:
    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR id) override;
    BOOL OnSysCommand(UINT id, LPARAM lParam) override;
    BOOL OnPaint() override;
    HCURSOR OnQueryDragIcon() override;
    void OnDestroy() override;
    // While the worker runs it uses the dialog, so the dialog does not end.
    void OnOK() override;
    void OnCancel() override;
    BOOL OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnUnexpectedException(const char* description) override;

    // Creates the worker thread (suspended); NULL when the system cannot.
    virtual HANDLE BeginWorkerThread();
    bool WorkerRunning() const { return m_bWorkerRunning; }

private:
    void StartWorker();
    void EndIfWorkerGone();

    HICON m_hIcon = nullptr;
    UINT_PTR m_nStartTimer = 0;
    ReconfigurationData m_data; // m_bSameHost and the client paths
    WorkerSteps m_steps;
    unique_handle m_pWorker;
    // From just before the worker is created until its last call (Done).
    std::atomic<bool> m_bWorkerRunning{false};
    HWND m_status = nullptr; // control 1000
    CAnimationIcon m_animation;
    UINT m_nBannerResource;
    std::unique_ptr<CDib> m_pBannerDib;
    unique_hpalette m_bannerPalette;
    CBitmapStatic m_banner;
};

// Runs the progress dialog modally until its worker has finished. A missing
// banner is reported first; the dialog then runs without it.
void RunProgressDialog(CNorvaneDlg& dialog);
// The product's dialog, with the reconfiguration steps.
void RunProgressDialog(port::BOOL sameHost);
