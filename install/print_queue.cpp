#include "install/print_queue.h"

#include <string_view>
#include <vector>

#include "common/trace.h"
#include "platform/kernel.h"
#include "platform/spooler.h"

namespace korv {

namespace {

constexpr int kQueueChecks = 5;
constexpr Dword kQueueCheckPauseMs = 1000;

std::u16string_view ViewOf(const char16_t* text) {
  return text != nullptr ? std::u16string_view(text) : std::u16string_view();
}

}  // namespace

int QueryQueueState(const char16_t* queue, const char16_t* port) {
  os::PrinterHandle printer;
  if (!os::OpenPrinterW(queue, os::PRINTER_ALL_ACCESS, &printer)) return kQueueAbsent;
  // A queue whose details cannot be read is there; taking it for one on the
  // right port leaves it alone rather than moving it blindly.
  os::PrinterInfo2 info;
  if (!os::GetPrinterW(printer, &info)) return kQueueOnPort;
  return info.pPortName == ViewOf(port) ? kQueueOnPort : kQueueOnOtherPort;
}

int AddPrintQueue(const InstallRequest& request) {
  const char16_t* name = request.PrinterName.c_str();
  const char16_t* port = request.PortName.c_str();
  if (QueryQueueState(name, port) != kQueueAbsent) {
    trace("The printer %ws is already added.", name);
    return 1;
  }

  os::PrinterInfo2 info;
  info.pPrinterName = request.PrinterName.view();
  info.pPortName = request.PortName.view();
  info.pDriverName = request.DriverName.view();
  info.pPrintProcessor = u"WinPrint";
  info.pDatatype = u"RAW";
  info.Attributes = os::PRINTER_ATTRIBUTE_LOCAL;
  {
    os::PrinterHandle added = os::AddPrinterW(info);
    if (!added) {
      trace("AddPrinter %ws failed, errcode:%d.", name, static_cast<int>(os::GetLastError()));
    }
  }

  // A failed addition is not the end: Plug and Play may be creating the same
  // queue right now, and a queue that shows up counts on any port.
  for (int check = 0; check < kQueueChecks; ++check) {
    if (QueryQueueState(name, port) != kQueueAbsent) return 1;
    os::Sleep(kQueueCheckPauseMs);
  }
  return 0;
}

int SetQueuePort(const char16_t* queue, const char16_t* port) {
  os::PrinterHandle printer;
  if (!os::OpenPrinterW(queue, os::PRINTER_ALL_ACCESS, &printer)) return 0;
  os::PrinterInfo2 info;
  if (!os::GetPrinterW(printer, &info)) return 0;
  if (info.pPortName == ViewOf(port)) return 0;
  // The record goes back whole, as the spooler has it, with only the port
  // changed.
  os::PrinterChanges changes;
  changes.pPortName = port;
  return os::SetPrinterW(printer, &changes, 0) ? 1 : 0;
}

int PortExists(const char16_t* port) {
  std::vector<Text> ports;
  if (!os::EnumPortsW(&ports)) return 0;
  for (const Text& name : ports) {
    if (name == ViewOf(port)) return 1;
  }
  return 0;
}

}  // namespace korv
