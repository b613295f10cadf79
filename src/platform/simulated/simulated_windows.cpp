// The simulated Windows behind windows_api.h on the host. Each operation
// answers as the documented Windows call does for the cases the program can
// meet, including its failures, and logs itself to Machine::calls.
#include "platform/simulated/simulated_windows.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace simulated {
namespace {

Machine machine;

// Open handles: files and registry keys, each by a number of its own.
struct OpenFile {
  std::string path;
  DWORD access;
  DWORD shareMode;
  std::uint64_t position = 0;
};
struct OpenKey {
  HKEY root;
  std::string path;
};
std::map<std::uintptr_t, OpenFile> openFiles;
std::map<std::uintptr_t, OpenKey> openKeys;
std::uintptr_t nextHandle = 0x100;

const DWORD KEY_READ_ONLY_RIGHTS = 0x20019;  // KEY_READ
const DWORD ERROR_FILE_EXISTS = 80;
const DWORD ERROR_INVALID_PARAMETER = 87;
const DWORD ERROR_NEGATIVE_SEEK = 131;
const DWORD ERROR_KEY_DELETED = 1018;
const int kWsprintfLimit = 1024;

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

void Log(const std::string& name, const std::string& argument = "") {
  machine.calls.push_back(argument.empty() ? name : name + " " + argument);
}

// A call named in failingCalls fails; a positive count is used up call by
// call, a count of 0 or less fails every call. A call whose position in the
// log is in failingCallPositions fails as well. Asked right after the call
// logged itself, so the last entry of the log is this call.
bool ShouldFail(const std::string& name) {
  const std::size_t position = machine.calls.size() - 1;
  bool fail = machine.failingCallPositions.count(position) != 0;
  auto found = machine.failingCalls.find(name);
  if (found != machine.failingCalls.end()) {
    if (found->second > 0 && --found->second == 0) {
      machine.failingCalls.erase(found);
    }
    fail = true;
  }
  if (fail) machine.injectedFailures.push_back(position);
  return fail;
}

template <typename Result>
Result Fail(DWORD error, Result result) {
  machine.lastError = error;
  return result;
}

std::string ParentOf(const std::string& path) {
  const auto slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool ParentDirectoryExists(const std::string& path) {
  return machine.directories.count(ParentOf(path)) != 0;
}

// --- files -----------------------------------------------------------------

bool AccessAllowedByShare(DWORD access, DWORD shareMode) {
  if ((access & GENERIC_READ) && !(shareMode & FILE_SHARE_READ)) return false;
  if ((access & GENERIC_WRITE) && !(shareMode & FILE_SHARE_WRITE)) {
    return false;
  }
  return true;
}

// Two opens of one file coexist when each one's access is allowed by the
// other's share mode.
bool OpensCoexist(DWORD access, DWORD shareMode, DWORD otherAccess,
                  DWORD otherShareMode) {
  return AccessAllowedByShare(access, otherShareMode) &&
         AccessAllowedByShare(otherAccess, shareMode);
}

bool SharingViolationWith(const std::string& path, const File& file,
                          DWORD access, DWORD shareMode) {
  if (file.heldByAnotherProcess &&
      !OpensCoexist(access, shareMode, file.heldByAnotherProcess->access,
                    file.heldByAnotherProcess->shareMode)) {
    return true;
  }
  for (const auto& [handle, open] : openFiles) {
    if (SameName(open.path, path) &&
        !OpensCoexist(access, shareMode, open.access, open.shareMode)) {
      return true;
    }
  }
  return false;
}

// NT lets a holder that shares deletion see its file deleted; the 95 family
// never deletes a file that is open.
bool HolderAllowsDeletion(const File& file) {
  if (!file.heldByAnotherProcess) return true;
  return machine.family == Family::Nt &&
         (file.heldByAnotherProcess->shareMode & FILE_SHARE_DELETE);
}

bool OpenedByThisProcess(const std::string& path) {
  for (const auto& [handle, open] : openFiles) {
    if (SameName(open.path, path)) return true;
  }
  return false;
}

OpenFile* FindOpenFile(HANDLE handle) {
  auto found = openFiles.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == openFiles.end() ? nullptr : &found->second;
}

// --- registry --------------------------------------------------------------

RegistryKey* RootKey(HKEY root) {
  if (root == HKEY_CLASSES_ROOT) return &machine.classesRoot;
  if (root == HKEY_LOCAL_MACHINE) return &machine.localMachine;
  return nullptr;
}

std::string RootName(HKEY root) {
  if (root == HKEY_CLASSES_ROOT) return "HKCR";
  if (root == HKEY_LOCAL_MACHINE) return "HKLM";
  return "HKEY?";
}

// Splits a key path at its backslashes; an empty part (a leading, doubled or
// trailing backslash) makes the path malformed.
bool SplitKeyPath(const std::string& path, std::vector<std::string>& parts) {
  parts.clear();
  std::string part;
  for (char c : path) {
    if (c != '\\') {
      part += c;
      continue;
    }
    if (part.empty()) return false;
    parts.push_back(part);
    part.clear();
  }
  if (part.empty()) return false;
  parts.push_back(part);
  return true;
}

RegistryKey* ResolveKey(HKEY root, const std::string& path) {
  RegistryKey* key = RootKey(root);
  std::vector<std::string> parts;
  if (key == nullptr || !SplitKeyPath(path, parts)) return nullptr;
  for (const std::string& part : parts) {
    auto found = key->subkeys.find(part);
    if (found == key->subkeys.end()) return nullptr;
    key = &found->second;
  }
  return key;
}

void CollectKeys(const RegistryKey& key, const std::string& prefix,
                 std::vector<std::string>& out) {
  for (const auto& [name, subkey] : key.subkeys) {
    out.push_back(prefix + "\\" + name);
    CollectKeys(subkey, prefix + "\\" + name, out);
  }
}

}  // namespace

bool CaseInsensitiveLess::operator()(const std::string& left,
                                     const std::string& right) const {
  const std::size_t common = std::min(left.size(), right.size());
  for (std::size_t i = 0; i < common; ++i) {
    const char a = LowerAscii(left[i]);
    const char b = LowerAscii(right[i]);
    if (a != b)
      return static_cast<unsigned char>(a) < static_cast<unsigned char>(b);
  }
  return left.size() < right.size();
}

bool SameName(const std::string& left, const std::string& right) {
  CaseInsensitiveLess less;
  return !less(left, right) && !less(right, left);
}

Machine& TheMachine() { return machine; }

void Reset() {
  machine = Machine();
  openFiles.clear();
  openKeys.clear();
  nextHandle = 0x100;
}

void AddFile(const std::string& path, const std::string& bytes) {
  machine.files[path].bytes = bytes;
}

void AddDirectory(const std::string& path) { machine.directories.insert(path); }

RegistryKey& AddKey(HKEY root, const std::string& path) {
  RegistryKey* key = RootKey(root);
  std::vector<std::string> parts;
  if (key == nullptr || !SplitKeyPath(path, parts)) std::abort();
  for (const std::string& part : parts) key = &key->subkeys[part];
  return *key;
}

void SetDefaultValue(HKEY root, const std::string& path, DWORD type,
                     const std::string& bytes) {
  AddKey(root, path).defaultValue = RegistryValue{type, bytes};
}

bool FileExists(const std::string& path) {
  return machine.files.count(path) != 0;
}

std::string FileBytes(const std::string& path) {
  auto found = machine.files.find(path);
  return found == machine.files.end() ? std::string() : found->second.bytes;
}

bool KeyExists(HKEY root, const std::string& path) {
  return ResolveKey(root, path) != nullptr;
}

const RegistryKey* FindKey(HKEY root, const std::string& path) {
  return ResolveKey(root, path);
}

std::vector<std::string> AllKeys(HKEY root) {
  std::vector<std::string> keys;
  if (const RegistryKey* key = RootKey(root)) {
    CollectKeys(*key, RootName(root), keys);
  }
  return keys;
}

std::vector<std::string> CallsNamed(const std::string& name) {
  std::vector<std::string> arguments;
  for (const std::string& call : machine.calls) {
    if (call == name) {
      arguments.push_back("");
    } else if (call.compare(0, name.size() + 1, name + " ") == 0) {
      arguments.push_back(call.substr(name.size() + 1));
    }
  }
  return arguments;
}

}  // namespace simulated

