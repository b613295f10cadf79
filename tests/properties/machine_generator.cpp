#include "machine_generator.h"

#include "platform/simulated/simulated_windows.h"
#include "run_checks.h"

namespace machines {

const std::vector<std::string> kFallibleCalls = {"FindWindowA",
                                                 "PostMessageA",
                                                 "GetVersionExA",
                                                 "GetWindowsDirectoryA",
                                                 "GetSystemDirectoryA",
                                                 "DeleteFileA",
                                                 "MoveFileExA",
                                                 "CreateFileA",
                                                 "GetFileSize",
                                                 "SetFilePointer",
                                                 "ReadFile",
                                                 "WriteFile",
                                                 "SetEndOfFile",
                                                 "RegOpenKeyExA",
                                                 "RegQueryValueExA",
                                                 "RegDeleteKeyA"};

namespace {

using simulated::Family;
using simulated::OtherHolder;

using runchecks::kAppletFileName;
using runchecks::kClsid;
using runchecks::kComponentFileNames;

const char kNearClsid[] = "{7C3A19D4-58E2-4B06-9F1A-3D82E5C64B18}";
const char kOtherClsid[] = "{00021401-0000-0000-C000-000000000046}";

simulated::Machine& M() { return simulated::TheMachine(); }

template <typename T, std::size_t N>
const T& Among(Choices& choices, const T (&items)[N]) {
  return items[choices.Below(N)];
}

OtherHolder SomeHolder(Choices& choices) {
  static const DWORD accesses[] = {GENERIC_READ, GENERIC_READ | GENERIC_WRITE};
  static const DWORD shares[] = {
      0, FILE_SHARE_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      FILE_SHARE_DELETE};
  return OtherHolder{Among(choices, accesses), Among(choices, shares)};
}

std::string ParentOf(const std::string& path) {
  const auto slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// A file in any of the states a deletion can meet.
void PutFileInSomeState(Choices& choices, const std::string& path) {
  switch (choices.Below(7)) {
    case 0:
      return;  // absent
    case 1:
      simulated::AddDirectory(path);
      return;
    default:
      break;
  }
  simulated::File& file = M().files[path];
  file.bytes = choices.Bytes(choices.Below(48));
  file.readOnly = choices.OneIn(4);
  if (choices.OneIn(3)) file.heldByAnotherProcess = SomeHolder(choices);
  if (choices.OneIn(8)) simulated::AddDirectory(ParentOf(path));
}

// A directory text: the usual one, one near or past the 260-byte buffer,
// any bytes but NUL, or none to be had.
std::optional<std::string> SomeDirectory(Choices& choices,
                                         const std::string& usual) {
  std::string text;
  switch (choices.Below(10)) {
    case 0:
      return std::nullopt;
    case 1:
      text = "C:\\" + std::string(236 + choices.Below(40), 'D');
      break;
    case 2:
      text = std::string("C:\\") + std::string(choices.Below(330), 'L');
      text.resize(choices.Below(331), 'L');
      break;
    case 3:
      text = choices.Bytes(choices.Below(300));
      for (char& c : text) {
        if (c == '\0') c = '_';
      }
      break;
    default:
      return usual;
  }
  return text;
}

bool IsKeyPath(const std::string& path) {
  if (path.empty() || path.front() == '\\' || path.back() == '\\') {
    return false;
  }
  return path.find("\\\\") == std::string::npos;
}

void SomeValues(Choices& choices, simulated::RegistryKey& key) {
  if (choices.OneIn(2)) {
    key.defaultValue = simulated::RegistryValue{
        REG_SZ, choices.Bytes(choices.Below(24)) + std::string(1, '\0')};
  }
  if (choices.OneIn(3)) {
    key.namedValues["ThreadingModel"] =
        simulated::RegistryValue{REG_SZ, std::string("Apartment", 10)};
  }
  if (choices.OneIn(4)) {
    key.namedValues[choices.OneIn(2) ? "Data" : "data2"] =
        simulated::RegistryValue{REG_BINARY, choices.Bytes(choices.Below(16))};
  }
}

void MaybeKey(Choices& choices, HKEY root, const std::string& path,
              unsigned oneIn = 2) {
  if (!choices.OneIn(oneIn)) return;
  simulated::RegistryKey& key = simulated::AddKey(root, path);
  SomeValues(choices, key);
  key.refusesDeletion = choices.OneIn(10);
  key.refusesFullAccess = choices.OneIn(10);
}

// The default value of an extension's key: the usual type name, names that
// are shared, empty, long or odd, or any bytes of any type.
std::string SomeTypeValue(Choices& choices, const std::string& usual,
                          DWORD& type) {
  type = REG_SZ;
  switch (choices.Below(9)) {
    case 0:
      return usual + std::string(1, '\0');
    case 1:
      return usual;  // no NUL stored
    case 2:
      return std::string("sharedfile", 11);
    case 3: {
      static const DWORD types[] = {REG_NONE, REG_SZ, REG_BINARY, REG_DWORD};
      type = Among(choices, types);
      static const std::size_t sizes[] = {0, 1, 4, 8, 255, 258, 259, 260, 261};
      return choices.Bytes(choices.OneIn(2) ? Among(choices, sizes)
                                            : choices.Below(300));
    }
    case 4:
      return std::string("Orv\\Nested\0", 11);
    case 5: {
      // Around the length where the handler key stops fitting 260 bytes.
      std::string name(180 + choices.Below(85), 'T');
      if (choices.OneIn(2)) name += '\0';
      if (choices.OneIn(3)) name += "tail";
      return name;
    }
    case 6:
      return std::string(1, '\0');
    case 7:
      return std::string(260, 'N');
    default:
      return usual + std::string(1, '\0') + "garbage";
  }
}

void PutFileTypeKeys(Choices& choices, const std::string& typeName) {
  if (!IsKeyPath(typeName) || typeName.size() > 200) return;
  const std::string handlers = typeName + "\\shellex\\ContextMenuHandlers";
  MaybeKey(choices, HKEY_CLASSES_ROOT, handlers + "\\" + kClsid, 3);
  if (choices.OneIn(4)) {
    MaybeKey(choices, HKEY_CLASSES_ROOT, handlers + "\\" + kClsid + "\\Inside",
             1);
  }
  MaybeKey(choices, HKEY_CLASSES_ROOT, handlers + "\\" + kNearClsid);
  MaybeKey(choices, HKEY_CLASSES_ROOT, handlers + "\\" + kOtherClsid);
  MaybeKey(choices, HKEY_CLASSES_ROOT, handlers + "\\Open With");
  MaybeKey(choices, HKEY_CLASSES_ROOT,
           typeName + "\\shellex\\PropertySheetHandlers\\" + kClsid);
  MaybeKey(choices, HKEY_CLASSES_ROOT, typeName + "\\shell\\open\\command");
}

}  // namespace

void ShapeWininit(Choices& choices, const WininitShape& shape) {
  if (!M().windowsDirectory) return;
  const std::string path = *M().windowsDirectory + "\\wininit.ini";
  M().files.erase(path);
  if (!shape.present) return;
  std::string bytes = choices.Bytes(shape.size);
  if (shape.renameSection) {
    const std::string section = "\r\n[rename]\r\nNUL=C:\\OLD\\GONE.DLL\r\n";
    bytes.insert(choices.Below(static_cast<unsigned>(bytes.size()) + 1),
                 section);
  }
  if (shape.endOfFileMark) bytes += '\x1A';
  simulated::File& file = M().files[path];
  file.bytes = bytes;
  file.readOnly = choices.OneIn(10);
  if (choices.OneIn(8)) file.heldByAnotherProcess = SomeHolder(choices);
}

int BuildMachine(Choices& choices) {
  simulated::Reset();
  simulated::Machine& machine = M();
  machine.family = choices.OneIn(2) ? Family::Nt : Family::Windows95;
  const bool nt = machine.family == Family::Nt;
  machine.directories.clear();

  const std::string usualWindows = nt ? "C:\\WINNT" : "C:\\WINDOWS";
  machine.windowsDirectory = SomeDirectory(choices, usualWindows);
  machine.systemDirectory = SomeDirectory(
      choices,
      (machine.windowsDirectory ? *machine.windowsDirectory : usualWindows) +
          (nt ? "\\SYSTEM32" : "\\SYSTEM"));
  for (const auto& directory :
       {machine.windowsDirectory, machine.systemDirectory}) {
    if (directory && !choices.OneIn(6)) simulated::AddDirectory(*directory);
  }
  const std::string windows =
      machine.windowsDirectory ? *machine.windowsDirectory : usualWindows;
  const std::string system = machine.systemDirectory
                                 ? *machine.systemDirectory
                                 : usualWindows + "\\SYSTEM";

  // Its own files, then the same names and near names elsewhere.
  for (const char* name : kComponentFileNames) {
    PutFileInSomeState(choices, windows + "\\" + name);
  }
  PutFileInSomeState(choices, windows + "\\" + kAppletFileName);
  PutFileInSomeState(choices, system + "\\" + kAppletFileName);
  static const char* const nearNames[] = {
      "orvka.dl",     "orvka.dll.bak",  "xorvka.dll",  "orvka.dllx",
      "orvres.ex",    "orvres.exe.old", "orvpanel.cp", "orvpanel.cpl.bak",
      "orvmarq.dl_",  "notepad.exe",    "win.ini",     "system.ini",
      "ORVKA.DLL\\x", "orvtesi.dll "};
  for (const char* name : nearNames) {
    if (choices.OneIn(2)) PutFileInSomeState(choices, windows + "\\" + name);
  }
  for (const char* name : kComponentFileNames) {
    if (choices.OneIn(2)) PutFileInSomeState(choices, system + "\\" + name);
  }
  static const char* const elsewhere[] = {
      "C:\\OTHER\\ORVKA.DLL",
      "C:\\OTHER\\orvres.exe",
      "C:\\Program Files\\Orvane\\orvpanel.cpl",
      "C:\\WINDOWS\\SYSTEM32\\OrvTesi.dll",
      "C:\\orvdun.dll",
      "C:\\WINDOWS2\\ORVPEL.DLL",
      "D:\\WINDOWS\\orvmarq.dll",
      "C:\\WINDOWS\\COMMAND\\orvres.exe"};
  for (const char* path : elsewhere) {
    simulated::AddDirectory(ParentOf(path));
    if (choices.OneIn(2)) PutFileInSomeState(choices, path);
  }
  if (!choices.OneIn(3)) {
    WininitShape shape;
    shape.present = !choices.OneIn(4);
    static const std::size_t sizes[] = {0, 1, 16, 200, 4096, 9000};
    shape.size = choices.OneIn(2) ? Among(choices, sizes) : choices.Below(600);
    shape.endOfFileMark = choices.OneIn(2);
    shape.renameSection = choices.OneIn(2);
    ShapeWininit(choices, shape);
  }

  // Its own keys, some with children and values of their own.
  const std::string classKey = std::string("CLSID\\") + kClsid;
  static const char* const classSubkeys[] = {
      "InprocServer32",
      "DefaultIcon",
      "ShellFolder",
      "shellex\\ContextMenuHandlers\\{7C3A19D4-58E2-4B06-9F1A-3D82E5C64B17}",
      "shellex\\ContextMenuHandlers",
      "shellex"};
  MaybeKey(choices, HKEY_CLASSES_ROOT, classKey);
  for (const char* subkey : classSubkeys) {
    MaybeKey(choices, HKEY_CLASSES_ROOT, classKey + "\\" + subkey);
  }
  MaybeKey(choices, HKEY_CLASSES_ROOT, classKey + "\\Implemented Categories",
           5);
  const std::string currentVersion =
      "Software\\Microsoft\\Windows\\CurrentVersion";
  const std::string nameSpace =
      currentVersion + "\\Explorer\\MyComputer\\NameSpace\\";
  MaybeKey(choices, HKEY_LOCAL_MACHINE, nameSpace + kClsid);
  MaybeKey(choices, HKEY_CLASSES_ROOT,
           "Directory\\shellex\\CopyHookHandlers\\OrvHook");
  MaybeKey(choices, HKEY_LOCAL_MACHINE, currentVersion + "\\Uninstall\\Orvane");
  MaybeKey(choices, HKEY_LOCAL_MACHINE,
           currentVersion + "\\Uninstall\\Orvane\\Extra", 5);

  // Keys beside them, with names close to its own.
  MaybeKey(choices, HKEY_CLASSES_ROOT, std::string("CLSID\\") + kNearClsid);
  MaybeKey(choices, HKEY_CLASSES_ROOT,
           std::string("CLSID\\") + kOtherClsid + "\\InprocServer32");
  MaybeKey(choices, HKEY_CLASSES_ROOT, classKey + ".old");
  MaybeKey(choices, HKEY_CLASSES_ROOT, std::string("CLSID\\") + kClsid + "x");
  MaybeKey(choices, HKEY_LOCAL_MACHINE, nameSpace + kNearClsid);
  MaybeKey(choices, HKEY_LOCAL_MACHINE, nameSpace + kOtherClsid);
  MaybeKey(choices, HKEY_CLASSES_ROOT,
           "Directory\\shellex\\CopyHookHandlers\\OrvHook2");
  MaybeKey(choices, HKEY_CLASSES_ROOT,
           "Directory\\shellex\\CopyHookHandlers\\Other");
  MaybeKey(choices, HKEY_CLASSES_ROOT,
           "Directory\\shellex\\ContextMenuHandlers\\" + std::string(kClsid));
  MaybeKey(choices, HKEY_LOCAL_MACHINE,
           currentVersion + "\\Uninstall\\Orvane2");
  MaybeKey(choices, HKEY_LOCAL_MACHINE,
           currentVersion + "\\Uninstall\\Orvane Control");
  MaybeKey(choices, HKEY_LOCAL_MACHINE, currentVersion + "\\Uninstall\\Other");
  MaybeKey(choices, HKEY_LOCAL_MACHINE, "Software\\Orvane\\Settings");

  // The file types the extensions name, and their handlers.
  static const char* const extensions[][2] = {
      {".exe", "exefile"}, {".dll", "dllfile"}, {".ocx", "ocxfile"}};
  for (const auto& [extension, usual] : extensions) {
    if (choices.OneIn(8)) continue;
    simulated::RegistryKey& key =
        simulated::AddKey(HKEY_CLASSES_ROOT, extension);
    key.refusesFullAccess = choices.OneIn(10);
    if (choices.OneIn(8)) continue;
    DWORD type = REG_SZ;
    std::string value = SomeTypeValue(choices, usual, type);
    key.defaultValue = simulated::RegistryValue{type, value};
    PutFileTypeKeys(choices, value.substr(0, value.find('\0')));
    PutFileTypeKeys(choices, usual);
  }
  for (const char* typeName : {"txtfile", "exefile", "sharedfile"}) {
    PutFileTypeKeys(choices, typeName);
  }
  MaybeKey(choices, HKEY_CLASSES_ROOT, ".txt");

  if (choices.OneIn(2)) machine.topLevelWindowClasses.push_back("ORVRES");
  if (choices.OneIn(3)) machine.topLevelWindowClasses.push_back("Shell_Tray");

  static const int answers[] = {IDYES, IDYES, IDNO, 0};
  const int answer = Among(choices, answers);
  machine.messageBoxAnswers = {answer};
  return answer;
}

unsigned ChooseFaults(Choices& choices, std::size_t callsInRun) {
  unsigned rules = 0;
  simulated::Machine& machine = M();
  const unsigned byName = choices.Below(3);
  for (unsigned i = 0; i < byName; ++i) {
    machine.failingCalls[kFallibleCalls[choices.Below(
        static_cast<unsigned>(kFallibleCalls.size()))]] = choices.Below(4);
    ++rules;
  }
  const unsigned byPosition = choices.Below(5);
  for (unsigned i = 0; i < byPosition && callsInRun > 0; ++i) {
    machine.failingCallPositions.insert(
        choices.Below(static_cast<unsigned>(callsInRun)));
    ++rules;
  }
  return rules;
}

}  // namespace machines
