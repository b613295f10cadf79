#include "platform/platform.h"

bool IsNtPlatform() {
  OSVERSIONINFOA version;
  version.dwOSVersionInfoSize = sizeof version;  // 148: accepted by 95 and NT 4
  // A failed question leaves the identifier at Win32s, which counts as the
  // Windows 95 family like every identifier other than NT's.
  version.dwPlatformId = VER_PLATFORM_WIN32s;
  GetVersionExA(&version);
  return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}
