// The processors the driver family has builds for, with the names each is
// known by: the installer folder's subfolder of its files and the spooler's
// environment. Any other processor (Itanium, unknown) has no build.
#pragma once

#include <cstdint>

namespace korv {

struct ProcessorBuild {
  const char16_t* folder;       // "i386", "arm", "amd64", "arm64"
  const char16_t* environment;  // "Windows NT x86", "Windows ARM", "Windows x64", "Windows ARM64"
};

// The build for a processor architecture (PROCESSOR_ARCHITECTURE_*), or null.
const ProcessorBuild* BuildFor(std::uint16_t architecture);

}  // namespace korv
