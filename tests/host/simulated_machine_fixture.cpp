#include "simulated_machine_fixture.h"

#include "file_removal/uninstall_state.h"

const char kClsid[] = "{7C3A19D4-58E2-4B06-9F1A-3D82E5C64B17}";
const char kClassKey[] = "CLSID\\{7C3A19D4-58E2-4B06-9F1A-3D82E5C64B17}";
const char kConfirmCaption[] = "Confirm Uninstall";
const char kConfirmText[] =
    "This will uninstall elements of Orvane Control from your computer.\n\n"
    "Playing an Orvane-enabled media file (such as an mp3) will not work "
    "correctly\nonce you have uninstalled.\nExecuting an Orvane-enabled "
    "application or media file installer will restore\nthe elements needed "
    "by the application or media file.\n\nAre you sure you want to "
    "uninstall Orvane Control?";
const char kRestartCaption[] = "Uninstall Oravne";
const char kRestartText[] =
    "To finish the uninstall you must restart your computer";

const std::vector<std::string> kComponentFileNames = {
    "orvres.exe", "orvka.dll",  "orvtesi.dll",
    "orvdun.dll", "orvpel.dll", "orvmarq.dll"};

void SimulatedMachineTest::SetUp() { simulated::Reset(); }

int SimulatedMachineTest::RunUninstaller(const char* commandLine) {
  UninstallState = UninstallStateRecord{false, true};
  std::string arguments = commandLine;
  return WinMain(nullptr, nullptr, arguments.data(), SW_SHOWDEFAULT);
}

void SimulatedMachineTest::UseFamily(simulated::Family family) {
  machine().family = family;
}

void SimulatedMachineTest::AnswerBoxes(std::vector<int> answers) {
  machine().messageBoxAnswers.assign(answers.begin(), answers.end());
}

std::string SimulatedMachineTest::WindowsPath(const std::string& name) const {
  return *simulated::TheMachine().windowsDirectory + "\\" + name;
}

std::string SimulatedMachineTest::SystemPath(const std::string& name) const {
  return *simulated::TheMachine().systemDirectory + "\\" + name;
}

std::vector<std::string> SimulatedMachineTest::ComponentPaths() const {
  std::vector<std::string> paths;
  for (const std::string& name : kComponentFileNames) {
    paths.push_back(WindowsPath(name));
  }
  return paths;
}

void SimulatedMachineTest::InstallComponentFiles() {
  for (const std::string& path : ComponentPaths())
    simulated::AddFile(path, "MZ");
  const bool nt = machine().family == simulated::Family::Nt;
  simulated::AddFile(
      nt ? WindowsPath("orvpanel.cpl") : SystemPath("orvpanel.cpl"), "MZ");
}

void SimulatedMachineTest::HoldOpen(const std::string& path) {
  machine().files[path].heldByAnotherProcess = simulated::OtherHolder{};
}

std::vector<std::string> SimulatedMachineTest::ComponentKeys() const {
  const std::string k = std::string("HKCR\\") + kClassKey;
  const std::string handler =
      std::string("\\shellex\\ContextMenuHandlers\\") + kClsid;
  return {
      k + "\\InprocServer32",
      k + "\\DefaultIcon",
      k + "\\ShellFolder",
      k + handler,
      k + "\\shellex\\ContextMenuHandlers",
      k + "\\shellex",
      k,
      std::string("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                  "Explorer\\MyComputer\\NameSpace\\") +
          kClsid,
      "HKCR\\Directory\\shellex\\CopyHookHandlers\\OrvHook",
      "HKCR\\exefile" + handler,
      "HKCR\\dllfile" + handler,
      "HKCR\\ocxfile" + handler,
      "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvane",
  };
}

void SimulatedMachineTest::InstallComponentKeys() {
  for (const std::string& key : ComponentKeys()) {
    const HKEY root =
        key.rfind("HKLM\\", 0) == 0 ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT;
    simulated::AddKey(root, key.substr(5));
  }
  simulated::SetDefaultValue(HKEY_CLASSES_ROOT, ".exe", REG_SZ,
                             std::string("exefile", 8));
  simulated::SetDefaultValue(HKEY_CLASSES_ROOT, ".dll", REG_SZ,
                             std::string("dllfile", 8));
  simulated::SetDefaultValue(HKEY_CLASSES_ROOT, ".ocx", REG_SZ,
                             std::string("ocxfile", 8));
}
