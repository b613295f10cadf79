#include "run_checks.h"

#include <algorithm>
#include <functional>
#include <sstream>

#include "file_removal/uninstall_state.h"

namespace runchecks {

const char kClsid[] = "{7C3A19D4-58E2-4B06-9F1A-3D82E5C64B17}";
const char* const kComponentFileNames[6] = {"orvres.exe",  "orvka.dll",
                                            "orvtesi.dll", "orvdun.dll",
                                            "orvpel.dll",  "orvmarq.dll"};
const char kAppletFileName[] = "orvpanel.cpl";

#define CLASS_KEY "HKCR\\CLSID\\{7C3A19D4-58E2-4B06-9F1A-3D82E5C64B17}"
const char* const kFixedKeys[] = {
    CLASS_KEY "\\InprocServer32",
    CLASS_KEY "\\DefaultIcon",
    CLASS_KEY "\\ShellFolder",
    CLASS_KEY
    "\\shellex\\ContextMenuHandlers\\{7C3A19D4-58E2-4B06-9F1A-3D82E5C64B17}",
    CLASS_KEY "\\shellex\\ContextMenuHandlers",
    CLASS_KEY "\\shellex",
    CLASS_KEY,
    "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer"
    "\\NameSpace\\{7C3A19D4-58E2-4B06-9F1A-3D82E5C64B17}",
    "HKCR\\Directory\\shellex\\CopyHookHandlers\\OrvHook",
    "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvane",
};
const unsigned kFixedKeyCount = sizeof kFixedKeys / sizeof kFixedKeys[0];
#undef CLASS_KEY

namespace {

using simulated::Family;
using simulated::Machine;
using simulated::SameName;

const std::size_t kPathLimit = 260;  // bytes, NUL included
const char kEndOfFileMark = 0x1A;
const char kHandlerSuffix[] =
    "\\shellex\\ContextMenuHandlers\\{7C3A19D4-58E2-4B06-9F1A-3D82E5C64B17}";
const char* const kExtensions[] = {".exe", ".dll", ".ocx"};

bool StartsWithText(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() &&
         SameName(text.substr(0, prefix.size()), prefix);
}

bool EndsWithText(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         SameName(text.substr(text.size() - suffix.size()), suffix);
}

std::string Printable(const std::string& bytes, std::size_t limit = 80) {
  std::ostringstream out;
  for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out << bytes[i];
    } else if (c == '\\') {
      out << "\\\\";
    } else {
      static const char hex[] = "0123456789ABCDEF";
      out << "\\x" << hex[c >> 4] << hex[c & 15];
    }
  }
  if (bytes.size() > limit) out << "...(" << bytes.size() << " bytes)";
  return out.str();
}

void Flatten(const simulated::RegistryKey& key, const std::string& prefix,
             std::map<std::string, KeyRecord, CaseInsensitiveLess>& out) {
  for (const auto& [name, subkey] : key.subkeys) {
    const std::string path = prefix + "\\" + name;
    out[path] = KeyRecord{subkey.defaultValue, subkey.namedValues,
                          subkey.refusesFullAccess, subkey.refusesDeletion};
    Flatten(subkey, path, out);
  }
}

bool SameValue(const std::optional<simulated::RegistryValue>& a,
               const std::optional<simulated::RegistryValue>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || (a->type == b->type && a->bytes == b->bytes);
}

bool SameKey(const KeyRecord& a, const KeyRecord& b) {
  if (!SameValue(a.defaultValue, b.defaultValue) ||
      a.refusesFullAccess != b.refusesFullAccess ||
      a.refusesDeletion != b.refusesDeletion ||
      a.namedValues.size() != b.namedValues.size()) {
    return false;
  }
  for (const auto& [name, value] : a.namedValues) {
    auto other = b.namedValues.find(name);
    if (other == b.namedValues.end() || !SameName(other->first, name) ||
        !SameValue(value, other->second)) {
      return false;
    }
  }
  return true;
}

bool SameHolder(const std::optional<simulated::OtherHolder>& a,
                const std::optional<simulated::OtherHolder>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || (a->access == b->access && a->shareMode == b->shareMode);
}

