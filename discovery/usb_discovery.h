// Discovery of the USB printers that are plugged in.
//
// A pass walks the present interfaces of the USB printer class
// (GUID_DEVINTERFACE_USBPRINT) and reads, for each, the "Device Parameters"
// that the USB printing class driver keeps for it in the registry, in the
// HKLM key
//   SYSTEM\CurrentControlSet\Control\DeviceClasses\{28d78fad-...}\##?#<p>\#\Device Parameters
// where <p> is the device path without its \\?\ prefix. Read from it are
// "Port Description" (what the printer calls itself, e.g. KorvaneKV-T100B)
// and "Port Number" (the n of the spooler port USBnnn). Each printer becomes
// one PrinterDevice.
//
// Which interfaces become records:
//
//  - Every USB printer, whatever its vendor. The printer's vendor ID (the
//    four characters after "\\?\usb#vid_" in the device path) is not looked
//    at. Our printers use more than one vendor ID (2D37 and 1FC9 so far),
//    and a new controller board can bring another; a vendor filter would
//    drop such a printer without a word, while a printer of another make is
//    turned away anyway by the model lookup, which knows only our
//    descriptions, with a trace line naming what it reported. The filter
//    would add no protection either: Windows binds our package by the
//    hardware ID, which is made of the description, not the vendor ID.
//  - Only interfaces whose "Port Number" is readable: a REG_DWORD of exactly
//    four bytes. Without it the printer has no known spooler port, and a
//    queue must not be created on a port we made up, so the interface is
//    left out (it shows up in a later pass once the class driver has
//    written the value).
//  - A device path of four units or fewer (nothing after the \\?\ prefix)
//    names no registry key; the interface is left out.
//  - A failure for one interface (interface detail, opening its key, a
//    memory allocation) leaves out that interface only, without a trace.
//
// "Port Description" is taken from a REG_SZ value only, at most its first 32
// units, and no further than its data size, whether or not the data carries
// a terminator (an odd trailing byte is not a unit and is dropped). A value
// of another type, or one larger than kLargestDescriptionValue bytes, leaves
// the description empty, as a missing one does: the record gets the
// checksum 0000 and the hardware ID usbprint\0000, and no model matches it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "discovery/printer_device.h"

namespace korv {

// Description values are read whole before they are cut to 32 units; a
// value larger than this is not a printer's self-description and is not
// read at all. A USB printer's IEEE 1284 device ID, from which the class
// driver takes the description, is at most 64 KiB.
inline constexpr std::uint32_t kLargestDescriptionValue = 1024 * 1024;

// Frees the records *list points to, enumerates the USB printers that are
// present now and links one record per printer in at the head of *list, so
// the list runs in the reverse of the enumeration order. Returns the number
// of records added; 0 with *list null when the printer class cannot be
// enumerated. The records stay valid until the next call.
int DiscoverUsbPrinters(PrinterDevice** list);

// Frees every record reachable from *list, from the head on, and sets *list
// to null.
void FreeDeviceList(PrinterDevice** list);

// Converts source to the ANSI code page into dest, a buffer of destSize
// bytes, and terminates it. Returns dest; null, with dest untouched, when
// dest or source is null or source has no terminator within destSize units.
// When the conversion itself fails, dest holds an empty text.
char* WideToAnsi(char* dest, std::size_t destSize, const char16_t* source);

}  // namespace korv