using simulated::Fail;
using simulated::Family;
using simulated::Log;
using simulated::machine;
using simulated::ShouldFail;

// --- user32 ------------------------------------------------------------------

HWND FindWindowA(LPCSTR className, LPCSTR windowName) {
  Log("FindWindowA",
      std::string(className ? className : "(null)") +
          (windowName ? std::string(" title=") + windowName : std::string()));
  if (ShouldFail("FindWindowA") || className == nullptr) return nullptr;
  const auto& classes = machine.topLevelWindowClasses;
  for (std::size_t i = 0; i < classes.size(); ++i) {
    if (simulated::SameName(classes[i], className)) {
      return reinterpret_cast<HWND>(i + 1);
    }
  }
  return Fail<HWND>(ERROR_FILE_NOT_FOUND, nullptr);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Log("PostMessageA", std::to_string(message));
  const auto index = reinterpret_cast<std::uintptr_t>(window);
  if (ShouldFail("PostMessageA") || index == 0 ||
      index > machine.topLevelWindowClasses.size()) {
    return Fail<BOOL>(ERROR_INVALID_HANDLE, 0);
  }
  machine.postedMessages.push_back(
      {machine.topLevelWindowClasses[index - 1], message, wParam, lParam});
  return 1;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  Log("MessageBoxA", caption ? caption : "(null)");
  int answer = 0;
  if (!machine.messageBoxAnswers.empty()) {
    answer = machine.messageBoxAnswers.front();
    machine.messageBoxAnswers.pop_front();
  }
  machine.messageBoxes.push_back(
      {owner, text ? text : "", caption ? caption : "", style, answer});
  return answer;
}

