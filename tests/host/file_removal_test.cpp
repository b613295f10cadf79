// Which files go now, which wait for the next start, and where they are
// looked for.
#include "file_removal/file_removal.h"

#include "file_removal/uninstall_state.h"
#include "simulated_machine_fixture.h"

using simulated::Family;

namespace {

class FileRemovalTest : public SimulatedMachineTest {
 protected:
  void RunRemovalPhases() {
    UninstallState = UninstallStateRecord{false, true};
    RemoveComponentFiles();
    RemoveControlPanelApplet();
  }
};

enum class Outcome { Deleted, Deferred, LeftAbsent };

struct FileStateCase {
  const char* name;
  void (*arrange)(const std::string& path);
  Outcome outcome;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const FileStateCase& c, std::ostream* out) { *out << c.name; }

class FileStateTest : public FileRemovalTest,
                      public ::testing::WithParamInterface<FileStateCase> {};

// One library in each state, the others plain files; on NT.
TEST_P(FileStateTest, DeletedNowOrDeferredByReason) {
  const FileStateCase& c = GetParam();
  InstallComponentFiles();
  const std::string library = WindowsPath("orvdun.dll");
  c.arrange(library);

  RunRemovalPhases();

  std::vector<std::string> expectedPending;
  if (c.outcome == Outcome::Deferred) expectedPending.push_back(library);
  std::vector<std::string> pending;
  for (const auto& operation : machine().pendingFileOperations) {
    pending.push_back(operation.path);
    EXPECT_FALSE(operation.newName.has_value());
    EXPECT_EQ(operation.flags, 4u);  // delay until reboot
  }
  EXPECT_EQ(pending, expectedPending);
  EXPECT_EQ(UninstallState.restartRequired, c.outcome == Outcome::Deferred);
  for (const std::string& path : ComponentPaths()) {
    if (path != library) EXPECT_FALSE(simulated::FileExists(path)) << path;
  }
}

INSTANTIATE_TEST_SUITE_P(
    States, FileStateTest,
    ::testing::Values(
        FileStateCase{"Present", [](const std::string&) {}, Outcome::Deleted},
        FileStateCase{"Absent",
                      [](const std::string& path) {
                        simulated::TheMachine().files.erase(path);
                      },
                      Outcome::LeftAbsent},
        FileStateCase{
            "InUse",
            [](const std::string& path) {
              simulated::TheMachine().files[path].heldByAnotherProcess =
                  simulated::OtherHolder{};
            },
            Outcome::Deferred},
        FileStateCase{
            "InUseSharingDeletion",
            [](const std::string& path) {
              simulated::TheMachine().files[path].heldByAnotherProcess =
                  simulated::OtherHolder{GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_DELETE};
            },
            Outcome::Deleted},
        FileStateCase{"ReadOnly",
                      [](const std::string& path) {
                        simulated::TheMachine().files[path].readOnly = true;
                      },
                      Outcome::Deferred},
        FileStateCase{"DirectoryOfThatName",
                      [](const std::string& path) {
                        simulated::TheMachine().files.erase(path);
                        simulated::AddDirectory(path);
                      },
                      Outcome::Deferred}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FileRemovalTest,
       ComponentFilesAreDeletedInOrderFromTheWindowsDirectory) {
  InstallComponentFiles();
  RunRemovalPhases();
  std::vector<std::string> expected = ComponentPaths();
  expected.push_back(WindowsPath("orvpanel.cpl"));
  EXPECT_EQ(simulated::CallsNamed("DeleteFileA"), expected);
  EXPECT_TRUE(machine().files.empty());
}

TEST_F(FileRemovalTest, NothingInstalledDefersNothing) {
  for (Family family : {Family::Nt, Family::Windows95}) {
    simulated::Reset();
    UseFamily(family);
    RunRemovalPhases();
    EXPECT_FALSE(UninstallState.restartRequired);
    EXPECT_TRUE(machine().pendingFileOperations.empty());
    EXPECT_TRUE(simulated::CallsNamed("CreateFileA").empty());
    EXPECT_EQ(simulated::CallsNamed("DeleteFileA").size(), 7u);
  }
}

TEST_F(FileRemovalTest, AppletIsLookedForWhereEachFamilyKeepsIt) {
  struct Case {
    Family family;
    std::string removed;
    std::string untouched;
  };
  for (const Case& c :
       {Case{Family::Nt, "C:\\WINDOWS\\orvpanel.cpl",
             "C:\\WINDOWS\\SYSTEM\\orvpanel.cpl"},
        Case{Family::Windows95, "C:\\WINDOWS\\SYSTEM\\orvpanel.cpl",
             "C:\\WINDOWS\\orvpanel.cpl"}}) {
    simulated::Reset();
    UseFamily(c.family);
    simulated::AddFile(c.removed);
    simulated::AddFile(c.untouched);
    RunRemovalPhases();
    EXPECT_FALSE(simulated::FileExists(c.removed));
    EXPECT_TRUE(simulated::FileExists(c.untouched));
    EXPECT_EQ(simulated::CallsNamed("DeleteFileA").back(), c.removed);
  }
}

TEST_F(FileRemovalTest, MissingDirectoryOnThePathIsDeferred) {
  machine().directories.clear();
  RunRemovalPhases();
  EXPECT_TRUE(UninstallState.restartRequired);
  EXPECT_EQ(machine().pendingFileOperations.size(), 7u);
}

TEST_F(FileRemovalTest, DirectoryThatCannotBeObtainedRemovesNothingFromIt) {
  struct Case {
    Family family;
    bool windowsKnown;
    bool systemKnown;
    std::vector<std::string> expectedDeletes;
  };
  const std::vector<Case> cases = {
      {Family::Nt, false, true, {}},
      {Family::Windows95, false, true, {"C:\\WINDOWS\\SYSTEM\\orvpanel.cpl"}},
      {Family::Windows95, true, false, ComponentPaths()},
  };
  for (const Case& c : cases) {
    simulated::Reset();
    UseFamily(c.family);
    InstallComponentFiles();
    if (!c.windowsKnown) machine().windowsDirectory.reset();
    if (!c.systemKnown) machine().systemDirectory.reset();
    RunRemovalPhases();
    EXPECT_EQ(simulated::CallsNamed("DeleteFileA"), c.expectedDeletes);
    EXPECT_FALSE(UninstallState.restartRequired);
  }
}

// A path over 259 characters is never formed: those files stay, with no
// call on a cut-short path, and the others still go.
TEST_F(FileRemovalTest, PathsTooLongForTheirBufferLeaveOnlyThoseFiles) {
  struct Case {
    std::size_t directoryLength;
    std::vector<std::string> expectedLeft;
  };
  // "\orvtesi.dll" and "\orvmarq.dll" are one character longer than the rest.
  const std::vector<Case> cases = {
      {247, {}},
      {248, {"orvtesi.dll", "orvmarq.dll"}},
      {249,
       {"orvres.exe", "orvtesi.dll", "orvdun.dll", "orvpel.dll",
        "orvmarq.dll"}},
      {259, kComponentFileNames},
      {260, kComponentFileNames},
      {400, kComponentFileNames},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.directoryLength);
    simulated::Reset();
    const std::string directory =
        "C:\\" + std::string(c.directoryLength - 3, 'd');
    machine().windowsDirectory = directory;
    simulated::AddDirectory(directory);
    for (const std::string& name : kComponentFileNames) {
      simulated::AddFile(directory + "\\" + name);
    }
    RunRemovalPhases();
    std::vector<std::string> left;
    for (const std::string& name : kComponentFileNames) {
      if (simulated::FileExists(directory + "\\" + name)) left.push_back(name);
    }
    EXPECT_EQ(left, c.expectedLeft);
    for (const std::string& path : simulated::CallsNamed("DeleteFileA")) {
      EXPECT_LE(path.size(), 259u);
      EXPECT_TRUE(simulated::FileExists(path) == false) << path;
    }
    EXPECT_FALSE(UninstallState.restartRequired);
  }
}

TEST_F(FileRemovalTest, FailedDeferralStillAsksForRestart) {
  struct Case {
    const char* name;
    Family family;
    void (*breakDeferral)(simulated::Machine&);
  };
  const Case cases[] = {
      {"MoveFileExA fails", Family::Nt,
       [](simulated::Machine& m) { m.failingCalls["MoveFileExA"] = 0; }},
      {"wininit.ini cannot be opened", Family::Windows95,
       [](simulated::Machine& m) { m.failingCalls["CreateFileA"] = 0; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    simulated::Reset();
    UseFamily(c.family);
    InstallComponentFiles();
    HoldOpen(WindowsPath("orvka.dll"));
    c.breakDeferral(machine());
    AnswerBoxes({IDYES, IDOK});
    EXPECT_EQ(RunUninstaller(), 0);
    EXPECT_TRUE(machine().pendingFileOperations.empty());
    EXPECT_FALSE(simulated::FileExists(WindowsPath("wininit.ini")));
    ASSERT_EQ(machine().messageBoxes.size(), 2u);
    EXPECT_EQ(machine().messageBoxes[1].caption, kRestartCaption);
  }
}

// On the 95 family the applet sits in the system directory, so it can be
// deferred even when the Windows directory (and so wininit.ini) is unknown.
TEST_F(FileRemovalTest, NoWindowsDirectoryForWininitStillAsksForRestart) {
  UseFamily(Family::Windows95);
  InstallComponentFiles();
  HoldOpen(SystemPath("orvpanel.cpl"));
  machine().windowsDirectory.reset();
  RunRemovalPhases();
  EXPECT_TRUE(UninstallState.restartRequired);
  EXPECT_TRUE(simulated::CallsNamed("CreateFileA").empty());
  EXPECT_TRUE(simulated::FileExists(SystemPath("orvpanel.cpl")));
}

}  // namespace
