// Resource identifiers shared by the resource script and the program.
#pragma once

#define IDR_MAINFRAME 128  // the application icon
#define IDD_ZANLUMIVALEKIOSKSCANNERANDMSRDRIVERINSTALLER_DIALOG 102
#define IDC_STATUS_TEXT 1000  // the status line of the progress window

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
