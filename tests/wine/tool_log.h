// Line-oriented logs that the harness on the host polls while the programs
// still run: every line is appended and the file closed again at once.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

// One clock for every helper process, so their records can be compared.
inline unsigned long long Now() { return GetTickCount64(); }

inline void AppendLine(const std::string& path, const std::string& line) {
  if (path.empty()) return;
  FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) return;
  std::fputs(line.c_str(), file);
  std::fputc('\n', file);
  std::fclose(file);
}

// Bytes as two hex digits each: exact, and safe for the line format.
inline std::string Hex(const void* data, size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out.empty() ? "-" : out;
}

inline std::string Hex(const std::string& text) {
  return Hex(text.data(), text.size());
}
