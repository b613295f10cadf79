// The simulated Windows must answer as Windows does, or the other tests
// prove nothing: the rules they lean on, checked directly.
#include "simulated_machine_fixture.h"

using simulated::Family;

namespace {

class SimulatedWindowsTest : public SimulatedMachineTest {};

TEST_F(SimulatedWindowsTest, RegDeleteKeyFollowsEachFamilysRule) {
  struct Case {
    Family family;
    LONG parentResult;
    bool parentStays;
  };
  for (const Case& c : {Case{Family::Nt, ERROR_ACCESS_DENIED, true},
                        Case{Family::Windows95, ERROR_SUCCESS, false}}) {
    simulated::Reset();
    UseFamily(c.family);
    simulated::AddKey(HKEY_CLASSES_ROOT, "A\\B\\C");
    simulated::AddKey(HKEY_CLASSES_ROOT, "A\\D");
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "a"), c.parentResult);
    EXPECT_EQ(simulated::KeyExists(HKEY_CLASSES_ROOT, "A\\B\\C"),
              c.parentStays);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Missing"),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "\\A"),
              static_cast<LONG>(ERROR_BAD_PATHNAME));
  }
}

TEST_F(SimulatedWindowsTest, DeleteFileReportsWhyItFailed) {
  simulated::AddFile("C:\\WINDOWS\\held.dll");
  HoldOpen("C:\\WINDOWS\\held.dll");
  simulated::AddFile("C:\\WINDOWS\\ro.dll");
  machine().files["C:\\WINDOWS\\ro.dll"].readOnly = true;
  struct Case {
    const char* path;
    DWORD error;
  };
  for (const Case& c : {Case{"C:\\WINDOWS\\absent.dll", ERROR_FILE_NOT_FOUND},
                        Case{"C:\\NOWHERE\\x.dll", ERROR_PATH_NOT_FOUND},
                        Case{"C:\\WINDOWS\\held.dll", ERROR_SHARING_VIOLATION},
                        Case{"c:\\windows\\RO.DLL", ERROR_ACCESS_DENIED},
                        Case{"C:\\WINDOWS\\SYSTEM", ERROR_ACCESS_DENIED}}) {
    EXPECT_FALSE(DeleteFileA(c.path)) << c.path;
    EXPECT_EQ(GetLastError(), c.error) << c.path;
  }
}

TEST_F(SimulatedWindowsTest, DirectoryAndValueQueriesNeverOverrunTheBuffer) {
  machine().windowsDirectory = std::string(300, 'w');
  char small[260] = {};
  EXPECT_EQ(GetWindowsDirectoryA(small, sizeof small), 301u);
  EXPECT_EQ(small[0], '\0');

  simulated::SetDefaultValue(HKEY_CLASSES_ROOT, ".big", REG_SZ,
                             std::string(261, 'x'));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, ".big", 0, KEY_ALL_ACCESS, &key),
            0);
  DWORD size = sizeof small;
  EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, nullptr,
                             reinterpret_cast<BYTE*>(small), &size),
            static_cast<LONG>(ERROR_MORE_DATA));
  EXPECT_EQ(size, 261u);
  EXPECT_EQ(small[0], '\0');
  RegCloseKey(key);
}

TEST_F(SimulatedWindowsTest, SharedOpensCoexistAndExclusiveOnesDoNot) {
  simulated::AddFile("C:\\WINDOWS\\f.ini", "x");
  const HANDLE shared = CreateFileA(
      "C:\\WINDOWS\\f.ini", GENERIC_READ | GENERIC_WRITE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
  ASSERT_NE(shared, INVALID_HANDLE_VALUE);
  const HANDLE second = CreateFileA(
      "C:\\WINDOWS\\f.ini", GENERIC_READ | GENERIC_WRITE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
  EXPECT_NE(second, INVALID_HANDLE_VALUE);
  const HANDLE exclusive = CreateFileA("C:\\WINDOWS\\f.ini", GENERIC_READ, 0,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(exclusive, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  CloseHandle(shared);
  CloseHandle(second);
  EXPECT_EQ(machine().openFileHandles, 0);
}

}  // namespace
