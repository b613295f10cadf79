// The registry cleanup: which keys go, in which order, and what stays.
#include "registry_cleanup/registry_cleanup.h"

#include "file_removal/uninstall_state.h"
#include "simulated_machine_fixture.h"

using simulated::Family;

namespace {

const std::string kHandler =
    std::string("\\shellex\\ContextMenuHandlers\\") + kClsid;

class RegistryCleanupTest : public SimulatedMachineTest {
 protected:
  void InstallDecoys() {
    simulated::AddKey(
        HKEY_CLASSES_ROOT,
        "CLSID\\{00000000-1111-2222-3333-444444444444}\\InprocServer32");
    simulated::AddKey(HKEY_CLASSES_ROOT,
                      "exefile\\shellex\\ContextMenuHandlers\\OtherHandler");
    simulated::AddKey(HKEY_CLASSES_ROOT, "exefile\\shell\\open\\command");
    simulated::AddKey(HKEY_CLASSES_ROOT,
                      "Directory\\shellex\\CopyHookHandlers\\Other");
    simulated::AddKey(
        HKEY_LOCAL_MACHINE,
        "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OrvaneTools");
  }

  void RunCleanup() {
    UninstallState = UninstallStateRecord{false, true};
    CleanRegistry();
  }
};

TEST_F(RegistryCleanupTest, DeletesEveryKeyInOrderAndNothingElse) {
  struct Case {
    Family family;
    std::size_t firstDeletion;  // the 95 family skips the class's subkeys
  };
  for (const Case& c : {Case{Family::Nt, 0}, Case{Family::Windows95, 6}}) {
    SCOPED_TRACE(c.family == Family::Nt ? "NT" : "95 family");
    simulated::Reset();
    UseFamily(c.family);
    InstallDecoys();
    const auto decoys = simulated::AllKeys(HKEY_CLASSES_ROOT);
    const auto machineDecoys = simulated::AllKeys(HKEY_LOCAL_MACHINE);
    InstallComponentKeys();

    RunCleanup();

    const auto keys = ComponentKeys();
    EXPECT_EQ(
        simulated::CallsNamed("RegDeleteKeyA"),
        std::vector<std::string>(keys.begin() + c.firstDeletion, keys.end()));
    for (const std::string& key : keys) {
      const HKEY root = key[2] == 'L' ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT;
      EXPECT_FALSE(simulated::KeyExists(root, key.substr(5))) << key;
    }
    // Left: the decoys, the extension keys and the file types' own parents.
    std::vector<std::string> expectedLeft = decoys;
    for (const char* kept : {"HKCR\\.dll", "HKCR\\.exe", "HKCR\\.ocx",
                             "HKCR\\dllfile", "HKCR\\dllfile\\shellex",
                             "HKCR\\dllfile\\shellex\\ContextMenuHandlers",
                             "HKCR\\ocxfile", "HKCR\\ocxfile\\shellex",
                             "HKCR\\ocxfile\\shellex\\ContextMenuHandlers"}) {
      expectedLeft.push_back(kept);
    }
    std::sort(expectedLeft.begin(), expectedLeft.end(),
              simulated::CaseInsensitiveLess());
    auto left = simulated::AllKeys(HKEY_CLASSES_ROOT);
    std::sort(left.begin(), left.end(), simulated::CaseInsensitiveLess());
    EXPECT_EQ(left, expectedLeft);
    auto machineLeft = simulated::AllKeys(HKEY_LOCAL_MACHINE);
    for (const std::string& decoy : machineDecoys) {
      EXPECT_NE(std::find(machineLeft.begin(), machineLeft.end(), decoy),
                machineLeft.end())
          << decoy;
    }
    EXPECT_EQ(machine().openKeyHandles, 0);
    EXPECT_FALSE(UninstallState.restartRequired);
  }
}

TEST_F(RegistryCleanupTest, ForeignSubkeyOfTheClassKeepsItOnNtOnly) {
  struct Case {
    Family family;
    bool classKeyStays;
  };
  for (const Case& c :
       {Case{Family::Nt, true}, Case{Family::Windows95, false}}) {
    simulated::Reset();
    UseFamily(c.family);
    InstallComponentKeys();
    simulated::AddKey(HKEY_CLASSES_ROOT, std::string(kClassKey) + "\\Foreign");

    RunCleanup();

    EXPECT_EQ(simulated::KeyExists(HKEY_CLASSES_ROOT, kClassKey),
              c.classKeyStays);
    EXPECT_EQ(simulated::KeyExists(HKEY_CLASSES_ROOT,
                                   std::string(kClassKey) + "\\Foreign"),
              c.classKeyStays);
    for (const char* subkey :
         {"\\InprocServer32", "\\DefaultIcon", "\\ShellFolder", "\\shellex"}) {
      EXPECT_FALSE(simulated::KeyExists(HKEY_CLASSES_ROOT,
                                        std::string(kClassKey) + subkey));
    }
  }
}

// What the extension's default value holds decides which file type's
// handler goes; whatever it holds, nothing past the bytes read is used.
struct DefaultValueCase {
  const char* name;
  std::optional<simulated::RegistryValue> value;  // nullopt: no default value
  std::optional<std::string> deletedPath;         // nullopt: nothing deleted
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const DefaultValueCase& c, std::ostream* out) { *out << c.name; }

class DefaultValueTest
    : public RegistryCleanupTest,
      public ::testing::WithParamInterface<DefaultValueCase> {};

TEST_P(DefaultValueTest, NamesTheFileTypeWhoseHandlerGoes) {
  const DefaultValueCase& c = GetParam();
  simulated::AddKey(HKEY_CLASSES_ROOT, ".exe").defaultValue = c.value;

  RunCleanup();

  std::vector<std::string> typeDeletions;
  for (const std::string& path : simulated::CallsNamed("RegDeleteKeyA")) {
    if (path.find("ContextMenuHandlers\\" + std::string(kClsid)) !=
            std::string::npos &&
        path.find(kClassKey) == std::string::npos) {
      typeDeletions.push_back(path);
    }
  }
  std::vector<std::string> expected;
  if (c.deletedPath) expected.push_back("HKCR\\" + *c.deletedPath);
  EXPECT_EQ(typeDeletions, expected);
  EXPECT_EQ(machine().openKeyHandles, 0);
  EXPECT_EQ(simulated::CallsNamed("RegCloseKey").size(), 1u);
}

simulated::RegistryValue Value(DWORD type, const std::string& bytes) {
  return simulated::RegistryValue{type, bytes};
}

INSTANTIATE_TEST_SUITE_P(
    Values, DefaultValueTest,
    ::testing::Values(
        DefaultValueCase{"Absent", std::nullopt, std::nullopt},
        DefaultValueCase{"Text", Value(REG_SZ, std::string("exefile", 8)),
                         "exefile" + kHandler},
        DefaultValueCase{"EmptyText", Value(REG_SZ, std::string("", 1)),
                         kHandler},
        DefaultValueCase{"NoBytesAtAll", Value(REG_SZ, ""), kHandler},
        DefaultValueCase{"OtherTypeIsNotExamined",
                         Value(REG_BINARY, std::string("binfile", 8)),
                         "binfile" + kHandler},
        DefaultValueCase{"NoTerminatingNul", Value(REG_SZ, "exefile"),
                         "exefile" + kHandler},
        DefaultValueCase{"TextEndsAtFirstNul",
                         Value(REG_SZ, std::string("exefile\0junk", 12)),
                         "exefile" + kHandler},
        DefaultValueCase{"LargerThanTheBuffer",
                         Value(REG_SZ, std::string(300, 'x')), std::nullopt},
        DefaultValueCase{"FillsTheBufferWithoutNul",
                         Value(REG_SZ, std::string(260, 'x')), std::nullopt},
        DefaultValueCase{"LongestNameThatFits",
                         Value(REG_SZ, std::string(192, 'x') + '\0'),
                         std::string(192, 'x') + kHandler},
        DefaultValueCase{"NameOneTooLongForTheKeyPath",
                         Value(REG_SZ, std::string(193, 'x') + '\0'),
                         std::nullopt},
        DefaultValueCase{"FillsTheBufferWithNul",
                         Value(REG_SZ, std::string(259, 'x') + '\0'),
                         std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RegistryCleanupTest, ExtensionsThatCannotBeReadAreSkipped) {
  struct Case {
    const char* name;
    void (*arrange)();
    std::vector<std::string> typesCleaned;
  };
  const Case cases[] = {
      {"no .ocx key",
       [] { simulated::TheMachine().classesRoot.subkeys.erase(".ocx"); },
       {"exefile", "dllfile"}},
      {".dll refuses full access",
       [] {
         simulated::AddKey(HKEY_CLASSES_ROOT, ".dll").refusesFullAccess = true;
       },
       {"exefile", "ocxfile"}},
      {".exe without default value",
       [] {
         simulated::AddKey(HKEY_CLASSES_ROOT, ".exe").defaultValue.reset();
       },
       {"dllfile", "ocxfile"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    simulated::Reset();
    InstallComponentKeys();
    c.arrange();

    RunCleanup();

    for (const char* type : {"exefile", "dllfile", "ocxfile"}) {
      const bool cleaned =
          std::find(c.typesCleaned.begin(), c.typesCleaned.end(), type) !=
          c.typesCleaned.end();
      EXPECT_EQ(simulated::KeyExists(HKEY_CLASSES_ROOT, type + kHandler),
                !cleaned)
          << type;
    }
    EXPECT_EQ(simulated::CallsNamed("RegDeleteKeyA").back(),
              "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\O"
              "rvane");
    EXPECT_FALSE(simulated::KeyExists(
        HKEY_LOCAL_MACHINE,
        "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvane"));
    EXPECT_EQ(machine().openKeyHandles, 0);
  }
}

// A key that cannot be deleted stays, and the rest go on regardless.
TEST_F(RegistryCleanupTest, KeyRefusingDeletionDoesNotStopTheRest) {
  InstallComponentKeys();
  simulated::AddKey(HKEY_CLASSES_ROOT,
                    "Directory\\shellex\\CopyHookHandlers\\OrvHook")
      .refusesDeletion = true;
  RunCleanup();
  EXPECT_TRUE(simulated::KeyExists(
      HKEY_CLASSES_ROOT, "Directory\\shellex\\CopyHookHandlers\\OrvHook"));
  EXPECT_FALSE(simulated::KeyExists(HKEY_CLASSES_ROOT, "exefile" + kHandler));
  EXPECT_EQ(simulated::CallsNamed("RegDeleteKeyA").size(),
            ComponentKeys().size());
}

}  // namespace
