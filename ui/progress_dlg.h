// The progress window: a borderless dialog with one status line that follows
// the status board every 100 ms and closes once the worker has ended.
#pragma once

#include "installer/operation_runner.h"
#include "platform/handles.h"
#include "res/resource.h"
#include "ui/framework.h"

class CZANLumivaleKioskScannerandMSRDriverInstallerDlg : public CDialog {
public:
    enum { IDD = IDD_ZANLUMIVALEKIOSKSCANNERANDMSRDRIVERINSTALLER_DIALOG };

    explicit CZANLumivaleKioskScannerandMSRDriverInstallerDlg(HWND parent = nullptr);

    // Whether the worker thread was created; a window that could not start it
    // ends on its own after reporting so.
    bool WorkerStarted() const { return static_cast<bool>(m_hWorkerThread); }

    // The worker's task and result; the worker uses it for its whole life,
    // so it must outlive the window.
    WorkerRun* m_pWorker = nullptr;
    HICON m_hIcon = nullptr;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnTimer(UINT_PTR timerId) override;
    bool OnPaint() override;
    HICON OnQueryDragIcon() override;

private:
    plat::ThreadHandle m_hWorkerThread;
};
