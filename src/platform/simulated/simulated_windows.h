// A small simulated Windows for the host: the state behind the API of
// windows_api.h, which tests set up before a run and inspect after it.
// It models what the program relies on and the failures it must survive:
// files with share locks, a registry with NT and 95-family deletion rules,
// top-level windows, scripted message boxes, the platform family, the
// Windows and system directories, and a log of every call in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/simulated/windows_api.h"

namespace simulated {

enum class Family { Nt, Windows95 };

// Orders names as Windows compares them: without regard to ASCII case.
struct CaseInsensitiveLess {
  bool operator()(const std::string& left, const std::string& right) const;
};

// True when two names are the same to Windows: equal but for ASCII case.
bool SameName(const std::string& left, const std::string& right);

// Another process holding the file open, as a loaded library or an open
// document: its own access and what it lets others do.
struct OtherHolder {
  DWORD access = GENERIC_READ;
  DWORD shareMode = FILE_SHARE_READ;
};

struct File {
  std::string bytes;
  bool readOnly = false;
  std::optional<OtherHolder> heldByAnotherProcess;
};

struct RegistryValue {
  DWORD type = REG_SZ;
  std::string bytes;  // exactly as stored, NUL or not
};

struct RegistryKey {
  std::map<std::string, RegistryKey, CaseInsensitiveLess> subkeys;
  std::optional<RegistryValue> defaultValue;
  std::map<std::string, RegistryValue, CaseInsensitiveLess> namedValues;
  bool refusesFullAccess = false;  // opening with KEY_ALL_ACCESS is denied
  bool refusesDeletion = false;
};

struct MessageBoxShown {
  HWND owner;
  std::string text;
  std::string caption;
  UINT style;
  int answer;
};

struct PostedMessage {
  std::string windowClass;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

struct PendingFileOperation {
  std::string path;
  std::optional<std::string> newName;
  DWORD flags;
};

struct FileOpen {
  std::string path;
  DWORD access;
  DWORD shareMode;
  DWORD disposition;
};

struct Machine {
  Family family = Family::Nt;

  // nullopt: the directory cannot be obtained (the call answers 0).
  std::optional<std::string> windowsDirectory = std::string("C:\\WINDOWS");
  std::optional<std::string> systemDirectory =
      std::string("C:\\WINDOWS\\SYSTEM");

  // Keyed by full path, compared without regard to case.
  std::map<std::string, File, CaseInsensitiveLess> files;
  std::set<std::string, CaseInsensitiveLess> directories = {
      "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM"};

  RegistryKey classesRoot;
  RegistryKey localMachine;

  std::vector<std::string> topLevelWindowClasses;
  std::vector<PostedMessage> postedMessages;

  // Answers for the boxes, in order; a box with no scripted answer could not
  // be shown and answers 0.
  std::deque<int> messageBoxAnswers;
  std::vector<MessageBoxShown> messageBoxes;

  std::vector<DWORD> pauses;
  std::vector<PendingFileOperation> pendingFileOperations;
  std::vector<FileOpen> fileOpens;

  // Calls named here fail (each as the real one fails). A number after the
  // name limits the failure to that many calls, e.g. {"CreateFileA", 1}.
  std::map<std::string, int> failingCalls;

  // Calls at these positions of the call log (0 for the first call) fail
  // too, each as the named call fails; calls that cannot fail ignore it.
  // Lets a test fail one particular call of a run, whatever its name.
  std::set<std::size_t> failingCallPositions;

  // Positions in the call log of the calls that failed because of
  // failingCalls or failingCallPositions, in order.
  std::vector<std::size_t> injectedFailures;

  // Every call the program made, in order, as "Name argument".
  std::vector<std::string> calls;

  // Handles still open after the run: keys and files must all be closed.
  int openKeyHandles = 0;
  int openFileHandles = 0;

  DWORD lastError = 0;
  std::vector<OSVERSIONINFOA> versionQueries;  // as the program filled them in
};

// The machine the API works on; one per test, reset by Reset().
Machine& TheMachine();
void Reset();

// Set-up helpers.
void AddFile(const std::string& path, const std::string& bytes = "");
void AddDirectory(const std::string& path);
RegistryKey& AddKey(HKEY root, const std::string& path);
void SetDefaultValue(HKEY root, const std::string& path, DWORD type,
                     const std::string& bytes);

// Inspection helpers.
bool FileExists(const std::string& path);
std::string FileBytes(const std::string& path);
bool KeyExists(HKEY root, const std::string& path);
const RegistryKey* FindKey(HKEY root, const std::string& path);
// Every key below a root as "HKCR\path", in a stable order.
std::vector<std::string> AllKeys(HKEY root);
// The calls whose name is `name`, with their arguments only.
std::vector<std::string> CallsNamed(const std::string& name);

}  // namespace simulated
