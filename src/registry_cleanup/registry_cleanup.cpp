#include "registry_cleanup/registry_cleanup.h"

#include "platform/platform.h"
#include "platform/text_format.h"

static const unsigned kKeyBufferSize = 260;

static const char ShellExtensionClsid[] =
    "{7C3A19D4-58E2-4B06-9F1A-3D82E5C64B17}";

// NT deletes only keys without subkeys, so the class key's children go
// first, the deeper ones before their parents.
static const char* const kClassSubkeys[] = {
    "InprocServer32",
    "DefaultIcon",
    "ShellFolder",
    "shellex\\ContextMenuHandlers\\{7C3A19D4-58E2-4B06-9F1A-3D82E5C64B17}",
    "shellex\\ContextMenuHandlers",
    "shellex",
};

static const char* const ExtensionTypes[] = {".exe", ".dll", ".ocx"};

// A key path that would not fit its buffer is not formed, so that key is
// left alone; the deletion's own result is never examined.
static void DeleteFormattedKey(HKEY root, const char* format, const char* first,
                               const char* second = nullptr) {
  char path[kKeyBufferSize];
  if (FormatText(path, sizeof path, format, first, second)) {
    RegDeleteKeyA(root, path);
  }
}

// On the 95 family deleting the class key takes its whole tree with it.
static void DeleteShellExtensionClass() {
  char classKey[kKeyBufferSize];
  FormatText(classKey, sizeof classKey, "CLSID\\%s", ShellExtensionClsid);
  if (IsNtPlatform()) {
    for (const char* subkey : kClassSubkeys) {
      DeleteFormattedKey(HKEY_CLASSES_ROOT, "%s\\%s", classKey, subkey);
    }
  }
  RegDeleteKeyA(HKEY_CLASSES_ROOT, classKey);
}

// Reads the file type that an extension key names in its default value.
// The value is text only up to the bytes actually read: whatever its type,
// and whether or not it carries a NUL, nothing past them is used. A value
// that fills the whole buffer without a NUL is too long to be a usable name.
static bool ReadFileTypeName(const char* extension,
                             char (&typeName)[kKeyBufferSize]) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, extension, 0, KEY_ALL_ACCESS, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  DWORD size = sizeof typeName;
  const LONG result = RegQueryValueExA(
      key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(typeName), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return false;
  if (size < sizeof typeName) {
    typeName[size] = '\0';
    return true;
  }
  for (const char byte : typeName) {
    if (byte == '\0') return true;
  }
  return false;
}

static void DeleteFileTypeContextMenuHandlers() {
  for (const char* extension : ExtensionTypes) {
    char typeName[kKeyBufferSize];
    if (!ReadFileTypeName(extension, typeName)) continue;
    DeleteFormattedKey(HKEY_CLASSES_ROOT,
                       "%s\\shellex\\ContextMenuHandlers\\%s", typeName,
                       ShellExtensionClsid);
  }
}

void CleanRegistry() {
  DeleteShellExtensionClass();
  DeleteFormattedKey(HKEY_LOCAL_MACHINE,
                     "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                     "MyComputer\\NameSpace\\%s",
                     ShellExtensionClsid);
  RegDeleteKeyA(HKEY_CLASSES_ROOT,
                "Directory\\shellex\\CopyHookHandlers\\OrvHook");
  DeleteFileTypeContextMenuHandlers();
  RegDeleteKeyA(
      HKEY_LOCAL_MACHINE,
      "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orvane");
}