std::string ParentOf(const std::string& path) {
  const auto slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// A directory the program can form paths from: obtainable, not empty, and
// short enough for its 260-byte buffer.
std::optional<std::string> UsableDirectory(
    const std::optional<std::string>& directory) {
  if (!directory || directory->empty() || directory->size() >= kPathLimit) {
    return std::nullopt;
  }
  return directory;
}

// "<directory>\<name>", when it fits a 260-byte buffer with its NUL.
std::optional<std::string> FormedPath(const std::optional<std::string>& dir,
                                      const std::string& name) {
  if (!dir) return std::nullopt;
  const std::string path = *dir + "\\" + name;
  if (path.size() >= kPathLimit) return std::nullopt;
  return path;
}

enum class DeleteResult { Deleted, NotFound, Refused };

// What Windows answers to deleting `path` on the machine as it was before
// the run: each path is deleted at most once per run, so its state is still
// the one it had then.
DeleteResult ExpectedDeletion(const Snapshot& before, Family family,
                              const std::string& path) {
  if (before.directories.count(path)) return DeleteResult::Refused;
  if (!before.directories.count(ParentOf(path))) return DeleteResult::Refused;
  auto file = before.files.find(path);
  if (file == before.files.end()) return DeleteResult::NotFound;
  if (file->second.readOnly) return DeleteResult::Refused;
  const auto& holder = file->second.heldByAnotherProcess;
  if (holder &&
      !(family == Family::Nt && (holder->shareMode & FILE_SHARE_DELETE))) {
    return DeleteResult::Refused;
  }
  return DeleteResult::Deleted;
}

// Whether the program's open of wininit.ini (read and write, sharing both,
// created when absent) succeeds on the machine as it was.
bool WininitOpens(const Snapshot& before, const std::string& path) {
  if (before.directories.count(path) ||
      !before.directories.count(ParentOf(path))) {
    return false;
  }
  auto file = before.files.find(path);
  if (file == before.files.end()) return true;
  if (file->second.readOnly) return false;
  const auto& holder = file->second.heldByAnotherProcess;
  if (!holder) return true;
  const DWORD ours = GENERIC_READ | GENERIC_WRITE;
  const DWORD ourShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
  auto allowed = [](DWORD access, DWORD share) {
    return !((access & GENERIC_READ) && !(share & FILE_SHARE_READ)) &&
           !((access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE));
  };
  return allowed(ours, holder->shareMode) && allowed(holder->access, ourShare);
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

// The pieces in which the program writes the entries for `paths`, each of
// which a failed write may leave out: the section header may come with any
// entry (the first whose file could be opened), each line in its own write.
std::vector<std::string> EntryPieces(const std::vector<std::string>& paths) {
  std::vector<std::string> pieces;
  for (const std::string& path : paths) {
    pieces.insert(pieces.end(), {"\r\n", "[rename]", "\r\n"});
    std::string line;
    const std::string text = "NUL=" + path;
    for (char c : text) {
      if (c == '\n') {
        if (!line.empty()) pieces.push_back(line);
        pieces.push_back("\r\n");
        line.clear();
      } else {
        line += c;
      }
    }
    if (!line.empty()) pieces.push_back(line);
    pieces.push_back("\r\n");
  }
  return pieces;
}

// Whether `tail` is some of `pieces`, in their order, one after another.
bool IsMadeOfPiecesInOrder(const std::string& tail,
                           const std::vector<std::string>& pieces) {
  // reachable[i][j]: the first i bytes are matched using pieces before j.
  std::vector<std::vector<char>> seen(tail.size() + 1,
                                      std::vector<char>(pieces.size() + 1, 0));
  std::function<bool(std::size_t, std::size_t)> match =
      [&](std::size_t at, std::size_t piece) -> bool {
    if (at == tail.size()) return true;
    if (piece == pieces.size()) return false;
    char& visited = seen[at][piece];
    if (visited) return false;
    visited = 1;
    const std::string& p = pieces[piece];
    if (tail.compare(at, p.size(), p) == 0 && match(at + p.size(), piece + 1)) {
      return true;
    }
    return match(at, piece + 1);
  };
  return match(0, 0);
}

bool IsSubsequence(const std::vector<std::string>& part,
                   const std::vector<std::string>& whole) {
  std::size_t at = 0;
  for (const std::string& item : whole) {
    if (at < part.size() && part[at] == item) ++at;
  }
  return at == part.size();
}

// The handler key an extension's default value names, if the program can
// form it: the value is read into 260 bytes and used up to its first NUL or
// its end; a value filling the buffer without a NUL names nothing.
std::optional<std::string> HandlerKeyFor(const Snapshot& before,
                                         const std::string& extension) {
  auto key = before.keys.find("HKCR\\" + extension);
  if (key == before.keys.end() || key->second.refusesFullAccess ||
      !key->second.defaultValue) {
    return std::nullopt;
  }
  const std::string& bytes = key->second.defaultValue->bytes;
  if (bytes.size() > kPathLimit) return std::nullopt;
  const auto nul = bytes.find('\0');
  if (bytes.size() == kPathLimit && nul == std::string::npos) {
    return std::nullopt;
  }
  const std::string typeName = bytes.substr(0, nul);
  const std::string path = typeName + kHandlerSuffix;
  if (path.size() >= kPathLimit) return std::nullopt;
  return "HKCR\\" + path;
}

struct Call {
  std::size_t position;
  std::string name;
  std::string argument;
};

std::vector<Call> ParsedCalls(const Machine& machine) {
  std::vector<Call> calls;
  for (std::size_t i = 0; i < machine.calls.size(); ++i) {
    const std::string& text = machine.calls[i];
    const auto space = text.find(' ');
    calls.push_back({i, text.substr(0, space),
                     space == std::string::npos ? "" : text.substr(space + 1)});
  }
  return calls;
}

class Report {
 public:
  void Expect(bool holds, const std::string& rule) {
    if (!holds) problems_.push_back(rule);
  }
  // For rules whose text costs something to make: made only when broken.
  template <typename Describe>
  void ExpectOr(bool holds, Describe describe) {
    if (!holds) problems_.push_back(describe());
  }
  std::vector<std::string> problems_;
};

// Deletes `path` from the flat registry as RegDeleteKeyA does: NT only a key
// without subkeys, the 95 family the whole tree.
void DeleteKeyModel(std::map<std::string, KeyRecord, CaseInsensitiveLess>& keys,
                    Family family, const std::string& path) {
  auto found = keys.find(path);
  if (found == keys.end() || found->second.refusesDeletion) return;
  // Names sort around the backslash ("A.old" < "A\\B" < "Ax"), so the
  // subkeys are picked out by their prefix, not by their place.
  const std::string below = path + "\\";
  std::vector<std::string> subkeys;
  for (const auto& [name, key] : keys) {
    if (StartsWithText(name, below)) subkeys.push_back(name);
  }
  if (family == Family::Nt && !subkeys.empty()) return;
  for (const std::string& name : subkeys) keys.erase(name);
  keys.erase(found);
}

void CheckDeclinedRun(const Snapshot& before, const Snapshot& after,
                      const RunOutcome& outcome, Report& report) {
  const Machine& machine = simulated::TheMachine();
  report.Expect(outcome.exitCode == IDNO, "a No must end the run with 7");
  report.Expect(machine.messageBoxes.size() == 1,
                "a No must show only the question");
  report.Expect(!outcome.restartRequired, "a No must not ask for a restart");
  report.Expect(machine.pendingFileOperations.empty(),
                "a No must schedule nothing");
  report.Expect(after.directories == before.directories &&
                    after.files.size() == before.files.size(),
                "a No must leave the files as they were");
  for (const auto& [path, file] : before.files) {
    auto now = after.files.find(path);
    report.Expect(now != after.files.end() && now->second.bytes == file.bytes &&
                      now->second.readOnly == file.readOnly &&
                      SameHolder(now->second.heldByAnotherProcess,
                                 file.heldByAnotherProcess),
                  "a No changed file " + path);
  }
  report.Expect(after.keys.size() == before.keys.size(),
                "a No must leave the registry as it was");
  for (const auto& [path, key] : before.keys) {
    auto now = after.keys.find(path);
    report.Expect(now != after.keys.end() && SameKey(now->second, key),
                  "a No changed key " + path);
  }
  for (const Call& call : ParsedCalls(machine)) {
    for (const char* effect :
         {"DeleteFileA", "RegDeleteKeyA", "MoveFileExA", "CreateFileA",
          "RegOpenKeyExA", "WriteFile", "SetEndOfFile"}) {
      report.Expect(call.name != effect,
                    std::string("a No must not call ") + effect);
    }
  }
}

}  // namespace

Snapshot TakeSnapshot() {
  const Machine& machine = simulated::TheMachine();
  Snapshot snapshot;
  snapshot.files = machine.files;
  snapshot.directories = machine.directories;
  Flatten(machine.classesRoot, "HKCR", snapshot.keys);
  Flatten(machine.localMachine, "HKLM", snapshot.keys);
  return snapshot;
}

RunOutcome RunUninstall() {
  UninstallState = UninstallStateRecord{false, true};
  char commandLine[] = "";
  const int exitCode = WinMain(nullptr, nullptr, commandLine, SW_SHOWDEFAULT);
  return {exitCode, UninstallState.restartRequired};
}

std::vector<std::string> CheckRun(const Snapshot& before, int answer,
                                  const RunOutcome& outcome) {
  const Machine& machine = simulated::TheMachine();
  const Snapshot after = TakeSnapshot();
  Report report;
  report.Expect(machine.openFileHandles == 0, "a file handle was left open");
  report.Expect(machine.openKeyHandles == 0, "a key handle was left open");
  if (answer == IDNO) {
    CheckDeclinedRun(before, after, outcome, report);
    return report.problems_;
  }

  const std::set<std::size_t> injected(machine.injectedFailures.begin(),
                                       machine.injectedFailures.end());
  const bool faults = !injected.empty();
  const std::vector<Call> calls = ParsedCalls(machine);
  bool versionQueryFailed = false;
  for (const Call& call : calls) {
    if (call.name == "GetVersionExA" && injected.count(call.position)) {
      versionQueryFailed = true;
    }
  }
  const Family family = machine.family;
  const bool nt = family == Family::Nt;

  report.Expect(outcome.exitCode == 0, "the run must end with 0 after a Yes");

  // --- the phases' order ---------------------------------------------------
  std::vector<const Call*> fileDeletions, keyDeletions;
  for (const Call& call : calls) {
    if (call.name == "DeleteFileA") fileDeletions.push_back(&call);
    if (call.name == "RegDeleteKeyA") keyDeletions.push_back(&call);
  }
  report.Expect(!keyDeletions.empty(), "the registry phase never ran");
  const std::size_t firstKey =
      keyDeletions.empty() ? calls.size() : keyDeletions.front()->position;
  const std::size_t lastKey =
      keyDeletions.empty() ? calls.size() : keyDeletions.back()->position;
  std::vector<std::string> componentDeletions, appletDeletions;
  for (const Call* call : fileDeletions) {
    if (call->position < firstKey) {
      componentDeletions.push_back(call->argument);
    } else if (call->position > lastKey) {
      appletDeletions.push_back(call->argument);
    } else {
      report.ExpectOr(false, [&] {
        return "a file was deleted amid the keys: " + Printable(call->argument);
      });
    }
  }

  // --- which files it may delete -------------------------------------------
  const auto windows = UsableDirectory(machine.windowsDirectory);
  const auto system = UsableDirectory(machine.systemDirectory);
  std::vector<std::string> componentPaths;
  for (const char* name : kComponentFileNames) {
    if (auto path = FormedPath(windows, name)) componentPaths.push_back(*path);
  }
  const auto ntApplet = FormedPath(windows, kAppletFileName);
  const auto win95Applet = FormedPath(system, kAppletFileName);
  const auto expectedApplet = nt ? ntApplet : win95Applet;

  if (faults) {
    report.Expect(
        componentDeletions.empty() || componentDeletions == componentPaths,
        "the component files deleted are not the six in order");
  } else {
    report.Expect(componentDeletions == componentPaths,
                  "the component files deleted are not the six in order");
  }
  report.Expect(appletDeletions.size() <= 1,
                "the applet was deleted more than once");
  for (const std::string& path : appletDeletions) {
    const bool expected = expectedApplet && SameName(path, *expectedApplet);
    // A failed version question counts as the 95 family.
    const bool asWin95 =
        nt && versionQueryFailed && win95Applet && SameName(path, *win95Applet);
    report.ExpectOr(expected || asWin95, [&, p = path] {
      return "deleted a file that is not the applet: " + Printable(p);
    });
  }
  if (!faults) {
    report.Expect(appletDeletions.size() == (expectedApplet ? 1u : 0u),
                  "the applet was not deleted where the family keeps it");
  }

  // --- deferral and the restart --------------------------------------------
  std::vector<std::string> deferred;
  std::set<std::string, CaseInsensitiveLess> deleted;
  for (const Call* call : fileDeletions) {
    const DeleteResult result =
        injected.count(call->position)
            ? DeleteResult::Refused
            : ExpectedDeletion(before, family, call->argument);
    if (result == DeleteResult::Refused) deferred.push_back(call->argument);
    if (result == DeleteResult::Deleted) deleted.insert(call->argument);
  }
  report.Expect(outcome.restartRequired == !deferred.empty(),
                "a restart must be asked for exactly when a deletion "
                "failed other than for a missing file");
  const std::size_t boxes = deferred.empty() ? 1 : 2;
  report.Expect(machine.messageBoxes.size() == boxes,
                "the restart notice must be shown once exactly when needed");
  if (machine.messageBoxes.size() == 2) {
    report.Expect(machine.messageBoxes[1].caption == "Uninstall Oravne",
                  "the second box is not the restart notice");
  }

  const std::vector<std::string> moves = [&] {
    std::vector<std::string> out;
    for (const Call& call : calls) {
      if (call.name == "MoveFileExA") out.push_back(call.argument);
    }
    return out;
  }();
  for (const auto& operation : machine.pendingFileOperations) {
    report.Expect(!operation.newName && operation.flags == 4,
                  "a pending operation is not a deletion at restart");
  }
  if (!nt) {
    report.Expect(moves.empty(), "the 95 family was asked to MoveFileExA");
  } else if (!faults) {
    report.Expect(moves == deferred,
                  "NT must schedule exactly the deferred files, in order");
    report.Expect(machine.pendingFileOperations.size() == deferred.size(),
                  "NT scheduled other than the deferred files");
  } else {
    report.Expect(IsSubsequence(moves, deferred),
                  "NT scheduled a file that was not deferred");
  }

  // --- wininit.ini -----------------------------------------------------------
  const auto wininit = FormedPath(windows, "wininit.ini");
  const bool mayWriteWininit = wininit && !deferred.empty() &&
                               (!nt || versionQueryFailed) &&
                               WininitOpens(before, *wininit);
  if (wininit) {
    auto old = before.files.find(*wininit);
    auto now = after.files.find(*wininit);
    const bool existed = old != before.files.end();
    const std::string oldBytes = existed ? old->second.bytes : "";
    if (!mayWriteWininit) {
      report.Expect((now != after.files.end()) == existed &&
                        (!existed || now->second.bytes == oldBytes),
                    "wininit.ini changed though nothing went through it");
    } else if (now == after.files.end()) {
      // Only a failed open or a failed directory question keeps it from
      // being created.
      report.Expect(!existed && faults, "wininit.ini vanished");
    } else {
      std::string kept = oldBytes;
      if (!kept.empty() && kept.back() == kEndOfFileMark) kept.pop_back();
      const std::string& bytes = now->second.bytes;
      if (!faults) {
        std::string expected = kept + "\r\n[rename]\r\n";
        for (const std::string& path : deferred) {
          expected += "NUL=" + WithCrLf(path) + "\r\n";
        }
        report.ExpectOr(bytes == expected, [&] {
          return "wininit.ini is not its old content and this run's "
                 "entries: " +
                 Printable(bytes.size() > 120 ? bytes.substr(bytes.size() - 120)
                                              : bytes);
        });
      } else {
        const auto pieces = EntryPieces(deferred);
        bool fine = false;
        for (const std::string& prefix : {kept, oldBytes}) {
          if (bytes.compare(0, prefix.size(), prefix) == 0 &&
              IsMadeOfPiecesInOrder(bytes.substr(prefix.size()), pieces)) {
            fine = true;
          }
        }
        report.ExpectOr(fine, [&] {
          return "wininit.ini lost some of its old content or gained "
                 "other than this run's entries: " +
                 Printable(bytes, 200);
        });
      }
    }
  }

  // --- every file but its own stays as it was --------------------------------
  report.Expect(after.directories == before.directories,
                "the directories changed");
  for (const auto& [path, file] : before.files) {
    auto now = after.files.find(path);
    if (deleted.count(path)) {
      report.ExpectOr(now == after.files.end(), [&, p = path] {
        return "a deletable file stayed: " + Printable(p);
      });
      continue;
    }
    const bool isWininit = wininit && SameName(path, *wininit);
    report.ExpectOr(now != after.files.end() &&
                        (isWininit || now->second.bytes == file.bytes) &&
                        now->second.readOnly == file.readOnly &&
                        SameHolder(now->second.heldByAnotherProcess,
                                   file.heldByAnotherProcess),
                    [&, p = path] {
                      return "a file changed or vanished: " + Printable(p);
                    });
  }
  for (const auto& [path, file] : after.files) {
    if (before.files.count(path)) continue;
    report.ExpectOr(mayWriteWininit && SameName(path, *wininit), [&, p = path] {
      return "a file appeared: " + Printable(p);
    });
  }

  // --- keys ------------------------------------------------------------------
  std::vector<std::string> handlerKeys;
  for (const char* extension : kExtensions) {
    if (auto key = HandlerKeyFor(before, extension)) {
      handlerKeys.push_back(*key);
    }
  }
  std::vector<std::string> allowedKeyDeletions;
  for (unsigned i = 0; i < kFixedKeyCount; ++i) {
    const bool classSubkey = i < 6;
    if (classSubkey && !nt) continue;
    allowedKeyDeletions.push_back(kFixedKeys[i]);
    if (i == 8) {
      allowedKeyDeletions.insert(allowedKeyDeletions.end(), handlerKeys.begin(),
                                 handlerKeys.end());
    }
  }
  std::vector<std::string> keyArguments;
  for (const Call* call : keyDeletions) keyArguments.push_back(call->argument);
  if (faults) {
    report.Expect(IsSubsequence(keyArguments, allowedKeyDeletions),
                  "a key deletion out of turn or outside the set");
  } else {
    report.Expect(keyArguments == allowedKeyDeletions,
                  "the keys deleted are not the set, in order");
  }

  auto expectedKeys = before.keys;
  for (const Call* call : keyDeletions) {
    if (!injected.count(call->position)) {
      DeleteKeyModel(expectedKeys, family, call->argument);
    }
  }
  for (const auto& [path, key] : before.keys) {
    const bool stays = expectedKeys.count(path) != 0;
    auto now = after.keys.find(path);
    if (!stays) {
      report.ExpectOr(now == after.keys.end(), [&, p = path] {
        return "a key that should have gone stayed: " + Printable(p);
      });
    } else {
      report.ExpectOr(now != after.keys.end() && SameKey(now->second, key),
                      [&, p = path] {
                        return "a key changed or vanished: " + Printable(p);
                      });
    }
    if (now != after.keys.end()) continue;
    // Whatever went must be one of its own names, or on the 95 family lie
    // below one; below a file type only its own handler.
    bool own = EndsWithText(path, kHandlerSuffix);
    for (unsigned i = 0; i < kFixedKeyCount; ++i) {
      own = own || SameName(path, kFixedKeys[i]);
    }
    for (const std::string& name : allowedKeyDeletions) {
      own = own || (!nt && StartsWithText(path, name + "\\"));
    }
    report.ExpectOr(own, [&, p = path] {
      return "deleted a key not its own: " + Printable(p);
    });
  }
  for (const auto& [path, key] : after.keys) {
    report.ExpectOr(before.keys.count(path) != 0, [&, p = path] {
      return "a key appeared: " + Printable(p);
    });
  }
  return report.problems_;
}

}  // namespace runchecks
