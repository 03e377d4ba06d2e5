// The driver-store road to a print queue: upload the family's driver
// package to the spooler, have Plug and Play look at the device tree again,
// and bind the package to the plugged-in printer so that the system installs
// the driver on it and creates the queue by itself.
#pragma once

namespace korv {

// Uploads the package of the INF at infPath (always, even when the store has
// it) and traces where it landed with the HRESULT. 1 only for S_OK; any other
// result, success codes included, is 0.
int DoUploadDriverPackage(const char16_t* infPath);

// Asks for a re-enumeration of the whole device tree, without waiting for it.
void ReenumerateDevices();

// Installs the INF on the devices with this hardware ID (forced). The
// outcome shows only in whether a print queue appears afterwards.
void BindDriverToDevice(const char16_t* hardwareId, const char16_t* infPath);

}  // namespace korv
