// Fuzzes the whole run: the input builds the machine (family, directory
// texts, which files exist and how they are held, wininit.ini, the file
// types' default values of any type and length, the answer, which calls
// fail), WinMain runs on it, and every rule of tests/properties/run_checks.h
// is checked; a broken rule aborts so that libFuzzer keeps the input.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>

#include "machine_generator.h"
#include "run_checks.h"

namespace {

class InputChoices : public machines::Choices {
 public:
  explicit InputChoices(FuzzedDataProvider& input) : input_(input) {}
  unsigned Below(unsigned count) override {
    return count <= 1 ? 0 : input_.ConsumeIntegralInRange(0u, count - 1);
  }
  std::string Bytes(std::size_t length) override {
    return input_.ConsumeBytesAsString(length);
  }

 private:
  FuzzedDataProvider& input_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  FuzzedDataProvider input(data, size);
  InputChoices choices(input);
  const bool withFaults = choices.OneIn(2);
  const int answer = machines::BuildMachine(choices);
  if (withFaults) machines::ChooseFaults(choices, 120);

  const runchecks::Snapshot before = runchecks::TakeSnapshot();
  const runchecks::RunOutcome outcome = runchecks::RunUninstall();
  const auto problems = runchecks::CheckRun(before, answer, outcome);
  if (problems.empty()) return 0;
  for (const std::string& problem : problems) {
    std::fprintf(stderr, "rule broken: %s\n", problem.c_str());
  }
  std::abort();
}
