/* Test stand-in for the driver family's DLLs, built once and copied under
 * each name of an installer folder (korvdrv6.dll, korvdrv6ui.dll, korvmon.dll,
 * vcomp140.dll): the program copies and registers them by name and never
 * loads them. Wine's spooler does load the configuration module of a queue's
 * driver when the queue is added and asks it for the default device mode
 * (through a null pointer when these exports are missing). */
#include <windows.h>
#include <wchar.h>

/* What the spooler passes with a null property-sheet argument (winddiui.h of
 * the driver kit, which mingw-w64 does not ship). */
typedef struct {
  WORD cbSize, Reserved;
  HANDLE hPrinter;
  LPWSTR pszPrinterName;
  PDEVMODEW pdmIn, pdmOut;
  DWORD cbOut, fMode;
} DocumentPropertyHeader;

/* No property sheets; the device mode asked for, or a plain one. */
__declspec(dllexport) LONG WINAPI DrvDocumentPropertySheets(void* sheetInfo, LPARAM lParam) {
  DocumentPropertyHeader* h = (DocumentPropertyHeader*)lParam;
  DEVMODEW plain = {.dmSpecVersion = DM_SPECVERSION, .dmSize = sizeof plain, .dmFields = DM_COPIES, .dmCopies = 1};
  if (sheetInfo || !h) return -1;
  if (!h->fMode || !h->pdmOut) return (LONG)(h->cbOut = sizeof plain);
  if (h->pszPrinterName) wcsncpy(plain.dmDeviceName, h->pszPrinterName, CCHDEVICENAME - 1);
  if (h->fMode & DM_OUT_BUFFER) *h->pdmOut = h->pdmIn && h->pdmIn->dmSize == sizeof plain ? *h->pdmIn : plain;
  return 1; /* CPSUI_OK */
}

/* One copy; no paper, bin or resolution lists. */
__declspec(dllexport) DWORD WINAPI DrvDeviceCapabilities(HANDLE printer, PWSTR device, WORD what, void* out, PDEVMODEW dm) {
  (void)printer, (void)device, (void)out, (void)dm;
  return what == DC_COPIES ? 1 : what == DC_DRIVER ? 0x0400 : what == DC_SIZE ? sizeof(DEVMODEW)
       : what == DC_VERSION ? DM_SPECVERSION : 0;
}
