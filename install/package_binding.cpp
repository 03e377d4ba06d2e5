#include "install/package_binding.h"

#include "common/fixed_text.h"
#include "common/trace.h"
#include "platform/devices.h"
#include "platform/spooler.h"

namespace korv {

int DoUploadDriverPackage(const char16_t* infPath) {
  // Where the store put its copy of the INF; reported for the trace only.
  FixedText<260> stored;
  Dword capacity = static_cast<Dword>(stored.capacity());
  const HResult result =
      os::UploadPrinterDriverPackageW(infPath, os::UPDP_UPLOAD_ALWAYS, stored.data(), &capacity);
  stored.terminate_last();  // whatever came back, the trace reads a terminated text
  trace("DoUploadDriverPackage, %ws, code:%d.", stored.c_str(), static_cast<int>(result));
  return result == S_OK ? 1 : 0;
}

void ReenumerateDevices(Dword flags, RootLookup lookup) {
  Dword root = 0;
  const Dword located = os::CM_Locate_DevNodeW(&root, os::CM_LOCATE_DEVNODE_NORMAL);
  if (located == os::CR_SUCCESS || lookup == RootLookup::kUnchecked) os::CM_Reenumerate_DevNode(root, flags);
}

void BindDriverToDevice(const char16_t* hardwareId, const char16_t* infPath) {
  os::UpdateDriverForPlugAndPlayDevicesW(hardwareId, infPath, os::INSTALLFLAG_FORCE);
}

}  // namespace korv
