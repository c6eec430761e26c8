#include "ui/progress_dlg.h"

#include "installer/status_board.h"
#include "installer/windows_folder.h"
#include "platform/trace.h"
#include "run/worker_run.h"
#include "ui/progress_tick.h"


namespace {

constexpr UINT_PTR kStatusTimerId = 0;
constexpr UINT kStatusTimerPeriodMs = 100;

HANDLE CreateWorkerThread(ThreadProc proc, LPVOID param) {
    DWORD threadId = 0;
    return ::CreateThread(nullptr, 0, proc, param, 0, &threadId);
}

// The paint context of one WM_PAINT.
class PaintDc {
public:
    explicit PaintDc(HWND window) : window_(window), dc_(::BeginPaint(window, &paint_)) {}
    ~PaintDc() { ::EndPaint(window_, &paint_); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_ = {};
    HDC dc_;
};

}  // namespace

CZANLumivaleKioskScannerandMSRDriverInstallerDlg::CZANLumivaleKioskScannerandMSRDriverInstallerDlg(HWND parent)
    : CDialog(IDD, parent) {
    if (CWinApp* app = AfxGetApp()) m_hIcon = app->LoadIcon(IDR_MAINFRAME);
}

BOOL CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    Trace("CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnInitDialog()\n");

    ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    // An unreadable Windows directory leaves g_windowsDir empty; the worker
    // then fails the run instead of writing its markers to a relative path.
    g_windowsDir = ReadWindowsDirectory();

    m_hWorkerThread = plat::ThreadHandle(StartWorkerOrReport(g_status, CreateWorkerThread, m_pWorker, m_hWnd));
    if (!m_hWorkerThread) {
        EndDialog(IDABORT);
        return TRUE;
    }

    ::SetTimer(m_hWnd, kStatusTimerId, kStatusTimerPeriodMs, nullptr);
    return TRUE;
}

// Ending the window ends the process and with it an operation in progress, so
// Enter and Escape are ignored while the worker runs; the window closes by
// itself at the first tick after it has ended.
void CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnOK() {
    if (!g_status.IsRunning()) CDialog::OnOK();
}

void CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnCancel() {
    if (!g_status.IsRunning()) CDialog::OnCancel();
}

void CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnTimer(UINT_PTR) {
    char shown[kStatusReadBackSize] = {};
    ::GetDlgItemTextA(m_hWnd, IDC_STATUS_TEXT, shown, sizeof(shown));

    const ProgressTick tick = DecideProgressTick(shown, g_status);
    switch (tick.action) {
    case ProgressTick::Close:
        ::KillTimer(m_hWnd, kStatusTimerId);
        EndDialog(0);
        break;
    case ProgressTick::SetText:
        ::SetDlgItemTextA(m_hWnd, IDC_STATUS_TEXT, tick.text);
        break;
    case ProgressTick::Keep:
        break;
    }
}

bool CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnPaint() {
    if (!::IsIconic(m_hWnd)) return false;

    PaintDc dc(m_hWnd);
    ::SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.get()), 0);

    // The icon centred in the client rectangle.
    const int cxIcon = ::GetSystemMetrics(SM_CXICON);
    const int cyIcon = ::GetSystemMetrics(SM_CYICON);
    RECT rect = {};
    ::GetClientRect(m_hWnd, &rect);
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    ::DrawIcon(dc.get(), x, y, m_hIcon);
    return true;
}

HICON CZANLumivaleKioskScannerandMSRDriverInstallerDlg::OnQueryDragIcon() { return m_hIcon; }
