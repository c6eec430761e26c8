// The seam between the program and the operating system (for all but the
// window's own calls, below).
//
// Floors, top down: ui/ -> run/ -> installer/ -> device/ -> platform/ (this
// one, the ground floor). run/, installer/, device/ and the window-free files
// of ui/ call the operating system only through the functions of namespace
// plat, which carry the Windows names (ANSI forms) and signatures; they
// include nothing from the OS and do not know which side they run on (the
// native build holds them to it: there the only Windows functions are
// plat::'s). The ui/ files that only the Windows program compiles (WinMain,
// the dialog framework, the application object, the progress window) call the
// window, dialog, painting and thread functions directly (DialogBoxParamA,
// CreateThread, SetTimer, ...): the native tests never build the window, and
// this seam serves the logic below it, which they run on the simulated
// machine; the window starts that logic's threads through starter functions
// the tests replace. In the program (Windows only) the plat functions reach
// the real API (platform/win32). The simulated Windows machine (sim/,
// beside this floor) implements the same functions for the native tests; it
// is never part of the program, and nothing here includes it. Beside this
// header: win_types.h (the Windows types and constants where there are no
// Windows headers), trace.h (the one way out for trace lines), handles.h
// (owners of the handles obtained here) and setup_values.h (setup classes,
// multi-string bytes and GUID text, for the program and its test programs).
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <setupapi.h>
#include <newdev.h>
// Not shlobj.h: with all it includes it would double the time every file
// that includes this one takes to compile. The one value of it the code above
// uses (the same in shlobj.h, which platform/win32 includes for the call):
#ifndef CSIDL_WINDOWS
#define CSIDL_WINDOWS 0x0024
#endif
#else
#include "platform/win_types.h"
#endif

namespace plat {

// Device setup (setupapi).
HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent, DWORD flags);
BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA data);
BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD property,
                                       PDWORD valueType, PBYTE buffer, DWORD bufferSize,
                                       PDWORD requiredSize);
BOOL SetupDiSetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD property,
                                       const BYTE* buffer, DWORD bufferSize);
BOOL SetupDiGetDeviceInstanceIdA(HDEVINFO set, PSP_DEVINFO_DATA data, PSTR id, DWORD idSize,
                                 PDWORD requiredSize);
BOOL SetupDiRemoveDevice(HDEVINFO set, PSP_DEVINFO_DATA data);
BOOL SetupDiGetDeviceInstallParamsA(HDEVINFO set, PSP_DEVINFO_DATA data, PSP_DEVINSTALL_PARAMS_A params);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);
// Removes the driver package a published OEM INF ("oem12.inf") belongs to from
// the driver store, with the INF and its PNF.
BOOL SetupUninstallOEMInfA(PCSTR infFileName, DWORD flags, PVOID reserved);

// Driver update (newdev).
BOOL UpdateDriverForPlugAndPlayDevicesA(HWND parent, LPCSTR hardwareId, LPCSTR infPath,
                                        DWORD installFlags, PBOOL rebootRequired);

// Registry (advapi32).
LONG RegOpenKeyExA(HKEY parent, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD size);
LONG RegCloseKey(HKEY key);

// Errors, files and folders (kernel32, shell32).
DWORD GetLastError();
void SetLastError(DWORD error);
// The process's error mode: which system error boxes it lets appear.
UINT SetErrorMode(UINT mode);
BOOL DeleteFileA(LPCSTR path);
DWORD GetFileAttributesA(LPCSTR path);
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD attributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped);
BOOL FlushFileBuffers(HANDLE file);
// What a handle leads to: its attributes and hard link count, and its final
// path after every link on the way ("\\?\C:\..."); and marking the file to
// be deleted once the handle is closed. The last two are looked up at run
// time: without them, FALSE (or 0) with ERROR_PROC_NOT_FOUND.
BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information);
DWORD GetFinalPathNameByHandleA(HANDLE file, LPSTR path, DWORD size, DWORD flags);
BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, LPVOID information,
                                DWORD size);
// A path made full (relative to the current folder, with "." and ".." gone),
// and an existing path with its short 8.3 names made long.
DWORD GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buffer, LPSTR* filePart);
DWORD GetLongPathNameA(LPCSTR shortPath, LPSTR longPath, DWORD size);
// Closes a file, a mutex, a process or a thread.
BOOL CloseHandle(HANDLE handle);
HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data);
BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data);
BOOL FindClose(HANDLE find);
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
HRESULT SHGetFolderPathA(HWND owner, int folder, HANDLE token, DWORD flags, LPSTR path);

// Named mutexes (kernel32). WaitForSingleObject waits for a mutex or for a
// process started below.
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCSTR name);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL ReleaseMutex(HANDLE mutex);

// User interaction, time and trace (user32, kernel32).
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
void Sleep(DWORD milliseconds);
void GetLocalTime(LPSYSTEMTIME time);
DWORD GetCurrentProcessId();
void OutputDebugStringA(LPCSTR text);

// The process and the programs it starts (kernel32), used by the 32-bit
// program's hand-over on 64-bit Windows. IsWow64Process is looked up at run
// time: a system without it has no WOW64 and reports FALSE.
HANDLE GetCurrentProcess();
BOOL IsWow64Process(HANDLE process, PBOOL wow64);
// File system redirection of this thread under WOW64 (System32 seen as
// SysWOW64); looked up at run time: without them, FALSE and nothing changes.
BOOL Wow64DisableWow64FsRedirection(PVOID* oldValue);
BOOL Wow64RevertWow64FsRedirection(PVOID oldValue);
DWORD GetModuleFileNameA(HMODULE module, LPSTR path, DWORD size);
BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                    LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                    LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                    LPPROCESS_INFORMATION processInformation);
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);

// Window lookup and synthetic input (user32), used by the wizard dismisser.
HWND FindWindowExA(HWND parent, HWND childAfter, LPCSTR className, LPCSTR windowName);
int GetWindowTextA(HWND window, LPSTR text, int size);
BOOL SetForegroundWindow(HWND window);
HWND GetForegroundWindow();
UINT SendInput(UINT count, LPINPUT inputs, int size);

}  // namespace plat
