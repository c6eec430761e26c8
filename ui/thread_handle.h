// Owner of a thread handle: closing it leaves the thread running.
#pragma once

#include "platform/handles.h"

struct ThreadHandleTraits {
    static HANDLE Invalid() { return nullptr; }
    static bool IsValid(HANDLE h) { return h != nullptr; }
    static void Close(HANDLE h) { plat::CloseHandle(h); }
};

using ThreadHandle = plat::Owned<HANDLE, ThreadHandleTraits>;
