// The simulated CommandLineToArgvW splits every line of tests/wine/argv_lines.txt
// as Wine's did (argv_expected.txt, recorded by `korvfix argv`; run.sh checks Wine
// still agrees): the run modes depend on it, the uninstaller's relaunch on an
// unterminated quote reaching the end of the line.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/shell.h"
#include "sim_fixture.h"

namespace korv {
namespace {

std::filesystem::path WineTestFile(const char* name) {
  return std::filesystem::path(__FILE__).parent_path().parent_path() / "wine" / name;
}

std::vector<std::string> ReadLines(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  std::string text;
  while (std::getline(in, text)) {
    if (!text.empty() && text.back() == '\r') text.pop_back();
    lines.push_back(text);
  }
  return lines;
}

// UTF-8 to UTF-16, enough for the test lines (no validation needed: the
// file is ours).
Text Utf16(const std::string& text) {
  Text out;
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    char32_t cp = c;
    int more = 0;
    if (c >= 0xF0) {
      cp = c & 0x07;
      more = 3;
    } else if (c >= 0xE0) {
      cp = c & 0x0F;
      more = 2;
    } else if (c >= 0xC0) {
      cp = c & 0x1F;
      more = 1;
    }
    ++i;
    for (int k = 0; k < more && i < text.size(); ++k, ++i) {
      cp = (cp << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

// The tokens as korvfix prints them: each between brackets, one blank apart.
std::string Bracketed(const std::vector<Text>& tokens) {
  std::string out;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (i) out += ' ';
    out += '[' + test::U8(tokens[i]) + ']';
  }
  return out;
}

class ArgvAgainstWine : public test::SimTest {};

TEST_F(ArgvAgainstWine, EveryLineSplitsAsUnderWine) {
  const auto lines = ReadLines(WineTestFile("argv_lines.txt"));
  const auto expected = ReadLines(WineTestFile("argv_expected.txt"));
  ASSERT_GE(lines.size(), 30u) << "test lines missing: " << WineTestFile("argv_lines.txt");
  ASSERT_EQ(lines.size(), expected.size()) << "argv_expected.txt must have one line per test line";

  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Text line = Utf16(lines[i]);
    std::vector<Text> tokens;
    ASSERT_TRUE(os::CommandLineToArgvW(line.c_str(), &tokens)) << "line " << i + 1 << ": " << lines[i];
    EXPECT_EQ(Bracketed(tokens), expected[i]) << "line " << i + 1 << ": " << lines[i];
  }
}

// The uninstaller copy's relaunch: the folder comes last, opened by a quote never
// closed, and arrives with its trailing backslash; on its own to name the case.
TEST_F(ArgvAgainstWine, RelaunchLineKeepsTheFolderWhole) {
  const auto lines = ReadLines(WineTestFile("argv_lines.txt"));
  const auto expected = ReadLines(WineTestFile("argv_expected.txt"));
  const std::string relaunch = R"("C:\t\uns1A2B.tmp" -u "C:\Korvane\)";
  std::size_t found = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == relaunch) found = i;
  }
  ASSERT_LT(found, lines.size()) << "the relaunch line is missing from argv_lines.txt";
  ASSERT_LT(found, expected.size());
  EXPECT_EQ(expected[found], R"([C:\t\uns1A2B.tmp] [-u] [C:\Korvane\])");

  std::vector<Text> tokens;
  const Text line = Utf16(relaunch);
  ASSERT_TRUE(os::CommandLineToArgvW(line.c_str(), &tokens));
  ASSERT_EQ(tokens.size(), 3u);
  EXPECT_EQ(tokens[2], u"C:\\Korvane\\");
}

}  // namespace
}  // namespace korv
