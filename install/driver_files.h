// Names of the driver family's files and of its language monitor, as the
// spooler and the installer folder know them.
#pragma once

namespace korv {

inline constexpr char16_t kRenderingDriverFile[] = u"korvdrv6.dll";
inline constexpr char16_t kConfigModuleFile[] = u"korvdrv6ui.dll";
inline constexpr char16_t kDataFile[] = u"korvdrv6.dat";
inline constexpr char16_t kMonitorFile[] = u"korvmon.dll";
inline constexpr char16_t kMonitorName[] = u"Language Monitor";

}  // namespace korv
