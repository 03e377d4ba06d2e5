// Control and string ids the uninstall window and the removal use (dialog 105
// and the string table of app/res).
#pragma once

#include "platform/types.h"

namespace korv::uninstall_ids {

inline constexpr Dword kDialog = 105;

// Controls of dialog 105.
inline constexpr int kRemoveButton = 1;
inline constexpr int kCloseButton = 2;
inline constexpr int kComponentTree = 1001;
inline constexpr int kProgressBar = 1003;

// Texts of the string table.
inline constexpr Dword kTextMessageCaption = 102;
inline constexpr Dword kTextNothingToRemove = 105;
inline constexpr Dword kTextPackageLine = 106;
inline constexpr Dword kTextDriverListLine = 107;
inline constexpr Dword kTextDriverLine = 108;
inline constexpr Dword kTextNoDriverLine = 109;
inline constexpr Dword kTextQueueLine = 110;
inline constexpr Dword kTextNoQueueLine = 111;
inline constexpr Dword kTextRemoved = 112;
inline constexpr Dword kTextFailedWithError = 113;
inline constexpr Dword kTextUninstallFailed = 114;
inline constexpr Dword kTextUninstalled = 115;
inline constexpr Dword kTextFolderLine = 116;

}  // namespace korv::uninstall_ids
