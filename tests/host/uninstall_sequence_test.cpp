// The run as the user sees it: the close request, the two boxes, the order
// of the phases and the exit code.
#include <algorithm>

#include "simulated_machine_fixture.h"

using simulated::Family;

namespace {

class UninstallSequenceTest : public SimulatedMachineTest {
 protected:
  void InstallEverything() {
    InstallComponentFiles();
    InstallComponentKeys();
  }

  // Index in the call log of the first and last call starting with `prefix`.
  std::pair<long, long> CallSpan(const std::string& prefix) {
    const auto& calls = machine().calls;
    long first = -1, last = -1;
    for (long i = 0; i < static_cast<long>(calls.size()); ++i) {
      if (calls[i].rfind(prefix, 0) != 0) continue;
      if (first < 0) first = i;
      last = i;
    }
    return {first, last};
  }
};

TEST_F(UninstallSequenceTest,
       DecliningClosesResidentComponentButTouchesNothing) {
  for (Family family : {Family::Nt, Family::Windows95}) {
    SCOPED_TRACE(family == Family::Nt ? "NT" : "95 family");
    simulated::Reset();
    UseFamily(family);
    InstallEverything();
    machine().topLevelWindowClasses = {"OTHERCLASS", "ORVRES"};
    AnswerBoxes({IDNO});
    const auto keysBefore = simulated::AllKeys(HKEY_CLASSES_ROOT);
    const auto filesBefore = machine().files.size();

    EXPECT_EQ(RunUninstaller(), 7);

    ASSERT_EQ(machine().postedMessages.size(), 1u);
    EXPECT_EQ(machine().postedMessages[0].windowClass, "ORVRES");
    EXPECT_EQ(machine().postedMessages[0].message, 0x0010u);
    EXPECT_EQ(machine().postedMessages[0].wParam, 0u);
    EXPECT_EQ(machine().postedMessages[0].lParam, 0);
    EXPECT_EQ(machine().pauses, std::vector<DWORD>{2000});
    ASSERT_EQ(machine().messageBoxes.size(), 1u);
    EXPECT_EQ(machine().messageBoxes[0].caption, kConfirmCaption);
    EXPECT_EQ(machine().files.size(), filesBefore);
    EXPECT_EQ(simulated::AllKeys(HKEY_CLASSES_ROOT), keysBefore);
    for (const char* effect : {"DeleteFileA", "RegDeleteKeyA", "MoveFileExA",
                               "CreateFileA", "RegOpenKeyExA"}) {
      EXPECT_TRUE(simulated::CallsNamed(effect).empty()) << effect;
    }
    // The close request comes before the question.
    EXPECT_EQ(machine().calls,
              (std::vector<std::string>{"FindWindowA ORVRES", "PostMessageA 16",
                                        "Sleep 2000",
                                        "MessageBoxA Confirm Uninstall"}));
  }
}

TEST_F(UninstallSequenceTest, ConfirmationBoxShowsItsTextsToTheByte) {
  AnswerBoxes({IDNO});
  RunUninstaller();
  ASSERT_EQ(machine().messageBoxes.size(), 1u);
  const auto& box = machine().messageBoxes[0];
  EXPECT_EQ(box.owner, nullptr);
  EXPECT_EQ(box.caption, "Confirm Uninstall");
  EXPECT_EQ(box.text, kConfirmText);
  EXPECT_EQ(box.style, 0x24u);  // Yes and No, question icon
  EXPECT_EQ(std::count(box.text.begin(), box.text.end(), '\n'), 7);
}

struct RunCase {
  const char* name;
  Family family;
  bool residentRunning;
  int answer;  // to the confirmation; 0: no box could be shown
  bool libraryInUse;
  bool expectPause;
  bool expectRestartNotice;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const RunCase& c, std::ostream* out) { *out << c.name; }

class AcceptedRunTest : public UninstallSequenceTest,
                        public ::testing::WithParamInterface<RunCase> {};

TEST_P(AcceptedRunTest, RemovesEverythingAndRestartNoticeOnlyWhenDeferred) {
  const RunCase& c = GetParam();
  UseFamily(c.family);
  InstallEverything();
  if (c.residentRunning) machine().topLevelWindowClasses = {"ORVRES"};
  if (c.libraryInUse) HoldOpen(WindowsPath("orvpel.dll"));
  AnswerBoxes({c.answer, IDOK});

  EXPECT_EQ(RunUninstaller(), 0);

  EXPECT_EQ(machine().pauses,
            c.expectPause ? std::vector<DWORD>{2000} : std::vector<DWORD>{});
  EXPECT_EQ(machine().postedMessages.size(), c.residentRunning ? 1u : 0u);
  ASSERT_EQ(machine().messageBoxes.size(), c.expectRestartNotice ? 2u : 1u);
  EXPECT_EQ(machine().messageBoxes[0].caption, kConfirmCaption);
  if (c.expectRestartNotice) {
    const auto& notice = machine().messageBoxes[1];
    EXPECT_EQ(notice.owner, nullptr);
    EXPECT_EQ(notice.caption, "Uninstall Oravne");
    EXPECT_EQ(notice.text, kRestartText);
    EXPECT_EQ(notice.style, 0x40u);  // OK, information icon
  }
  for (const std::string& path : ComponentPaths()) {
    EXPECT_EQ(simulated::FileExists(path),
              c.libraryInUse && path == WindowsPath("orvpel.dll"))
        << path;
  }
  EXPECT_FALSE(simulated::FileExists(WindowsPath("orvpanel.cpl")));
  EXPECT_FALSE(simulated::FileExists(SystemPath("orvpanel.cpl")));
  EXPECT_FALSE(simulated::KeyExists(HKEY_CLASSES_ROOT, kClassKey));
  EXPECT_TRUE(simulated::CallsNamed("MoveFileExA").size() ==
              (c.libraryInUse && c.family == Family::Nt ? 1u : 0u));
}

INSTANTIATE_TEST_SUITE_P(
    Runs, AcceptedRunTest,
    ::testing::Values(RunCase{"NtNothingRunning", Family::Nt, false, IDYES,
                              false, false, false},
                      RunCase{"NtResidentRunning", Family::Nt, true, IDYES,
                              false, true, false},
                      RunCase{"NtBoxNotShownCountsAsYes", Family::Nt, false, 0,
                              false, false, false},
                      RunCase{"NtLibraryInUse", Family::Nt, true, IDYES, true,
                              true, true},
                      RunCase{"Win95NothingRunning", Family::Windows95, false,
                              IDYES, false, false, false},
                      RunCase{"Win95LibraryInUse", Family::Windows95, true,
                              IDYES, true, true, true},
                      RunCase{"Win95BoxNotShownLibraryInUse", Family::Windows95,
                              false, 0, true, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UninstallSequenceTest, PhasesRunFilesThenKeysThenAppletThenNotice) {
  for (Family family : {Family::Nt, Family::Windows95}) {
    SCOPED_TRACE(family == Family::Nt ? "NT" : "95 family");
    simulated::Reset();
    UseFamily(family);
    InstallEverything();
    // Every file in use: several deferrals still give a single notice.
    for (const auto& [path, file] : machine().files) HoldOpen(path);
    AnswerBoxes({IDYES, IDOK});

    EXPECT_EQ(RunUninstaller(), 0);

    const auto deletes = CallSpan("DeleteFileA");
    const auto keys = CallSpan("RegDeleteKeyA");
    const auto applet = CallSpan(
        "DeleteFileA " + (family == Family::Nt ? WindowsPath("orvpanel.cpl")
                                               : SystemPath("orvpanel.cpl")));
    const auto lastComponent =
        CallSpan("DeleteFileA " + WindowsPath("orvmarq.dll"));
    EXPECT_LT(lastComponent.second, keys.first);
    EXPECT_LT(keys.second, applet.first);
    EXPECT_EQ(applet.first, deletes.second);
    ASSERT_EQ(machine().messageBoxes.size(), 2u);
    EXPECT_EQ(machine().calls.back(), "MessageBoxA Uninstall Oravne");
    EXPECT_EQ(simulated::CallsNamed("DeleteFileA").size(), 7u);
  }
}

TEST_F(UninstallSequenceTest, CommandLineChangesNothing) {
  auto runWith = [this](const char* commandLine) {
    simulated::Reset();
    InstallEverything();
    HoldOpen(WindowsPath("orvka.dll"));
    machine().topLevelWindowClasses = {"ORVRES"};
    AnswerBoxes({IDYES, IDOK});
    const int exitCode = RunUninstaller(commandLine);
    return std::make_tuple(exitCode, machine().calls,
                           simulated::AllKeys(HKEY_CLASSES_ROOT),
                           machine().files.size());
  };
  const auto plain = runWith("");
  for (const char* commandLine :
       {"/S", "/uninstall /quiet \"C:\\x y\"", "-n 7"}) {
    EXPECT_EQ(runWith(commandLine), plain) << commandLine;
  }
}

}  // namespace
