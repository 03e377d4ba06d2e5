// The two pictures of the installer window at the screen's scale.
//
// The program is per-monitor DPI aware (sharp text at any scale), so the
// dialog manager sizes the dialog and its controls for the monitor's DPI,
// but a bitmap shows at its own pixel size. The gear and the connection
// picture are drawn for 100 % (96 DPI); at any other scale they are shown
// resampled to the same share of their frames.
#pragma once

#include "platform/types.h"

namespace korv {

// A picture drawn at `pixels` for 96 DPI, at `dpi`: rounded to the nearest
// pixel.
int ScaledPixels(int pixels, Dword dpi);

// Shows both pictures of dialog 106 at `dpi` (96 when 0 is given).
void FitPicturesToScale(Hwnd dialog, Dword dpi);

}  // namespace korv
