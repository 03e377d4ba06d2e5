// SYSTEMTIME -> FILETIME, computed here rather than asked of the system, so
// that the driver date registered with the spooler is the same number on
// every build.
#pragma once

#include <cstdint>

namespace korv {

// The members of a Windows SYSTEMTIME (UTC).
struct SystemTime {
  std::uint16_t wYear = 0;
  std::uint16_t wMonth = 0;
  std::uint16_t wDayOfWeek = 0;  // ignored, as by SystemTimeToFileTime
  std::uint16_t wDay = 0;
  std::uint16_t wHour = 0;
  std::uint16_t wMinute = 0;
  std::uint16_t wSecond = 0;
  std::uint16_t wMilliseconds = 0;
};

// 100-nanosecond intervals since 1 January 1601 UTC. Like
// SystemTimeToFileTime, refuses (false, *fileTime untouched) a time outside
// the years 1601 to 30827 or with a member out of its range (month 1-12, a
// day that the month has, hour < 24, minute and second < 60, ms < 1000).
bool SystemTimeToFileTime(const SystemTime& time, std::uint64_t* fileTime);

}  // namespace korv
