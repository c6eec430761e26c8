// The least application and dialog framework the installer's window needs.
//
// CWinApp: the one application object. WinMain hands it the instance and the
// command-line argument text and runs InitInstance; there is no message loop
// afterwards, so InitInstance does all the work and ExitInstance gives the
// process exit code.
//
// CDialog: a modal dialog from a resource template, whose messages reach the
// virtual handlers below. Windows only.
#pragma once

#include "platform/platform.h"

class CDialog;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Runs the program. The return says whether a message loop should follow;
    // this framework has none and goes to ExitInstance either way.
    virtual BOOL InitInstance();
    // The process exit code.
    virtual int ExitInstance();

    HICON LoadIcon(UINT resourceId) const;

    HINSTANCE m_hInstance = nullptr;
    LPCSTR m_lpCmdLine = "";     // the argument text after the program name
    CDialog* m_pMainWnd = nullptr;
};

// The application object, and the start-up that WinMain runs.
CWinApp* AfxGetApp();
int AfxWinMain(HINSTANCE instance, LPCSTR cmdLine);

class CDialog {
public:
    explicit CDialog(UINT templateId, HWND parent = nullptr);
    virtual ~CDialog() = default;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Shows the dialog and returns once it has ended: the result given to
    // EndDialog, or -1 when the dialog could not be created.
    INT_PTR DoModal();
    void EndDialog(INT_PTR result);

    HWND m_hWnd = nullptr;

protected:
    // WM_INITDIALOG. TRUE lets the system set the focus.
    virtual BOOL OnInitDialog();
    // Enter and Escape (and closing by the system): end the dialog.
    virtual void OnOK();
    virtual void OnCancel();
    // WM_TIMER.
    virtual void OnTimer(UINT_PTR timerId);
    // WM_PAINT. Returns false to leave the painting to the system.
    virtual bool OnPaint();
    // WM_QUERYDRAGICON: the icon shown while a minimised window is dragged.
    virtual HICON OnQueryDragIcon();

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_templateId;
    HWND m_hParent;
};