// Supports the fields the program uses ("%s", and "%%"); any other field
// is a fault in the program and stops the test at once.
int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  std::string out;
  va_list arguments;
  va_start(arguments, format);
  for (const char* at = format; *at != '\0'; ++at) {
    if (*at != '%') {
      out += *at;
    } else if (at[1] == 's') {
      const char* text = va_arg(arguments, const char*);
      out += text ? text : "(null)";
      ++at;
    } else if (at[1] == '%') {
      out += '%';
      ++at;
    } else {
      std::abort();
    }
  }
  va_end(arguments);
  // Like the real one, it writes at most 1024 bytes, its NUL included.
  if (out.size() >= static_cast<std::size_t>(simulated::kWsprintfLimit)) {
    out.resize(simulated::kWsprintfLimit - 1);
  }
  std::memcpy(buffer, out.c_str(), out.size() + 1);
  Log("wsprintfA", out);
  return static_cast<int>(out.size());
}

// --- kernel32 ----------------------------------------------------------------

void Sleep(DWORD milliseconds) {
  Log("Sleep", std::to_string(milliseconds));
  machine.pauses.push_back(milliseconds);
}

BOOL GetVersionExA(OSVERSIONINFOA* version) {
  Log("GetVersionExA");
  if (version == nullptr || version->dwOSVersionInfoSize != sizeof *version) {
    return Fail<BOOL>(ERROR_INSUFFICIENT_BUFFER, 0);
  }
  if (ShouldFail("GetVersionExA")) return Fail<BOOL>(ERROR_ACCESS_DENIED, 0);
  machine.versionQueries.push_back(*version);
  const bool nt = machine.family == Family::Nt;
  version->dwMajorVersion = 4;
  version->dwMinorVersion = nt ? 0 : 10;
  version->dwBuildNumber = nt ? 1381 : 1998;
  version->dwPlatformId =
      nt ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32_WINDOWS;
  std::memset(version->szCSDVersion, 0, sizeof version->szCSDVersion);
  return 1;
}

