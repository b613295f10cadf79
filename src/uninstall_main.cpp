// The program's main routine: one pass that closes the resident component,
// asks the user, removes files, keys and the applet in that order, and asks
// for a restart when some deletion had to wait for one.
#include "file_removal/file_removal.h"
#include "file_removal/uninstall_state.h"
#include "platform/platform.h"
#include "registry_cleanup/registry_cleanup.h"

static const char kResidentWindowClass[] = "ORVRES";
static const DWORD kResidentClosePauseMs = 2000;

static const char kConfirmCaption[] = "Confirm Uninstall";
static const char kConfirmText[] =
    "This will uninstall elements of Orvane Control from your computer.\n"
    "\n"
    "Playing an Orvane-enabled media file (such as an mp3) will not work "
    "correctly\n"
    "once you have uninstalled.\n"
    "Executing an Orvane-enabled application or media file installer will "
    "restore\n"
    "the elements needed by the application or media file.\n"
    "\n"
    "Are you sure you want to uninstall Orvane Control?";

static const char kRestartCaption[] = "Uninstall Oravne";
static const char kRestartText[] =
    "To finish the uninstall you must restart your computer";

// The request is asynchronous: the pause is all the time the component gets,
// and a library it still holds afterwards is deferred like any file in use.
static void CloseResidentComponent() {
  const HWND resident = FindWindowA(kResidentWindowClass, nullptr);
  if (resident == nullptr) return;
  PostMessageA(resident, WM_CLOSE, 0, 0);
  Sleep(kResidentClosePauseMs);
}

// Only an explicit No declines: a box that could not be shown answers 0,
// which counts as consent.
static bool UserDeclines() {
  return MessageBoxA(nullptr, kConfirmText, kConfirmCaption,
                     MB_YESNO | MB_ICONQUESTION) == IDNO;
}

static void ShowRestartNotice() {
  MessageBoxA(nullptr, kRestartText, kRestartCaption,
              MB_OK | MB_ICONINFORMATION);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  CloseResidentComponent();
  if (UserDeclines()) return IDNO;

  RemoveComponentFiles();
  CleanRegistry();
  RemoveControlPanelApplet();

  if (UninstallState.restartRequired) ShowRestartNotice();
  return 0;
}
