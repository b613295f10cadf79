// Puts the component set (files, registry keys, the things around them that
// must survive) into a Wine prefix, and reads back afterwards what is there.
//
//   component_fixture apply PLAN
//   component_fixture probe QUERIES OUT
//
// Both files hold one item per line, fields separated by tabs. A path may
// start with <windir> or <sysdir>; a registry path starts with HKCR, HKLM or
// HKCU; a value name of "@" is the key's default value.
//   plan:    file PATH TEXT | key PATH | value PATH NAME TEXT | winver VERSION
//   queries: file PATH | key PATH | value PATH NAME
// The answers repeat each query followed by what was found:
//   file PATH present|absent
//   key PATH absent | key PATH present SUBKEY|SUBKEY... NAME=TYPE:HEX|...
//   value PATH NAME absent | value PATH NAME TYPE HEX
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tool_log.h"

namespace {

// Every field, the empty ones too.
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields(1);
  for (char c : line) {
    if (c == '\t') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

std::string ExpandPath(const std::string& path) {
  char directory[MAX_PATH] = {};
  if (path.rfind("<windir>", 0) == 0) {
    GetWindowsDirectoryA(directory, MAX_PATH);
    return directory + path.substr(8);
  }
  if (path.rfind("<sysdir>", 0) == 0) {
    GetSystemDirectoryA(directory, MAX_PATH);
    return directory + path.substr(8);
  }
  return path;
}

bool SplitKey(const std::string& path, HKEY& root, std::string& subkey) {
  const size_t slash = path.find('\\');
  const std::string rootName = path.substr(0, slash);
  subkey = slash == std::string::npos ? "" : path.substr(slash + 1);
  if (rootName == "HKCR") {
    root = HKEY_CLASSES_ROOT;
  } else if (rootName == "HKLM") {
    root = HKEY_LOCAL_MACHINE;
  } else if (rootName == "HKCU") {
    root = HKEY_CURRENT_USER;
  } else {
    return false;
  }
  return true;
}

bool CreateKey(const std::string& path, HKEY& key) {
  HKEY root;
  std::string subkey;
  if (!SplitKey(path, root, subkey)) return false;
  return RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                         nullptr, &key, nullptr) == ERROR_SUCCESS;
}

bool SetText(const std::string& path, const std::string& name,
             const std::string& text) {
  HKEY key;
  if (!CreateKey(path, key)) return false;
  const LONG result =
      RegSetValueExA(key, name == "@" ? nullptr : name.c_str(), 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

bool Apply(const std::vector<std::string>& item) {
  const std::string& kind = item[0];
  if (kind == "file" && item.size() >= 2) {
    FILE* file = std::fopen(ExpandPath(item[1]).c_str(), "wb");
    if (file == nullptr) return false;
    const std::string text = item.size() > 2 ? item[2] : "";
    std::fwrite(text.data(), 1, text.size(), file);
    return std::fclose(file) == 0;
  }
  if (kind == "key" && item.size() == 2) {
    HKEY key;
    if (!CreateKey(item[1], key)) return false;
    RegCloseKey(key);
    return true;
  }
  if (kind == "value" && item.size() == 4) {
    return SetText(item[1], item[2], item[3]);
  }
  if (kind == "winver" && item.size() == 2) {
    return SetText("HKCU\\Software\\Wine", "Version", item[1]);
  }
  return false;
}

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  const int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                          &wide[0], static_cast<int>(wide.size()));
  wide.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return wide;
}

// The raw bytes as the system stores them, read through the wide API.
bool ReadValue(HKEY key, const std::string& name, DWORD& type,
               std::vector<BYTE>& data) {
  const std::wstring wideName = Wide(name);
  const wchar_t* valueName = name == "@" ? nullptr : wideName.c_str();
  DWORD size = 0;
  if (RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  data.resize(size);
  return RegQueryValueExW(key, valueName, nullptr, &type, data.data(), &size) ==
         ERROR_SUCCESS;
}

bool OpenKey(const std::string& path, HKEY& key) {
  HKEY root;
  std::string subkey;
  if (!SplitKey(path, root, subkey)) return false;
  return RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) ==
         ERROR_SUCCESS;
}

std::string DescribeKey(HKEY key) {
  std::vector<std::string> subkeys;
  char name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof name;
    if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr,
                      nullptr) != ERROR_SUCCESS) {
      break;
    }
    subkeys.push_back(name);
  }
  std::vector<std::string> values;
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof name;
    if (RegEnumValueA(key, index, name, &length, nullptr, nullptr, nullptr,
                      nullptr) != ERROR_SUCCESS) {
      break;
    }
    const std::string valueName = length == 0 ? "@" : name;
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!ReadValue(key, valueName, type, data)) continue;
    values.push_back(valueName + "=" + std::to_string(type) + ":" +
                     Hex(data.data(), data.size()));
  }
  std::sort(subkeys.begin(), subkeys.end());
  std::sort(values.begin(), values.end());
  std::string out;
  for (const std::string& subkey : subkeys)
    out += (out.empty() ? "" : "|") + subkey;
  out += "\t";
  std::string valueList;
  for (const std::string& value : values)
    valueList += (valueList.empty() ? "" : "|") + value;
  return out + valueList;
}

std::string Probe(const std::vector<std::string>& item) {
  const std::string& kind = item[0];
  if (kind == "file" && item.size() == 2) {
    const bool present = GetFileAttributesA(ExpandPath(item[1]).c_str()) !=
                         INVALID_FILE_ATTRIBUTES;
    return present ? "present" : "absent";
  }
  HKEY key;
  if ((kind == "key" && item.size() == 2) ||
      (kind == "value" && item.size() == 3)) {
    if (!OpenKey(item[1], key)) return "absent";
  } else {
    return "bad-query";
  }
  std::string answer;
  if (kind == "key") {
    answer = "present\t" + DescribeKey(key);
  } else {
    DWORD type = 0;
    std::vector<BYTE> data;
    answer = ReadValue(key, item[2], type, data)
                 ? std::to_string(type) + "\t" + Hex(data.data(), data.size())
                 : "absent";
  }
  RegCloseKey(key);
  return answer;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "apply" && argc == 3) {
    std::ifstream plan(argv[2]);
    int failures = 0;
    for (std::string line; std::getline(plan, line);) {
      if (line.empty()) continue;
      if (!Apply(Fields(line))) {
        std::fprintf(stderr, "cannot apply: %s\n", line.c_str());
        ++failures;
      }
    }
    return failures == 0 ? 0 : 1;
  }
  if (command == "probe" && argc == 4) {
    std::ifstream queries(argv[2]);
    std::string answers;
    for (std::string line; std::getline(queries, line);) {
      if (line.empty()) continue;
      answers += line + "\t" + Probe(Fields(line)) + "\n";
    }
    FILE* out = std::fopen(argv[3], "wb");
    if (out == nullptr) return 1;
    std::fwrite(answers.data(), 1, answers.size(), out);
    return std::fclose(out) == 0 ? 0 : 1;
  }
  std::fprintf(stderr, "usage: component_fixture apply PLAN | probe Q OUT\n");
  return 2;
}