// Both directory calls: 0 on failure; when the buffer is too small, the size
// needed (NUL included) and nothing written; else the length written.
static UINT AnswerDirectory(const char* name,
                            const std::optional<std::string>& directory,
                            LPSTR buffer, UINT size) {
  Log(name);
  if (ShouldFail(name) || !directory)
    return Fail<UINT>(ERROR_FILE_NOT_FOUND, 0);
  const UINT length = static_cast<UINT>(directory->size());
  if (length + 1 > size) return length + 1;
  std::memcpy(buffer, directory->c_str(), length + 1);
  return length;
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  return AnswerDirectory("GetWindowsDirectoryA", machine.windowsDirectory,
                         buffer, size);
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
  return AnswerDirectory("GetSystemDirectoryA", machine.systemDirectory, buffer,
                         size);
}

BOOL DeleteFileA(LPCSTR path) {
  Log("DeleteFileA", path);
  if (ShouldFail("DeleteFileA")) return Fail<BOOL>(ERROR_ACCESS_DENIED, 0);
  if (machine.directories.count(path))
    return Fail<BOOL>(ERROR_ACCESS_DENIED, 0);
  if (!simulated::ParentDirectoryExists(path)) {
    return Fail<BOOL>(ERROR_PATH_NOT_FOUND, 0);
  }
  auto found = machine.files.find(path);
  if (found == machine.files.end()) return Fail<BOOL>(ERROR_FILE_NOT_FOUND, 0);
  if (found->second.readOnly) return Fail<BOOL>(ERROR_ACCESS_DENIED, 0);
  if (!simulated::HolderAllowsDeletion(found->second) ||
      simulated::OpenedByThisProcess(path)) {
    return Fail<BOOL>(ERROR_SHARING_VIOLATION, 0);
  }
  machine.files.erase(found);
  return 1;
}

DWORD GetLastError() {
  Log("GetLastError", std::to_string(machine.lastError));
  return machine.lastError;
}

void SetLastError(DWORD error) { machine.lastError = error; }

