// Stands in for the resident component: a hidden top-level window of class
// "ORVRES" that records each close request it gets and then goes away.
//
//   resident_standin LOG [--hold PATH]... [--linger MS] [--max-life MS]
//
// --hold keeps PATH open without FILE_SHARE_DELETE, as a loaded library is,
// so deleting it fails with a sharing violation. --linger keeps holding for
// up to MS after the close request (ending early once LOG.release exists),
// the way a slow component still has its libraries loaded when the
// uninstaller reaches them. --max-life ends the process if no request comes;
// LOG.release existing ends it at any time.
#include <windows.h>

#include <string>
#include <vector>

#include "tool_log.h"

namespace {

std::string logPath;
std::vector<HANDLE> heldFiles;
unsigned long long lingerMs = 0;
unsigned long long closeRequestedAt = 0;
const UINT_PTR kTimer = 1;

void ReleaseHeldFiles() {
  for (HANDLE file : heldFiles) CloseHandle(file);
  if (!heldFiles.empty()) {
    AppendLine(logPath, "released " + std::to_string(Now()));
  }
  heldFiles.clear();
}

bool ReleaseRequested() {
  return GetFileAttributesA((logPath + ".release").c_str()) !=
         INVALID_FILE_ATTRIBUTES;
}

unsigned long long startedAt = 0;
unsigned long long maxLifeMs = 120000;

void End(HWND window) {
  KillTimer(window, kTimer);
  ReleaseHeldFiles();
  DestroyWindow(window);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam,
                            LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      AppendLine(logPath, "close " + std::to_string(Now()) +
                              " wparam=" + std::to_string(wParam) +
                              " lparam=" + std::to_string(lParam));
      if (closeRequestedAt != 0) return 0;  // already on its way out
      closeRequestedAt = Now();
      if (lingerMs == 0 || heldFiles.empty()) End(window);
      return 0;
    case WM_TIMER:
      if (ReleaseRequested() ||
          (closeRequestedAt != 0 && Now() - closeRequestedAt >= lingerMs)) {
        End(window);
      } else if (Now() - startedAt >= maxLifeMs) {
        AppendLine(logPath, "expired " + std::to_string(Now()));
        End(window);
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  logPath = argv[1];
  startedAt = Now();
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--hold") {
      const HANDLE file =
          CreateFileA(argv[i + 1], GENERIC_READ, FILE_SHARE_READ, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE) {
        AppendLine(logPath, std::string("hold-failed ") + argv[i + 1]);
        return 3;
      }
      heldFiles.push_back(file);
    } else if (option == "--linger") {
      lingerMs = std::stoull(argv[i + 1]);
    } else if (option == "--max-life") {
      maxLifeMs = std::stoull(argv[i + 1]);
    } else {
      return 2;
    }
  }

  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "ORVRES";
  if (!RegisterClassA(&windowClass)) return 4;
  const HWND window = CreateWindowExA(0, "ORVRES", "resident stand-in",
                                      WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                                      nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) return 4;
  SetTimer(window, kTimer, 20, nullptr);
  AppendLine(logPath, "ready " + std::to_string(Now()));

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  AppendLine(logPath, "exit " + std::to_string(Now()));
  return 0;
}
