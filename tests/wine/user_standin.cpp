// Stands in for the user: starts a program, waits for each message box it
// shows, records what the box says and offers, answers it, and records how
// the program ended.
//
//   user_standin LOG [--answers A,B,...] [--ack-dir DIR] [--timeout MS]
//                -- PROGRAM [ARGUMENTS...]
//
// The answers (yes, no, ok, or none to leave the box to a person) go to the
// boxes in the order they appear; a box beyond them is recorded and
// dismissed. With --ack-dir the answer to box N waits until DIR\ackN exists,
// which gives a screenshot time to be taken. The log's lines:
//   start TICK
//   box N TICK caption=HEX text=HEX buttons=LIST owner=0|1
//   press N ANSWER TICK
//   exit CODE TICK          or   timeout TICK
#include <windows.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tool_log.h"

namespace {

struct Answer {
  const char* name;
  int id;
};

const Answer kAnswers[] = {
    {"ok", IDOK},       {"cancel", IDCANCEL}, {"abort", IDABORT},
    {"retry", IDRETRY}, {"ignore", IDIGNORE}, {"yes", IDYES},
    {"no", IDNO},
};

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(window, &text[0], length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// The buttons the box really offers: those present and visible.
std::string Buttons(HWND box) {
  std::string list;
  for (const Answer& answer : kAnswers) {
    const HWND button = GetDlgItem(box, answer.id);
    if (button != nullptr && IsWindowVisible(button)) {
      if (!list.empty()) list += ',';
      list += answer.name;
    }
  }
  return list.empty() ? "-" : list;
}

// The message text sits in the static control with id 0xFFFF; failing that,
// in the first static that is not the icon.
std::string BoxText(HWND box) {
  const HWND text = GetDlgItem(box, 0xFFFF);
  if (text != nullptr) return WindowText(text);
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassOf(child) == "Static" &&
        (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
      return WindowText(child);
    }
  }
  return "";
}

struct Search {
  DWORD processId;
  const std::set<HWND>* seen;
  HWND found;
};

BOOL CALLBACK FindNewBox(HWND window, LPARAM parameter) {
  Search* search = reinterpret_cast<Search*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
  if (ClassOf(window) != "#32770") return TRUE;
  if (search->seen->count(window) != 0) return TRUE;
  search->found = window;
  return FALSE;
}

std::string Quote(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
    return argument;
  std::string quoted = "\"";
  for (char c : argument) {
    if (c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

int AnswerId(const std::string& name) {
  for (const Answer& answer : kAnswers) {
    if (name == answer.name) return answer.id;
  }
  return 0;
}

// A box nobody planned for is closed with whatever it offers, so that the
// program can still end and the surprise shows up in the log.
int FallbackAnswer(HWND box) {
  for (int id : {IDOK, IDNO, IDCANCEL}) {
    const HWND button = GetDlgItem(box, id);
    if (button != nullptr && IsWindowVisible(button)) return id;
  }
  return IDCANCEL;
}

const char* NameOf(int id) {
  for (const Answer& answer : kAnswers) {
    if (answer.id == id) return answer.name;
  }
  return "?";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const std::string logPath = argv[1];
  std::vector<std::string> answers;
  std::string ackDir;
  unsigned long long timeoutMs = 60000;
  int i = 2;
  for (; i < argc && std::string(argv[i]) != "--"; i += 2) {
    if (i + 1 >= argc) return 2;
    const std::string option = argv[i];
    if (option == "--answers") {
      std::stringstream list(argv[i + 1]);
      for (std::string item; std::getline(list, item, ',');)
        answers.push_back(item);
    } else if (option == "--ack-dir") {
      ackDir = argv[i + 1];
    } else if (option == "--timeout") {
      timeoutMs = std::stoull(argv[i + 1]);
    } else {
      return 2;
    }
  }
  if (i + 1 >= argc) return 2;
  std::string commandLine;
  for (int arg = i + 1; arg < argc; ++arg) {
    if (!commandLine.empty()) commandLine += ' ';
    commandLine += Quote(argv[arg]);
  }

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  const unsigned long long startedAt = Now();
  AppendLine(logPath, "start " + std::to_string(startedAt));
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, &startup, &process)) {
    AppendLine(logPath, "launch-failed " + std::to_string(GetLastError()));
    return 3;
  }

  std::set<HWND> seen;
  for (;;) {
    if (WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0) {
      DWORD code = 0;
      GetExitCodeProcess(process.hProcess, &code);
      AppendLine(logPath,
                 "exit " + std::to_string(code) + " " + std::to_string(Now()));
      return 0;
    }
    if (Now() - startedAt > timeoutMs) {
      TerminateProcess(process.hProcess, 99);
      AppendLine(logPath, "timeout " + std::to_string(Now()));
      return 1;
    }
    Search search = {process.dwProcessId, &seen, nullptr};
    EnumWindows(FindNewBox, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) continue;

    const HWND box = search.found;
    const size_t index = seen.size();
    seen.insert(box);
    AppendLine(
        logPath,
        "box " + std::to_string(index) + " " + std::to_string(Now()) +
            " caption=" + Hex(WindowText(box)) + " text=" + Hex(BoxText(box)) +
            " buttons=" + Buttons(box) +
            " owner=" + (GetWindow(box, GW_OWNER) != nullptr ? "1" : "0"));

    const std::string planned = index < answers.size() ? answers[index] : "";
    if (planned == "none") continue;
    if (!ackDir.empty()) {
      const std::string ack = ackDir + "\\ack" + std::to_string(index);
      while (GetFileAttributesA(ack.c_str()) == INVALID_FILE_ATTRIBUTES &&
             Now() - startedAt <= timeoutMs) {
        Sleep(20);
      }
    }
    const int id = planned.empty() ? FallbackAnswer(box) : AnswerId(planned);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
    AppendLine(logPath,
               "press " + std::to_string(index) + " " +
                   (planned.empty() ? std::string("unplanned-") + NameOf(id)
                                    : planned) +
                   " " + std::to_string(Now()));
  }
}