// The 95 family exports this call only as a stub that is not implemented.
BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags) {
  Log("MoveFileExA", existing);
  if (machine.family == Family::Windows95) {
    return Fail<BOOL>(ERROR_CALL_NOT_IMPLEMENTED, 0);
  }
  if (ShouldFail("MoveFileExA")) return Fail<BOOL>(ERROR_ACCESS_DENIED, 0);
  machine.pendingFileOperations.push_back(
      {existing, newName ? std::optional<std::string>(newName) : std::nullopt,
       flags});
  return 1;
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode,
                   SECURITY_ATTRIBUTES*, DWORD disposition, DWORD, HANDLE) {
  Log("CreateFileA", path);
  machine.fileOpens.push_back({path, access, shareMode, disposition});
  if (ShouldFail("CreateFileA")) {
    return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  }
  if (machine.directories.count(path)) {
    return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  }
  if (!simulated::ParentDirectoryExists(path)) {
    return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  }
  auto found = machine.files.find(path);
  const bool exists = found != machine.files.end();
  if (!exists &&
      (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING)) {
    return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  }
  if (exists && disposition == CREATE_NEW) {
    return Fail(simulated::ERROR_FILE_EXISTS, INVALID_HANDLE_VALUE);
  }
  if (exists) {
    if (found->second.readOnly && (access & GENERIC_WRITE)) {
      return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    }
    if (simulated::SharingViolationWith(path, found->second, access,
                                        shareMode)) {
      return Fail(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
    }
    if (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) {
      found->second.bytes.clear();
    }
  } else {
    machine.files[path];
  }
  const std::uintptr_t handle = simulated::nextHandle;
  simulated::nextHandle += 4;
  simulated::openFiles[handle] = {path, access, shareMode, 0};
  ++machine.openFileHandles;
  return reinterpret_cast<HANDLE>(handle);
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
  Log("GetFileSize");
  simulated::OpenFile* open = simulated::FindOpenFile(file);
  if (open == nullptr) return Fail(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
  if (ShouldFail("GetFileSize")) {
    return Fail(ERROR_ACCESS_DENIED, INVALID_FILE_SIZE);
  }
  if (sizeHigh) *sizeHigh = 0;
  return static_cast<DWORD>(machine.files[open->path].bytes.size());
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh,
                     DWORD method) {
  Log("SetFilePointer",
      std::to_string(distance) + " " + std::to_string(method));
  simulated::OpenFile* open = simulated::FindOpenFile(file);
  if (open == nullptr) {
    return Fail(ERROR_INVALID_HANDLE, INVALID_SET_FILE_POINTER);
  }
  if (ShouldFail("SetFilePointer")) {
    return Fail(ERROR_ACCESS_DENIED, INVALID_SET_FILE_POINTER);
  }
  std::int64_t offset = distance;
  if (distanceHigh) {
    offset = (static_cast<std::int64_t>(*distanceHigh) << 32) |
             static_cast<DWORD>(distance);
  }
  std::int64_t base = 0;
  if (method == FILE_CURRENT) base = static_cast<std::int64_t>(open->position);
  if (method == FILE_END) {
    base = static_cast<std::int64_t>(machine.files[open->path].bytes.size());
  }
  if (base + offset < 0) {
    return Fail(simulated::ERROR_NEGATIVE_SEEK, INVALID_SET_FILE_POINTER);
  }
  open->position = static_cast<std::uint64_t>(base + offset);
  if (distanceHigh) *distanceHigh = static_cast<LONG>(open->position >> 32);
  return static_cast<DWORD>(open->position);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read,
              OVERLAPPED*) {
  Log("ReadFile", std::to_string(toRead));
  if (read) *read = 0;
  simulated::OpenFile* open = simulated::FindOpenFile(file);
  if (open == nullptr) return Fail<BOOL>(ERROR_INVALID_HANDLE, 0);
  if (!(open->access & GENERIC_READ) || ShouldFail("ReadFile")) {
    return Fail<BOOL>(ERROR_ACCESS_DENIED, 0);
  }
  const std::string& bytes = machine.files[open->path].bytes;
  DWORD count = 0;
  if (open->position < bytes.size()) {
    count = static_cast<DWORD>(
        std::min<std::uint64_t>(toRead, bytes.size() - open->position));
    std::memcpy(buffer, bytes.data() + open->position, count);
  }
  open->position += count;
  if (read) *read = count;
  return 1;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
               OVERLAPPED*) {
  Log("WriteFile", std::string(static_cast<const char*>(buffer), toWrite));
  if (written) *written = 0;
  simulated::OpenFile* open = simulated::FindOpenFile(file);
  if (open == nullptr) return Fail<BOOL>(ERROR_INVALID_HANDLE, 0);
  if (!(open->access & GENERIC_WRITE))
    return Fail<BOOL>(ERROR_ACCESS_DENIED, 0);
  if (ShouldFail("WriteFile")) return Fail<BOOL>(ERROR_WRITE_FAULT, 0);
  std::string& bytes = machine.files[open->path].bytes;
  if (bytes.size() < open->position + toWrite) {
    bytes.resize(open->position + toWrite, '\0');
  }
  bytes.replace(open->position, toWrite, static_cast<const char*>(buffer),
                toWrite);
  open->position += toWrite;
  if (written) *written = toWrite;
  return 1;
}

BOOL SetEndOfFile(HANDLE file) {
  Log("SetEndOfFile");
  simulated::OpenFile* open = simulated::FindOpenFile(file);
  if (open == nullptr) return Fail<BOOL>(ERROR_INVALID_HANDLE, 0);
  if (!(open->access & GENERIC_WRITE) || ShouldFail("SetEndOfFile")) {
    return Fail<BOOL>(ERROR_ACCESS_DENIED, 0);
  }
  machine.files[open->path].bytes.resize(open->position, '\0');
  return 1;
}

BOOL CloseHandle(HANDLE handle) {
  Log("CloseHandle");
  if (simulated::openFiles.erase(reinterpret_cast<std::uintptr_t>(handle)) ==
      0) {
    return Fail<BOOL>(ERROR_INVALID_HANDLE, 0);
  }
  --machine.openFileHandles;
  return 1;
}

// --- advapi32 ----------------------------------------------------------------

LONG RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD, REGSAM access,
                   HKEY* result) {
  Log("RegOpenKeyExA", simulated::RootName(root) + "\\" + subKey);
  if (ShouldFail("RegOpenKeyExA")) return ERROR_ACCESS_DENIED;
  simulated::RegistryKey* key = simulated::ResolveKey(root, subKey);
  if (key == nullptr) return ERROR_FILE_NOT_FOUND;
  if (key->refusesFullAccess &&
      (access & ~simulated::KEY_READ_ONLY_RIGHTS) != 0) {
    return ERROR_ACCESS_DENIED;
  }
  const std::uintptr_t handle = simulated::nextHandle;
  simulated::nextHandle += 4;
  simulated::openKeys[handle] = {root, subKey};
  ++machine.openKeyHandles;
  *result = reinterpret_cast<HKEY>(handle);
  return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type,
                      LPBYTE data, LPDWORD dataSize) {
  Log("RegQueryValueExA", valueName ? valueName : "(default)");
  auto open = simulated::openKeys.find(reinterpret_cast<std::uintptr_t>(key));
  if (open == simulated::openKeys.end()) return ERROR_INVALID_HANDLE;
  if (ShouldFail("RegQueryValueExA")) return ERROR_ACCESS_DENIED;
  const simulated::RegistryKey* resolved =
      simulated::ResolveKey(open->second.root, open->second.path);
  if (resolved == nullptr) return simulated::ERROR_KEY_DELETED;
  const simulated::RegistryValue* value = nullptr;
  if (valueName == nullptr || *valueName == '\0') {
    if (resolved->defaultValue) value = &*resolved->defaultValue;
  } else {
    auto named = resolved->namedValues.find(valueName);
    if (named != resolved->namedValues.end()) value = &named->second;
  }
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  if (type) *type = value->type;
  if (dataSize == nullptr) {
    return data ? simulated::ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
  }
  const DWORD size = static_cast<DWORD>(value->bytes.size());
  if (data != nullptr && size > *dataSize) {
    *dataSize = size;
    return ERROR_MORE_DATA;
  }
  if (data != nullptr) std::memcpy(data, value->bytes.data(), size);
  *dataSize = size;
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  Log("RegCloseKey");
  if (simulated::RootKey(key) != nullptr) return ERROR_SUCCESS;
  if (simulated::openKeys.erase(reinterpret_cast<std::uintptr_t>(key)) == 0) {
    return ERROR_INVALID_HANDLE;
  }
  --machine.openKeyHandles;
  return ERROR_SUCCESS;
}

// NT deletes only a key without subkeys; the 95 family takes the whole tree.
LONG RegDeleteKeyA(HKEY root, LPCSTR subKey) {
  Log("RegDeleteKeyA", simulated::RootName(root) + "\\" + subKey);
  if (ShouldFail("RegDeleteKeyA")) return ERROR_ACCESS_DENIED;
  std::vector<std::string> parts;
  if (simulated::RootKey(root) == nullptr ||
      !simulated::SplitKeyPath(subKey, parts)) {
    return ERROR_BAD_PATHNAME;
  }
  const std::string leaf = parts.back();
  const std::string parentPath = simulated::ParentOf(subKey);
  simulated::RegistryKey* parent =
      parentPath.empty() ? simulated::RootKey(root)
                         : simulated::ResolveKey(root, parentPath);
  if (parent == nullptr) return ERROR_FILE_NOT_FOUND;
  auto found = parent->subkeys.find(leaf);
  if (found == parent->subkeys.end()) return ERROR_FILE_NOT_FOUND;
  if (found->second.refusesDeletion) return ERROR_ACCESS_DENIED;
  if (machine.family == Family::Nt && !found->second.subkeys.empty()) {
    return ERROR_ACCESS_DENIED;
  }
  parent->subkeys.erase(found);
  return ERROR_SUCCESS;
}
