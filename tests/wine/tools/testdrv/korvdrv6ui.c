/* Test stand-in for the family's configuration module. Wine's spooler loads
 * the configuration module of a queue's driver when the queue is added and
 * asks it for the default device mode; without these two exports Wine's
 * AddPrinterW calls through a null pointer. The module answers with a plain
 * DEVMODEW and has no user interface. */
#include <windows.h>
#include <wchar.h>

/* The header the spooler passes with a null property-sheet argument
 * (winddiui.h of the driver kit, which mingw-w64 does not ship). */
typedef struct {
  WORD cbSize;
  WORD Reserved;
  HANDLE hPrinter;
  LPWSTR pszPrinterName;
  PDEVMODEW pdmIn;
  PDEVMODEW pdmOut;
  DWORD cbOut;
  DWORD fMode;
} KorvDocumentPropertyHeader;

static void default_devmode(DEVMODEW* dm, const wchar_t* printer) {
  ZeroMemory(dm, sizeof *dm);
  if (printer) wcsncpy(dm->dmDeviceName, printer, CCHDEVICENAME - 1);
  dm->dmSpecVersion = DM_SPECVERSION;
  dm->dmSize = sizeof *dm;
  dm->dmFields = DM_ORIENTATION | DM_COPIES;
  dm->dmOrientation = DMORIENT_PORTRAIT;
  dm->dmCopies = 1;
}

__declspec(dllexport) LONG WINAPI DrvDocumentPropertySheets(void* sheetInfo, LPARAM lParam) {
  KorvDocumentPropertyHeader* header = (KorvDocumentPropertyHeader*)lParam;
  if (sheetInfo || !header) return -1; /* no property sheets */
  if (header->fMode == 0 || !header->pdmOut) {
    header->cbOut = sizeof(DEVMODEW);
    return (LONG)header->cbOut;
  }
  if (header->fMode & DM_OUT_BUFFER) {
    if (header->pdmIn && header->pdmIn->dmSize == sizeof(DEVMODEW))
      CopyMemory(header->pdmOut, header->pdmIn, sizeof(DEVMODEW));
    else
      default_devmode(header->pdmOut, header->pszPrinterName);
  }
  return 1; /* CPSUI_OK */
}

__declspec(dllexport) DWORD WINAPI DrvDeviceCapabilities(HANDLE printer, PWSTR device, WORD capability,
                                                         void* output, PDEVMODEW devmode) {
  (void)printer; (void)device; (void)output; (void)devmode;
  switch (capability) {
    case DC_COPIES: return 1;
    case DC_DRIVER: return 0x0400;
    case DC_SIZE: return sizeof(DEVMODEW);
    case DC_EXTRA: return 0;
    case DC_VERSION: return DM_SPECVERSION;
    default: return 0; /* no paper, bin or resolution lists */
  }
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
  (void)instance; (void)reason; (void)reserved;
  return TRUE;
}
