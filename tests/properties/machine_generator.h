// Builds simulated machines in arbitrary states around the component set:
// its files present, absent, in use, read-only or directories; its keys
// present or not; the file types' default values any bytes; and around them
// files and keys with names close to its own that no run may touch. The
// choices come from a seeded generator in the property tests and from the
// input in the fuzzer.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace machines {

class Choices {
 public:
  virtual ~Choices() = default;
  // A number from 0 to count - 1; count is at least 1.
  virtual unsigned Below(unsigned count) = 0;
  // Up to `length` bytes, any values.
  virtual std::string Bytes(std::size_t length) = 0;

  bool OneIn(unsigned n) { return Below(n) == 0; }
};

// The calls the simulated Windows can make fail.
extern const std::vector<std::string> kFallibleCalls;

struct WininitShape {
  bool present = true;
  std::size_t size = 0;
  bool endOfFileMark = false;
  bool renameSection = false;
};

// Resets the simulated machine and fills it from `choices`; returns the
// answer scripted for the confirmation box (IDYES, IDNO or 0).
int BuildMachine(Choices& choices);

// Replaces wininit.ini, when the Windows directory has a value, with one of
// the given shape: random bytes, perhaps a [rename] section inside, perhaps
// a trailing end-of-file mark.
void ShapeWininit(Choices& choices, const WininitShape& shape);

// Makes calls fail: some by name (a few of their calls or all of them), some
// by position in a run of about `callsInRun` calls. Returns how many rules
// of failure it set.
unsigned ChooseFaults(Choices& choices, std::size_t callsInRun);

}  // namespace machines
