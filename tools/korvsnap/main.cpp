// korvsnap.exe: captures this machine as a korvsim scenario, so that korvsim
// can show what the installer would do here before it runs.
//
//   korvsnap [INSTALLER_FOLDER] [-o FILE]
//
// INSTALLER_FOLDER is the folder holding korvsetup.exe and the driver files
// (default: korvsnap.exe's own folder). The scenario goes to FILE, or to
// standard output. It only reads the machine. Exit status: 0, 1 when a part
// of the machine could not be read (the file is written all the same and
// lists it under "incomplete"), 2 for a usage mistake or a file that cannot
// be written.
#include <windows.h>

#include <cstdio>
#include <string>

#include "common/text_util.h"
#include "tools/korvsnap/capture.h"

namespace {

const char kUsage[] =
    "usage: korvsnap [INSTALLER_FOLDER] [-o FILE]\n"
    "  captures this machine as a korvsim scenario (default folder: korvsnap.exe's own)\n";

void Error(const std::string& text) { std::fputs(("korvsnap: " + text + "\n").c_str(), stderr); }

// Writes the bytes as they are (no line-end translation of the C runtime).
bool WriteAll(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  return ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE &&
         written == bytes.size();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  using korv::Text;
  Text folder;
  const wchar_t* output = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"-o" && i + 1 < argc) {
      output = argv[++i];
    } else if (arg == L"-h" || arg == L"--help" || arg == L"/?") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (!arg.empty() && arg[0] == L'-') {
      Error("unknown option");
      std::fputs(kUsage, stderr);
      return 2;
    } else if (folder.empty()) {
      folder = Text(reinterpret_cast<const char16_t*>(argv[i]));
    } else {
      Error("one installer folder at a time");
      return 2;
    }
  }

  const korv::snap::Capture capture = korv::snap::CaptureMachine(folder);
  for (const auto& m : capture.missing) Error("not captured: " + m.field + ": " + m.reason);

  HANDLE file = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (output != nullptr) {
    file = ::CreateFileW(output, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  const bool written = file != INVALID_HANDLE_VALUE && WriteAll(file, capture.scenario);
  if (output != nullptr && file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  if (!written) {
    Error(output != nullptr ? korv::Utf16ToUtf8(reinterpret_cast<const char16_t*>(output)) + ": cannot be written"
                            : std::string("standard output cannot be written"));
    return 2;
  }
  return capture.missing.empty() ? 0 : 1;
}
