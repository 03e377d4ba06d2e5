// The driver-store road to a print queue: upload the family's driver
// package to the spooler, have Plug and Play look at the device tree again,
// and bind the package to the plugged-in printer so that the system installs
// the driver on it and creates the queue by itself.
#pragma once

#include "platform/types.h"

namespace korv {

// Uploads the package of the INF at infPath (always, even when the store has
// it) and traces where it landed with the HRESULT. 1 only for S_OK; any other
// result, success codes included, is 0.
int DoUploadDriverPackage(const char16_t* infPath);

// Asks Plug and Play to re-enumerate the whole device tree from its root,
// with CM_Reenumerate_DevNode's `flags`. After a package upload the request
// is made only when the root was located (kLocated); the search loop makes
// it whatever the locate call answered (kUnchecked: root 0 when it failed),
// as it looks at no result of the re-enumeration either.
enum class RootLookup { kLocated, kUnchecked };
void ReenumerateDevices(Dword flags, RootLookup lookup);

// Installs the INF on the devices with this hardware ID (forced). The
// outcome shows only in whether a print queue appears afterwards.
void BindDriverToDevice(const char16_t* hardwareId, const char16_t* infPath);

}  // namespace korv
