// The 95 family's deferrals: what is appended to wininit.ini, byte for byte.
#include "file_removal/uninstall_state.h"
#include "simulated_machine_fixture.h"

using simulated::Family;

namespace {

const char kWininit[] = "C:\\WINDOWS\\wininit.ini";

class WininitEntriesTest : public SimulatedMachineTest {
 protected:
  void SetUp() override {
    SimulatedMachineTest::SetUp();
    UseFamily(Family::Windows95);
    InstallComponentFiles();
    AnswerBoxes({IDYES, IDOK});
  }
};

struct ExistingContentCase {
  const char* name;
  std::optional<std::string> before;  // nullopt: no wininit.ini yet
  std::string keptPrefix;             // what must stay at the start
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ExistingContentCase& c, std::ostream* out) {
  *out << c.name;
}

class ExistingContentTest
    : public WininitEntriesTest,
      public ::testing::WithParamInterface<ExistingContentCase> {};

TEST_P(ExistingContentTest, EntriesAreAppendedAfterWhatWasThere) {
  const ExistingContentCase& c = GetParam();
  if (c.before) simulated::AddFile(kWininit, *c.before);
  HoldOpen("C:\\WINDOWS\\orvka.dll");
  HoldOpen("C:\\WINDOWS\\orvmarq.dll");

  EXPECT_EQ(RunUninstaller(), 0);

  EXPECT_EQ(simulated::FileBytes(kWininit),
            c.keptPrefix +
                "\r\n[rename]\r\nNUL=C:\\WINDOWS\\orvka.dll\r\n"
                "NUL=C:\\WINDOWS\\orvmarq.dll\r\n");
  EXPECT_EQ(machine().messageBoxes.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Contents, ExistingContentTest,
    ::testing::Values(
        ExistingContentCase{"NoFile", std::nullopt, ""},
        ExistingContentCase{"EmptyFile", std::string(), ""},
        ExistingContentCase{"EndsWithEndOfFileMark",
                            std::string("[rename]\r\nNUL=C:\\OLD.DLL\r\n\x1A"),
                            "[rename]\r\nNUL=C:\\OLD.DLL\r\n"},
        ExistingContentCase{"OnlyTheLastMarkGoes", std::string("a\x1A\x1A"),
                            "a\x1A"},
        ExistingContentCase{"MarkInsideIsKept",
                            std::string("a\x1A"
                                        "b"),
                            "a\x1A"
                            "b"},
        ExistingContentCase{"OnlyAMark", std::string("\x1A"), ""},
        ExistingContentCase{"NoFinalLineEnd", std::string("[boot]\r\nx=1"),
                            "[boot]\r\nx=1"},
        ExistingContentCase{"BinaryBytesKept",
                            std::string("\0\xFF\n\r\x1A\x7F", 6) + "z",
                            std::string("\0\xFF\n\r\x1A\x7F", 6) + "z"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WininitEntriesTest, FirstOpenFailingMovesTheHeaderToTheNextEntry) {
  HoldOpen("C:\\WINDOWS\\orvka.dll");
  HoldOpen("C:\\WINDOWS\\orvpel.dll");
  machine().failingCalls["CreateFileA"] = 1;

  RunUninstaller();

  EXPECT_EQ(simulated::FileBytes(kWininit),
            "\r\n[rename]\r\nNUL=C:\\WINDOWS\\orvpel.dll\r\n");
  EXPECT_TRUE(UninstallState.restartRequired);
  EXPECT_FALSE(UninstallState.renameHeaderPending);
}

TEST_F(WininitEntriesTest, EachEntryOpensAndClosesTheFileSharingIt) {
  HoldOpen("C:\\WINDOWS\\orvka.dll");
  HoldOpen("C:\\WINDOWS\\orvdun.dll");
  HoldOpen("C:\\WINDOWS\\SYSTEM\\orvpanel.cpl");

  RunUninstaller();

  ASSERT_EQ(machine().fileOpens.size(), 3u);
  for (const auto& open : machine().fileOpens) {
    EXPECT_EQ(open.path, kWininit);
    EXPECT_EQ(open.access, GENERIC_READ | GENERIC_WRITE);
    EXPECT_EQ(open.shareMode, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_EQ(open.disposition, static_cast<DWORD>(OPEN_ALWAYS));
  }
  EXPECT_EQ(simulated::CallsNamed("CloseHandle").size(), 3u);
  EXPECT_EQ(machine().openFileHandles, 0);
  // The applet's entry comes last, in the order of deferral.
  EXPECT_EQ(simulated::FileBytes(kWininit),
            "\r\n[rename]\r\nNUL=C:\\WINDOWS\\orvka.dll\r\n"
            "NUL=C:\\WINDOWS\\orvdun.dll\r\n"
            "NUL=C:\\WINDOWS\\SYSTEM\\orvpanel.cpl\r\n");
}

// Another program with wininit.ini open for reading and writing, sharing
// both, does not keep the entry out.
TEST_F(WininitEntriesTest, AnotherReaderAndWriterDoesNotBlockTheEntry) {
  simulated::AddFile(kWininit, "[rename]\r\n");
  machine().files[kWininit].heldByAnotherProcess = simulated::OtherHolder{
      GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE};
  HoldOpen("C:\\WINDOWS\\orvres.exe");

  RunUninstaller();

  EXPECT_EQ(simulated::FileBytes(kWininit),
            "[rename]\r\n\r\n[rename]\r\nNUL=C:\\WINDOWS\\orvres.exe\r\n");
}

// Each run writes its own header, whatever the file already holds.
TEST_F(WininitEntriesTest, SecondRunAppendsItsOwnHeader) {
  HoldOpen("C:\\WINDOWS\\orvka.dll");
  RunUninstaller();
  AnswerBoxes({IDYES, IDOK});
  RunUninstaller();
  EXPECT_EQ(simulated::FileBytes(kWininit),
            "\r\n[rename]\r\nNUL=C:\\WINDOWS\\orvka.dll\r\n"
            "\r\n[rename]\r\nNUL=C:\\WINDOWS\\orvka.dll\r\n");
}

// The path goes in as it was formed: the directory's own case, no quoting,
// blanks kept.
TEST_F(WininitEntriesTest, PathIsWrittenExactlyAsDeferred) {
  simulated::Reset();
  UseFamily(Family::Windows95);
  machine().windowsDirectory = std::string("D:\\Program Files\\Win Dir");
  simulated::AddDirectory("D:\\Program Files\\Win Dir");
  simulated::AddFile("D:\\Program Files\\Win Dir\\orvka.dll");
  HoldOpen("D:\\Program Files\\Win Dir\\orvka.dll");
  AnswerBoxes({IDYES, IDOK});

  RunUninstaller();

  EXPECT_EQ(simulated::FileBytes("D:\\Program Files\\Win Dir\\wininit.ini"),
            "\r\n[rename]\r\nNUL=D:\\Program Files\\Win Dir\\orvka.dll\r\n");
}

}  // namespace
