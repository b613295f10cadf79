// Whatever state the machine is in, the run removes its own and nothing
// else: random machines around the component set, on both families, with
// any answer, with calls failing one by one and in random combinations.
//
// Every machine comes from std::mt19937 seeded with ORV_PROPERTY_SEED (a
// fixed default) plus the machine's number; a failure names both, so
// ORV_PROPERTY_SEED=<seed> replays it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <map>
#include <random>

#include "machine_generator.h"
#include "run_checks.h"

namespace {

using simulated::Family;

class RandomChoices : public machines::Choices {
 public:
  explicit RandomChoices(std::uint32_t seed) : random_(seed) {}
  unsigned Below(unsigned count) override {
    return std::uniform_int_distribution<unsigned>(0, count - 1)(random_);
  }
  std::string Bytes(std::size_t length) override {
    std::string bytes(length, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random_() & 0xFF);
    return bytes;
  }

 private:
  std::mt19937 random_;
};

std::uint32_t BaseSeed() {
  const char* text = std::getenv("ORV_PROPERTY_SEED");
  return text ? static_cast<std::uint32_t>(std::strtoul(text, nullptr, 0))
              : 20261211u;
}

std::string Trace(std::uint32_t seed, unsigned machine) {
  return "ORV_PROPERTY_SEED=" + std::to_string(seed) + " machine " +
         std::to_string(machine) + " (generator seed " +
         std::to_string(seed + machine) + ")";
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += "\n  " + line;
  return text;
}

// What a property saw, and the runs that broke a rule: all of them are run
// and counted, and the first few are shown with their seeds.
struct Figures {
  unsigned machines = 0;
  unsigned declined = 0;
  unsigned deferred = 0;
  unsigned faultsInjected = 0;
  unsigned nt = 0;
  unsigned broken = 0;
  std::string firstBroken;

