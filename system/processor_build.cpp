#include "system/processor_build.h"

#include "platform/types.h"

namespace korv {

const ProcessorBuild* BuildFor(std::uint16_t architecture) {
  static constexpr ProcessorBuild kIntel{u"i386", u"Windows NT x86"};
  static constexpr ProcessorBuild kArm{u"arm", u"Windows ARM"};
  static constexpr ProcessorBuild kAmd64{u"amd64", u"Windows x64"};
  static constexpr ProcessorBuild kArm64{u"arm64", u"Windows ARM64"};
  switch (architecture) {
    case arch::Intel: return &kIntel;
    case arch::Arm: return &kArm;
    case arch::Amd64: return &kAmd64;
    case arch::Arm64: return &kArm64;
    default: return nullptr;
  }
}

}  // namespace korv
