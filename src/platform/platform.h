// The program reaches the system only through this header. On Windows it is
// the real API of kernel32, user32 and advapi32 (ANSI forms); on the Linux
// host it is the simulated Windows that the tests configure and inspect.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/simulated/windows_api.h"
#endif

// True on the NT family, false on the Windows 95 family. Asked afresh at each
// use rather than cached, so nothing about the platform outlives one question.
bool IsNtPlatform();
