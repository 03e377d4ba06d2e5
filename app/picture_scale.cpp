#include "app/picture_scale.h"

#include "common/globals.h"
#include "common/resource_ids.h"
#include "platform/ui.h"

namespace korv {

namespace {

constexpr Dword kBaseDpi = 96;

struct Picture {
  int controlId;
  Dword bitmapId;
  int width;  // pixels at 96 DPI: the bitmap's own size
  int height;
};

// The gear (a static without an id of its own) and the connection picture.
constexpr Picture kPictures[] = {
    {IDC_GEAR_PICTURE, IDB_GEAR, 67, 67},
    {IDC_CONNECTION_PICTURE, IDB_CONNECTION, 490, 122},
};

}  // namespace

int ScaledPixels(int pixels, Dword dpi) {
  return static_cast<int>((static_cast<long long>(pixels) * dpi + kBaseDpi / 2) / kBaseDpi);
}

void FitPicturesToScale(Hwnd dialog, Dword dpi) {
  if (dpi == 0) dpi = kBaseDpi;
  for (const Picture& p : kPictures) {
    // At 96 DPI too: a window moved back from a larger scale gets the
    // picture at its own size again.
    os::SetScaledPicture(os::GetDlgItem(dialog, p.controlId), AppInstance, p.bitmapId,
                         ScaledPixels(p.width, dpi), ScaledPixels(p.height, dpi));
  }
}

}  // namespace korv
