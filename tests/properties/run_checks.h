// What any run of the uninstaller must keep to, whatever the machine held and
// whichever calls failed, checked after the fact from the machine's state
// before the run, its state after and the call log. Shared by the property
// tests and the fuzzer, so both hold the program to the same rules.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/simulated/simulated_windows.h"

namespace runchecks {

using simulated::CaseInsensitiveLess;

struct KeyRecord {
  std::optional<simulated::RegistryValue> defaultValue;
  std::map<std::string, simulated::RegistryValue, CaseInsensitiveLess>
      namedValues;
  bool refusesFullAccess = false;
  bool refusesDeletion = false;
};

// Everything on the machine a run could change, as full copies.
struct Snapshot {
  std::map<std::string, simulated::File, CaseInsensitiveLess> files;
  std::set<std::string, CaseInsensitiveLess> directories;
  // Every key as "HKCR\path" or "HKLM\path".
  std::map<std::string, KeyRecord, CaseInsensitiveLess> keys;
};

Snapshot TakeSnapshot();

struct RunOutcome {
  int exitCode;
  bool restartRequired;
};

// Runs WinMain on the simulated machine as a new process would.
RunOutcome RunUninstall();

// Checks the run that just ended against every rule; `answer` is what the
// confirmation box answered. One line of text per rule broken; none when the
// run kept to all of them.
std::vector<std::string> CheckRun(const Snapshot& before, int answer,
                                  const RunOutcome& outcome);

// The component set's fixed names, for building machines around them.
extern const char kClsid[];
extern const char* const kComponentFileNames[6];
extern const char kAppletFileName[];
extern const char* const kFixedKeys[];  // as "HKCR\..." / "HKLM\..."
extern const unsigned kFixedKeyCount;

}  // namespace runchecks
