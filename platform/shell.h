// Shell: command-line splitting, recycling a folder, change notification.
#pragma once

#include <vector>

#include "platform/types.h"

namespace korv::os {

// CommandLineToArgvW(line): false when the system returns no array.
bool CommandLineToArgvW(const char16_t* commandLine, std::vector<Text>* arguments);

inline constexpr Dword FO_DELETE = 3;
inline constexpr Dword FOF_ALLOWUNDO = 0x40;
// SHFileOperationW(owner, operation, from, no destination, flags). `from` is
// a list of paths, each terminated, the list ended by a second terminator.
int SHFileOperationW(Hwnd owner, Dword operation, const char16_t* from, Dword flags);

inline constexpr long SHCNE_DELETE = 4;
inline constexpr Dword SHCNF_PATHW = 5;
// SHChangeNotify(event, flags, item1, item2) with path items.
void SHChangeNotify(long event, Dword flags, const char16_t* item1, const char16_t* item2);

}  // namespace korv::os