  void Judge(const std::string& trace,
             const std::vector<std::string>& problems) {
    if (problems.empty()) return;
    if (++broken <= 3) firstBroken += "\n" + trace + Joined(problems);
  }
};

// Builds machine number `machine`, lets `prepare` adjust it, runs, checks.
// Returns the problems found; counts what it saw.
template <typename Prepare>
std::vector<std::string> RunOne(std::uint32_t seed, unsigned machine,
                                Figures& figures, Prepare prepare) {
  RandomChoices choices(seed + machine);
  int answer = machines::BuildMachine(choices);
  prepare(choices, answer);
  simulated::TheMachine().messageBoxAnswers = {answer};
  const runchecks::Snapshot before = runchecks::TakeSnapshot();
  const runchecks::RunOutcome outcome = runchecks::RunUninstall();
  ++figures.machines;
  figures.declined += answer == IDNO;
  figures.deferred += outcome.restartRequired;
  figures.nt += simulated::TheMachine().family == Family::Nt;
  figures.faultsInjected +=
      static_cast<unsigned>(simulated::TheMachine().injectedFailures.size());
  return runchecks::CheckRun(before, answer, outcome);
}

// Runs machine number `machine` as RunOne does and judges it; `situation`
// adds what was done to the machine to the replay line.
template <typename Prepare>
void CheckOne(std::uint32_t seed, unsigned machine, Figures& figures,
              const std::string& situation, Prepare prepare) {
  figures.Judge(Trace(seed, machine) + situation,
                RunOne(seed, machine, figures, prepare));
}

void Print(const char* what, const Figures& figures) {
  std::cout << "[ figures  ] " << what << ": " << figures.machines
            << " runs checked (" << figures.nt << " NT, "
            << figures.machines - figures.nt << " 95 family; "
            << figures.declined << " declined; " << figures.deferred
            << " asked for a restart), " << figures.faultsInjected
            << " faults injected; " << figures.broken << " broke a rule\n";
  EXPECT_EQ(figures.broken, 0u) << figures.firstBroken;
}

const auto kAsBuilt = [](machines::Choices&, int&) {};

TEST(UninstallProperties, RemovesItsOwnAndNothingElseOnAnyMachine) {
  const std::uint32_t seed = BaseSeed();
  Figures figures;
  for (unsigned machine = 0; machine < 2500; ++machine) {
    CheckOne(seed, machine, figures, "", kAsBuilt);
  }
  Print("any machine, any answer", figures);
}

TEST(UninstallProperties, DecliningChangesNothingAtAll) {
  const std::uint32_t seed = BaseSeed() + 1000000;
  Figures figures;
  for (unsigned machine = 0; machine < 500; ++machine) {
    CheckOne(seed, machine, figures, "",
             [](machines::Choices&, int& answer) { answer = IDNO; });
  }
  Print("declined", figures);
}

// wininit.ini keeps every byte it held but a single trailing end-of-file
// mark, and gains exactly this run's entries: sizes from empty to several
// KiB, with and without the mark and an earlier [rename] section.
TEST(UninstallProperties, WininitKeepsItsContentAndGainsOnlyThisRunsEntries) {
  const std::uint32_t seed = BaseSeed() + 2000000;
  Figures figures;
  unsigned machine = 0;
  for (std::size_t size : {0u, 1u, 2u, 100u, 1023u, 4096u, 8191u}) {
    for (bool mark : {false, true}) {
      for (bool section : {false, true}) {
        for (unsigned repeat = 0; repeat < 12; ++repeat, ++machine) {
          CheckOne(
              seed, machine, figures, "",
              [&](machines::Choices& choices, int& answer) {
                simulated::Machine& m = simulated::TheMachine();
                m.family = Family::Windows95;
                m.windowsDirectory = "C:\\WINDOWS";
                m.systemDirectory = "C:\\WINDOWS\\SYSTEM";
                simulated::AddDirectory("C:\\WINDOWS");
                simulated::AddDirectory("C:\\WINDOWS\\SYSTEM");
                machines::ShapeWininit(choices, {true, size, mark, section});
                // Something held, so that something is deferred.
                m.files["C:\\WINDOWS\\orvka.dll"].heldByAnotherProcess =
                    simulated::OtherHolder{};
                answer = IDYES;
              });
        }
      }
    }
  }
  Print("wininit.ini", figures);
}

// Every call that can fail, failed alone at its place in the run: the call
// log of an untouched run gives the places.
TEST(UninstallProperties, SurvivesEachCallFailingInTurn) {
  const std::uint32_t seed = BaseSeed() + 3000000;
  Figures figures;
  for (unsigned machine = 0; machine < 60; ++machine) {
    Figures clean;
    RunOne(seed, machine, clean,
           [](machines::Choices&, int& answer) { answer = IDYES; });
    const std::vector<std::string> calls = simulated::TheMachine().calls;
    const auto& fallible = machines::kFallibleCalls;
    for (std::size_t position = 0; position < calls.size(); ++position) {
      const std::string name =
          calls[position].substr(0, calls[position].find(' '));
      if (std::find(fallible.begin(), fallible.end(), name) == fallible.end()) {
        continue;
      }
      CheckOne(seed, machine, figures,
               ", failing call " + std::to_string(position) + " " + name,
               [&](machines::Choices&, int& answer) {
                 simulated::TheMachine().failingCallPositions = {position};
                 answer = IDYES;
               });
    }
  }
  Print("each call failing in turn", figures);
}

// Each fallible call failing every time it is made, on both families.
TEST(UninstallProperties, SurvivesEveryCallOfOneNameFailing) {
  const std::uint32_t seed = BaseSeed() + 4000000;
  Figures figures;
  unsigned machine = 0;
  for (const std::string& name : machines::kFallibleCalls) {
    for (unsigned repeat = 0; repeat < 20; ++repeat, ++machine) {
      CheckOne(seed, machine, figures, ", every " + name + " failing",
               [&](machines::Choices&, int& answer) {
                 simulated::TheMachine().failingCalls = {{name, 0}};
                 answer = repeat % 2 ? IDYES : 0;
               });
    }
  }
  Print("every call of one name failing", figures);
}

TEST(UninstallProperties, SurvivesRandomCombinationsOfFailures) {
  const std::uint32_t seed = BaseSeed() + 5000000;
  Figures figures;
  for (unsigned machine = 0; machine < 2500; ++machine) {
    CheckOne(seed, machine, figures, "",
             [](machines::Choices& choices, int& answer) {
               machines::ChooseFaults(choices, 120);
               if (answer == IDNO) answer = IDYES;
             });
  }
  Print("random combinations of failures", figures);
}

}  // namespace

// The smallest machines on which seeking in wininit.ini fails: whatever the
// seeks answer, the entries go after the old content, never over it.
TEST(UninstallProperties, WininitKeepsItsContentWhenSeekingFails) {
  struct Case {
    const char* name;
    std::map<std::string, int> failingCalls;
  };
  const Case cases[] = {
      {"every seek fails", {{"SetFilePointer", 0}}},
      {"the size and every seek fail",
       {{"GetFileSize", 0}, {"SetFilePointer", 0}}},
      {"the first seek fails", {{"SetFilePointer", 1}}},
  };
  for (const Case& c : cases) {
    for (const std::string old : {"[boot]\r\nshell=x\r\n", "[boot]\x1A"}) {
      SCOPED_TRACE(std::string(c.name) + ", wininit.ini " +
                   std::to_string(old.size()) + " bytes");
      simulated::Reset();
      simulated::Machine& m = simulated::TheMachine();
      m.family = Family::Windows95;
      simulated::AddFile("C:\\WINDOWS\\wininit.ini", old);
      simulated::AddFile("C:\\WINDOWS\\orvka.dll", "MZ");
      m.files["C:\\WINDOWS\\orvka.dll"].heldByAnotherProcess =
          simulated::OtherHolder{};
      m.failingCalls = c.failingCalls;
      m.messageBoxAnswers = {IDYES};
      const runchecks::Snapshot before = runchecks::TakeSnapshot();
      const auto problems =
          runchecks::CheckRun(before, IDYES, runchecks::RunUninstall());
      EXPECT_TRUE(problems.empty()) << Joined(problems);
    }
  }
}

