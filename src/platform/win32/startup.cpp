// The process entry point of the Windows executables. There is no C runtime:
// this is all the start-up the program needs before its main routine.
#include "platform/platform.h"

// The command line as Windows passes it starts with the program's own name,
// quoted when it contains blanks; the main routine gets what follows.
static LPSTR SkipProgramName(LPSTR commandLine) {
  LPSTR at = commandLine;
  if (*at == '"') {
    ++at;
    while (*at != '\0' && *at != '"') ++at;
    if (*at == '"') ++at;
  } else {
    while (*at != '\0' && *at != ' ' && *at != '\t') ++at;
  }
  while (*at == ' ' || *at == '\t') ++at;
  return at;
}

static int StartupShowState() {
  STARTUPINFOA startup;
  startup.dwFlags = 0;
  GetStartupInfoA(&startup);
  return (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow
                                                  : SW_SHOWDEFAULT;
}

extern "C" void WinMainCRTStartup() {
  const int exitCode =
      WinMain(GetModuleHandleA(nullptr), nullptr,
              SkipProgramName(GetCommandLineA()), StartupShowState());
  ExitProcess(static_cast<UINT>(exitCode));
}
