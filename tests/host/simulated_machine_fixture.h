// A fresh simulated machine per test, with helpers to put the component set
// on it and to run the uninstaller as a new process would.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/simulated/simulated_windows.h"

extern const char kClsid[];
extern const char kClassKey[];
extern const char kConfirmCaption[];
extern const char kConfirmText[];
extern const char kRestartCaption[];
extern const char kRestartText[];

// The six component files, in the order they are removed.
extern const std::vector<std::string> kComponentFileNames;

class SimulatedMachineTest : public ::testing::Test {
 protected:
  void SetUp() override;

  simulated::Machine& machine() { return simulated::TheMachine(); }

  // Runs WinMain as the start-up would; the process-wide record starts
  // afresh as it does in a new process.
  int RunUninstaller(const char* commandLine = "");

  void UseFamily(simulated::Family family);
  void AnswerBoxes(std::vector<int> answers);

  // Full paths of the component files in the Windows directory.
  std::vector<std::string> ComponentPaths() const;
  std::string WindowsPath(const std::string& name) const;
  std::string SystemPath(const std::string& name) const;

  // Installs the six component files and the applet where the current
  // family keeps it.
  void InstallComponentFiles();
  void HoldOpen(const std::string& path);

  // Installs every key the cleanup removes, with ".exe", ".dll" and ".ocx"
  // naming the file types exefile, dllfile and ocxfile.
  void InstallComponentKeys();
  std::vector<std::string> ComponentKeys() const;  // as "HKCR\..." / "HKLM\..."
};
