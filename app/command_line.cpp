#include "app/command_line.h"

#include <vector>

#include "common/text_util.h"
#include "platform/shell.h"

namespace korv {

StartOptions ReadCommandLine(const char16_t* commandLine) {
  StartOptions options;
  std::vector<Text> tokens;
  if (!os::CommandLineToArgvW(commandLine, &tokens)) return options;

  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const char16_t* token = tokens[i].c_str();
    if (CompareNoCase(token, u"-u") == 0 && i + 1 < tokens.size()) {
      ++i;
      const Text& folder = tokens[i];
      if (folder.size() < options.folder.capacity()) {
        options.uninstall = true;
        options.folder.assign(folder);
      }
    } else if (CompareNoCase(token, u"/silence") == 0) {
      options.silent = true;
    }
  }
  return options;
}

}  // namespace korv
