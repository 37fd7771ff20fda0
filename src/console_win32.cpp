// Windows console lines: UTF-16 to a console window, bytes anywhere else.
#include "console.h"

#include <cstddef>
#include <iostream>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

void writeConsoleLine(const std::string &line) {
  // GetConsoleMode succeeds only for a console window, where the line goes
  // out as UTF-16 so that a name in any script shows as itself. Narrow
  // strings are in the ANSI code page (UTF-8 where the manifest's
  // activeCodePage is honoured, the system's code page before Windows 10
  // 1903), which CP_ACP names in both cases; the console's own code page is
  // left to the shell that owns it.
  const HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (console == nullptr || console == INVALID_HANDLE_VALUE || !GetConsoleMode(console, &mode)) {
    std::cout << line << std::endl;
    return;
  }
  const std::string text = line + "\r\n";
  const int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  DWORD written = 0;
  if (length <= 0 ||
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                          length) != length ||
      !WriteConsoleW(console, wide.data(), static_cast<DWORD>(length), &written, nullptr) ||
      written != static_cast<DWORD>(length))
    std::cout.setstate(std::ios::badbit);
}

// Windows raises no signal for a failed write.
void ignoreWriteSignals() {}
