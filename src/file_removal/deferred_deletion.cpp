// Deletion at the next system start: a pending file operation on NT, an entry
// in the [rename] section of wininit.ini on the Windows 95 family.
#include "file_removal/file_removal.h"
#include "file_removal/uninstall_state.h"
#include "platform/platform.h"
#include "platform/text_format.h"

static const unsigned kEntryBufferSize = 2048;
static const char kEndOfFileMark = 0x1A;

// Fills with zeros without a C runtime to call.
static void ZeroFill(char* buffer, unsigned size) {
  for (unsigned i = 0; i < size; ++i) buffer[i] = 0;
}

// Editors of old kept a DOS end-of-file mark at the very end of text files;
// anything appended after it would be ignored by whoever reads the file.
static void RemoveTrailingEndOfFileMark(HANDLE file) {
  const DWORD size = GetFileSize(file, nullptr);
  if (size == 0 || size == INVALID_FILE_SIZE) return;
  const LONG lastByteOffset = static_cast<LONG>(size - 1);
  if (SetFilePointer(file, lastByteOffset, nullptr, FILE_BEGIN) ==
      INVALID_SET_FILE_POINTER) {
    return;
  }
  // ReadFile and WriteFile set the count they report before any work, so
  // neither it nor the byte needs a value of its own first.
  char lastByte;
  DWORD read;
  if (!ReadFile(file, &lastByte, 1, &read, nullptr) || read != 1) return;
  if (lastByte != kEndOfFileMark) return;
  SetFilePointer(file, lastByteOffset, nullptr, FILE_BEGIN);
  SetEndOfFile(file);
}

// Opens for reading and appending: created when absent, its content kept when
// present, and other readers and writers not denied.
static HANDLE OpenForAppending(const char* path) {
  const HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return file;
  RemoveTrailingEndOfFileMark(file);
  // Written anywhere but at the end, an entry would overwrite the renames
  // other programs scheduled there: a file we cannot seek in counts as one
  // we could not open.
  if (SetFilePointer(file, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER) {
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

static void WriteBytes(HANDLE file, const char* bytes, DWORD count) {
  DWORD written;
  WriteFile(file, bytes, count, &written, nullptr);
}

// Writes the text up to its NUL with every line feed as CR LF, the line end
// the 95 family's start-up expects in wininit.ini.
static void WriteTextWithCrLf(HANDLE file, const char* text) {
  const char* lineStart = text;
  for (const char* at = text;; ++at) {
    if (*at != '\n' && *at != '\0') continue;
    if (at > lineStart) {
      WriteBytes(file, lineStart, static_cast<DWORD>(at - lineStart));
    }
    if (*at == '\0') return;
    WriteBytes(file, "\r\n", 2);
    lineStart = at + 1;
  }
}

// Appends one "NUL=<path>" line, preceded by a section header the first time
// in the run that the file could be opened. The file is never held open
// between entries.
static void AppendTextEntry(const char* wininitPath, const char* deferredPath) {
  const HANDLE file = OpenForAppending(wininitPath);
  if (file == INVALID_HANDLE_VALUE) return;

  char entry[kEntryBufferSize];
  ZeroFill(entry, sizeof entry);
  const char* format = "NUL=%s\n";
  if (UninstallState.renameHeaderPending) {
    UninstallState.renameHeaderPending = false;
    format = "\n[rename]\nNUL=%s\n";
  }
  // The deferred path came from a path buffer, so the entry always fits.
  FormatText(entry, sizeof entry, format, deferredPath);

  WriteTextWithCrLf(file, entry);
  CloseHandle(file);
}

static void DeleteAtRestartThroughWininit(const char* path) {
  char windowsDirectory[kPathBufferSize];
  const UINT length =
      GetWindowsDirectoryA(windowsDirectory, sizeof windowsDirectory);
  if (length == 0 || length >= sizeof windowsDirectory) return;

  char wininitPath[kPathBufferSize];
  ZeroFill(wininitPath, sizeof wininitPath);
  if (!FormatText(wininitPath, sizeof wininitPath, "%s\\wininit.ini",
                  windowsDirectory)) {
    return;
  }
  AppendTextEntry(wininitPath, path);
}

void DeleteAtRestart(const char* path) {
  UninstallState.restartRequired = true;
  if (IsNtPlatform()) {
    MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return;
  }
  DeleteAtRestartThroughWininit(path);
}