// The checks themselves must see a run that overstepped: each tampering
// below, done to the machine after an honest run, is a rule broken.
TEST(UninstallProperties, ChecksCatchEveryKindOfOverstep) {
  using simulated::TheMachine;
  struct Tampering {
    const char* name;
    void (*apply)(runchecks::RunOutcome&);
  };
  const Tampering tamperings[] = {
      {"deletes a file in another directory",
       [](runchecks::RunOutcome&) {
         TheMachine().files.erase("C:\\OTHER\\ORVKA.DLL");
       }},
      {"deletes a near name",
       [](runchecks::RunOutcome&) {
         TheMachine().files.erase("C:\\WINDOWS\\orvka.dll.bak");
       }},
      {"changes a byte of wininit.ini's old content",
       [](runchecks::RunOutcome&) {
         TheMachine().files["C:\\WINDOWS\\wininit.ini"].bytes[0] ^= 1;
       }},
      {"adds an entry of its own to wininit.ini",
       [](runchecks::RunOutcome&) {
         TheMachine().files["C:\\WINDOWS\\wininit.ini"].bytes +=
             "NUL=C:\\WINDOWS\\OTHER.DLL\r\n";
       }},
      {"deletes its clsid under another handler type",
       [](runchecks::RunOutcome&) {
         TheMachine()
             .classesRoot.subkeys["exefile"]
             .subkeys["shellex"]
             .subkeys.erase("PropertySheetHandlers");
       }},
      {"deletes a neighbouring uninstall entry",
       [](runchecks::RunOutcome&) {
         simulated::RegistryKey* key = &TheMachine().localMachine;
         for (const char* part : {"Software", "Microsoft", "Windows",
                                  "CurrentVersion", "Uninstall"}) {
           key = &key->subkeys[part];
         }
         key->subkeys.erase("Orvane2");
       }},
      {"changes a value of a key it keeps",
       [](runchecks::RunOutcome&) {
         TheMachine().classesRoot.subkeys[".exe"].defaultValue->bytes = "x";
       }},
      {"forgets the restart",
       [](runchecks::RunOutcome& outcome) { outcome.restartRequired = false; }},
      {"leaves a key handle open",
       [](runchecks::RunOutcome&) { ++TheMachine().openKeyHandles; }},
  };
  for (const Tampering& tampering : tamperings) {
    SCOPED_TRACE(tampering.name);
    simulated::Reset();
    simulated::Machine& m = TheMachine();
    m.family = Family::Windows95;
    for (const char* path :
         {"C:\\OTHER\\ORVKA.DLL", "C:\\WINDOWS\\orvka.dll.bak",
          "C:\\WINDOWS\\orvka.dll", "C:\\WINDOWS\\wininit.ini"}) {
      simulated::AddFile(path, "[boot]\r\n");
    }
    simulated::AddDirectory("C:\\OTHER");
    m.files["C:\\WINDOWS\\orvka.dll"].heldByAnotherProcess =
        simulated::OtherHolder{};
    simulated::SetDefaultValue(HKEY_CLASSES_ROOT, ".exe", REG_SZ,
                               std::string("exefile", 8));
    simulated::AddKey(HKEY_CLASSES_ROOT,
                      std::string("exefile\\shellex\\PropertySheetHandlers\\") +
                          runchecks::kClsid);
    simulated::AddKey(HKEY_LOCAL_MACHINE,
                      "Software\\Microsoft\\Windows\\CurrentVersion\\"
                      "Uninstall\\Orvane2");
    m.messageBoxAnswers = {IDYES};
    const runchecks::Snapshot before = runchecks::TakeSnapshot();
    runchecks::RunOutcome outcome = runchecks::RunUninstall();
    ASSERT_TRUE(runchecks::CheckRun(before, IDYES, outcome).empty());
    tampering.apply(outcome);
    EXPECT_FALSE(runchecks::CheckRun(before, IDYES, outcome).empty());
  }
}
