#include "ui/framework.h"

#include "run/exit_codes.h"

namespace {
CWinApp* g_application = nullptr;
}  // namespace

CWinApp::CWinApp() { g_application = this; }

CWinApp::~CWinApp() {
    if (g_application == this) g_application = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return kExitSucceeded; }

HICON CWinApp::LoadIcon(UINT resourceId) const {
    return ::LoadIconA(m_hInstance, MAKEINTRESOURCEA(resourceId));
}

CWinApp* AfxGetApp() { return g_application; }

int AfxWinMain(HINSTANCE instance, LPCSTR cmdLine) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) return kExitFailed;
    app->m_hInstance = instance;
    app->m_lpCmdLine = cmdLine != nullptr ? cmdLine : "";
    app->InitInstance();
    return app->ExitInstance();
}

CDialog::CDialog(UINT templateId, HWND parent) : m_templateId(templateId), m_hParent(parent) {}

INT_PTR CDialog::DoModal() {
    CWinApp* app = AfxGetApp();
    HINSTANCE instance = app != nullptr ? app->m_hInstance : ::GetModuleHandleA(nullptr);
    return ::DialogBoxParamA(instance, MAKEINTRESOURCEA(m_templateId), m_hParent, DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(INT_PTR result) { ::EndDialog(m_hWnd, result); }

BOOL CDialog::OnInitDialog() { return TRUE; }

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::OnTimer(UINT_PTR) {}

bool CDialog::OnPaint() { return false; }

HICON CDialog::OnQueryDragIcon() { return nullptr; }

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
        dialog->m_hWnd = window;
        return dialog->OnInitDialog();
    }

    auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(window, DWLP_USER));
    if (dialog == nullptr) return FALSE;

    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            dialog->OnOK();
            return TRUE;
        case IDCANCEL:
            dialog->OnCancel();
            return TRUE;
        }
        return FALSE;
    case WM_TIMER:
        dialog->OnTimer(static_cast<UINT_PTR>(wParam));
        return TRUE;
    case WM_PAINT:
        return dialog->OnPaint() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(dialog->OnQueryDragIcon());
    case WM_NCDESTROY:
        dialog->m_hWnd = nullptr;
        ::SetWindowLongPtrA(window, DWLP_USER, 0);
        return FALSE;
    }
    return FALSE;
}
