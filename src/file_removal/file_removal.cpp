#include "file_removal/file_removal.h"

#include "platform/platform.h"
#include "platform/text_format.h"

static const char* const ComponentFileNames[] = {
    "orvres.exe", "orvka.dll",  "orvtesi.dll",
    "orvdun.dll", "orvpel.dll", "orvmarq.dll",
};

static const char kAppletFileName[] = "orvpanel.cpl";

// The directory calls answer 0 on failure and, when the buffer is too small,
// the size they would need without writing it: both mean there is no
// directory to form paths from.
static bool IsUsableDirectoryLength(UINT length) {
  return length != 0 && length < kPathBufferSize;
}

// A path that would not fit its buffer is not formed, so that file is left
// alone rather than a truncated or overrun path being deleted.
static void RemoveFileInDirectory(const char* directory, const char* name) {
  char path[kPathBufferSize];
  if (FormatText(path, sizeof path, "%s\\%s", directory, name)) {
    RemoveFile(path);
  }
}

void RemoveFile(const char* path) {
  if (DeleteFileA(path)) return;
  if (GetLastError() == ERROR_FILE_NOT_FOUND) return;
  DeleteAtRestart(path);
}

// Without the Windows directory there is no knowing where the files are, so
// nothing is removed and nothing deferred.
void RemoveComponentFiles() {
  char directory[kPathBufferSize];
  if (!IsUsableDirectoryLength(
          GetWindowsDirectoryA(directory, sizeof directory))) {
    return;
  }
  for (const char* name : ComponentFileNames) {
    RemoveFileInDirectory(directory, name);
  }
}

// NT keeps the applet in the Windows directory, the 95 family in the system
// directory.
void RemoveControlPanelApplet() {
  char directory[kPathBufferSize];
  const UINT length = IsNtPlatform()
                          ? GetWindowsDirectoryA(directory, sizeof directory)
                          : GetSystemDirectoryA(directory, sizeof directory);
  if (!IsUsableDirectoryLength(length)) return;
  RemoveFileInDirectory(directory, kAppletFileName);
}
