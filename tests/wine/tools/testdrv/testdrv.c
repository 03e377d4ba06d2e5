/* Test stand-in for the driver family's DLLs, built once and copied under
 * each name of an installer folder (korvdrv6.dll, korvdrv6ui.dll, korvmon.dll,
 * vcomp140.dll): the program copies and registers them by name and never
 * loads them. Wine's spooler does load the configuration module of a queue's
 * driver when the queue is added and asks it for the default device mode
 * (through a null pointer when these exports are missing); the answer is a
 * plain DEVMODEW, and there is no user interface. */
#include <windows.h>
#include <wchar.h>

/* The header the spooler passes with a null property-sheet argument
 * (winddiui.h of the driver kit, which mingw-w64 does not ship). */
typedef struct {
  WORD cbSize, Reserved;
  HANDLE hPrinter;
  LPWSTR pszPrinterName;
  PDEVMODEW pdmIn, pdmOut;
  DWORD cbOut, fMode;
} DocumentPropertyHeader;

__declspec(dllexport) LONG WINAPI DrvDocumentPropertySheets(void* sheetInfo, LPARAM lParam) {
  DocumentPropertyHeader* header = (DocumentPropertyHeader*)lParam;
  if (sheetInfo || !header) return -1; /* no property sheets */
  if (header->fMode == 0 || !header->pdmOut) return (LONG)(header->cbOut = sizeof(DEVMODEW));
  if (!(header->fMode & DM_OUT_BUFFER)) return 1;
  DEVMODEW* dm = header->pdmOut;
  if (header->pdmIn && header->pdmIn->dmSize == sizeof(DEVMODEW)) {
    *dm = *header->pdmIn;
    return 1;
  }
  ZeroMemory(dm, sizeof *dm);
  if (header->pszPrinterName) wcsncpy(dm->dmDeviceName, header->pszPrinterName, CCHDEVICENAME - 1);
  dm->dmSpecVersion = DM_SPECVERSION;
  dm->dmSize = sizeof *dm;
  dm->dmFields = DM_ORIENTATION | DM_COPIES;
  dm->dmOrientation = DMORIENT_PORTRAIT;
  dm->dmCopies = 1;
  return 1; /* CPSUI_OK */
}

__declspec(dllexport) DWORD WINAPI DrvDeviceCapabilities(HANDLE printer, PWSTR device, WORD capability, void* output,
                                                         PDEVMODEW devmode) {
  (void)printer, (void)device, (void)output, (void)devmode;
  switch (capability) {
    case DC_COPIES: return 1;
    case DC_DRIVER: return 0x0400;
    case DC_SIZE: return sizeof(DEVMODEW);
    case DC_VERSION: return DM_SPECVERSION;
    default: return 0; /* no extra bytes, no paper, bin or resolution lists */
  }
}
