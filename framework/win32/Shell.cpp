// framework/window/Shell.h for Windows: programs start with CreateProcessW
// and addresses open with ShellExecuteW; nothing waits for them.

#include "framework/window/Shell.h"

#include <mutex>

#include "framework/core/Wide.h"

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX  // libstdc++ may have defined it
#endif
// shellapi.h needs windows.h before it.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

namespace framework {

namespace {

std::mutex gChildMutex;
std::vector<HANDLE> gChildren;

// One argument as the C runtime's command-line parser reads it back.
void AppendQuoted(std::wstring& line, const std::wstring& arg) {
  if (!line.empty()) line += L' ';
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += arg;
    return;
  }
  line += L'"';
  std::size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped.
    line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(2 * backslashes, L'\\');
  line += L'"';
}

}  // namespace

bool SpawnDetached(const std::vector<std::string>& argv) {
  if (argv.empty() || argv.front().empty()) return false;
  std::wstring line;
  for (const std::string& a : argv) AppendQuoted(line, Wide(a));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  // No console of its own and no handles of the host's.
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW | DETACHED_PROCESS,
                      nullptr, nullptr, &startup, &process))
    return false;
  CloseHandle(process.hThread);
  {
    std::lock_guard lock(gChildMutex);
    gChildren.push_back(process.hProcess);
  }
  ReapChildren();
  return true;
}

void ReapChildren() {
  std::lock_guard lock(gChildMutex);
  std::erase_if(gChildren, [](HANDLE process) {
    if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) return false;
    CloseHandle(process);
    return true;
  });
}

std::size_t PendingChildren() {
  std::lock_guard lock(gChildMutex);
  return gChildren.size();
}

bool OpenUrlWithDesktop(const std::string& url) {
  if (url.empty() || url.front() == '-') return false;
  const std::wstring wide = Wide(url);
  // Answers above 32 mean the shell took the request.
  const auto answer = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return answer > 32;
}

}  // namespace framework
