// The slice of the Windows API the program uses, declared for the Linux host
// with the sizes Windows gives them, and implemented by the simulated Windows
// in simulated_windows.cpp. Written from the API's documented contract; only
// what the program calls is here.
#pragma once

#include <cstdint>

#define WINAPI

typedef int BOOL;
typedef std::uint8_t BYTE;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef unsigned int UINT;
typedef std::uintptr_t WPARAM;
typedef std::intptr_t LPARAM;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* HANDLE;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
typedef LONG* PLONG;
typedef DWORD REGSAM;

struct HWND__;
typedef HWND__* HWND;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
struct HKEY__;
typedef HKEY__* HKEY;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(std::uintptr_t{0x80000000}))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(std::uintptr_t{0x80000002}))
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(~std::uintptr_t{0}))

enum : DWORD {
  ERROR_SUCCESS = 0,
  ERROR_FILE_NOT_FOUND = 2,
  ERROR_PATH_NOT_FOUND = 3,
  ERROR_ACCESS_DENIED = 5,
  ERROR_INVALID_HANDLE = 6,
  ERROR_NOT_ENOUGH_MEMORY = 8,
  ERROR_WRITE_FAULT = 29,
  ERROR_SHARING_VIOLATION = 32,
  ERROR_CALL_NOT_IMPLEMENTED = 120,
  ERROR_INSUFFICIENT_BUFFER = 122,
  ERROR_BAD_PATHNAME = 161,
  ERROR_MORE_DATA = 234,
};

enum : UINT {
  WM_CLOSE = 0x0010,
  MB_OK = 0x00,
  MB_YESNO = 0x04,
  MB_ICONQUESTION = 0x20,
  MB_ICONINFORMATION = 0x40,
};

enum : int { IDOK = 1, IDYES = 6, IDNO = 7, SW_SHOWDEFAULT = 10 };

enum : DWORD {
  VER_PLATFORM_WIN32s = 0,
  VER_PLATFORM_WIN32_WINDOWS = 1,
  VER_PLATFORM_WIN32_NT = 2,
  MOVEFILE_DELAY_UNTIL_REBOOT = 4,
  KEY_ALL_ACCESS = 0xF003F,
  KEY_QUERY_VALUE = 0x0001,
  REG_NONE = 0,
  REG_SZ = 1,
  REG_BINARY = 3,
  REG_DWORD = 4,
  GENERIC_READ = 0x80000000u,
  GENERIC_WRITE = 0x40000000u,
  FILE_SHARE_READ = 0x1,
  FILE_SHARE_WRITE = 0x2,
  FILE_SHARE_DELETE = 0x4,
  CREATE_NEW = 1,
  CREATE_ALWAYS = 2,
  OPEN_EXISTING = 3,
  OPEN_ALWAYS = 4,
  TRUNCATE_EXISTING = 5,
  FILE_ATTRIBUTE_NORMAL = 0x80,
  FILE_BEGIN = 0,
  FILE_CURRENT = 1,
  FILE_END = 2,
  INVALID_FILE_SIZE = 0xFFFFFFFFu,
  INVALID_SET_FILE_POINTER = 0xFFFFFFFFu,
};

struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  char szCSDVersion[128];
};
static_assert(sizeof(OSVERSIONINFOA) == 148, "the record Windows expects");

struct SECURITY_ATTRIBUTES;
struct OVERLAPPED;

// user32
HWND FindWindowA(LPCSTR className, LPCSTR windowName);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
int wsprintfA(LPSTR buffer, LPCSTR format, ...);

// kernel32
void Sleep(DWORD milliseconds);
BOOL GetVersionExA(OSVERSIONINFOA* version);
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);
BOOL DeleteFileA(LPCSTR path);
DWORD GetLastError();
void SetLastError(DWORD error);
BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags);
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode,
                   SECURITY_ATTRIBUTES* security, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh,
                     DWORD method);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read,
              OVERLAPPED* overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
               OVERLAPPED* overlapped);
BOOL SetEndOfFile(HANDLE file);
BOOL CloseHandle(HANDLE handle);

// advapi32
LONG RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access,
                   HKEY* result);
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved,
                      LPDWORD type, LPBYTE data, LPDWORD dataSize);
LONG RegCloseKey(HKEY key);
LONG RegDeleteKeyA(HKEY root, LPCSTR subKey);

// The program's entry point, as the start-up of a GUI program calls it.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine,
                   int showState);
