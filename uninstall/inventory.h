// The inventory of what the driver family left on the machine: the driver
// packages the spooler recorded as installed, the printer drivers of the
// family, and the print queues that use them.
//
// One tree of three record kinds. Each list is singly linked through Next and
// grows at the front, so it holds its elements in the reverse order of their
// discovery. The uninstall window shows the tree; the removal works through it
// and writes each result into the record (Removed, Status, the counts). Records
// are never unlinked: a removed component stays listed with its status.
//
// Lifetime: every record, every private copy of a driver description and the
// two enumeration buffers are LocalAlloc blocks that the program never frees;
// the inventory lives until the process ends. Tests run the program many times
// in one process, so the blocks are also remembered in a list that
// ResetInventory (registered as a global reset) frees, and that
// InventoryBlockCount reports, so a leak check can subtract what is held on
// purpose from what the machine counts as allocated.
//
// Collection runs on one thread at a time and takes no locks; afterwards the
// records are handed between the window thread and the removal thread by
// window messages.
//
// Two rules keep a package key that cannot be read whole from steering the
// removal:
//
// - A package key whose "DriverStorePath" cannot be read (missing, of another
//   type, longer than the 1024-unit buffer) is passed over. Testing whatever
//   the buffer held before the read would list the previous package a second
//   time under this key's name, and a later removal would delete the wrong
//   package, or the same one twice.
//
// - No package is ever deleted by a cut path. DriverStorePath holds 1023
//   units: a registry value that does not fit the 1024-unit buffer with its
//   terminators (a path of 1023 units or more, as the value is a list ended
//   by two) fails the bounded read and is passed over like any unreadable
//   one, and a driver's INF path longer than 1023 units counts as no INF path, so the driver lands in a record without a
//   package path, which the removal never deletes as a package. PackageName
//   holds 49 units and is display text only (the line also shows the whole
//   DriverStorePath, and deletion uses that path): a longer last path
//   component is shown cut.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/fixed_text.h"
#include "platform/spooler.h"
#include "platform/types.h"

namespace korv {

struct QueueRecord {
  // The spooler's description of the queue, in PrinterEnumBuffer.
  const os::PrinterInfo2* Printer;
  Dword Removed;
  FixedText<256> Status;  // result of the last removal attempt
  QueueRecord* Next;
};

struct DriverRecord {
  // The spooler's description of the driver: a private copy, or for a driver
  // found with no package to hold it, the element of DriverEnumBuffer itself.
  // Null when the copy could not be allocated (shown, never removed).
  os::DriverInfo8* Details;
  QueueRecord* Queues;
  std::int32_t QueueCount;  // attached queues not yet removed
  Dword Removed;
  FixedText<256> Status;
  DriverRecord* Next;
};

struct PackageRecord {
  FixedText<50> PackageName;        // last component of DriverStorePath
  FixedText<1024> DriverStorePath;  // the INF in the driver store; empty: no package
  FixedText<50> DriverVer;          // "DriverVer" of that INF, as written there
  DriverRecord* Drivers;
  std::int32_t DriverCount;  // attached drivers not yet removed
  Dword Removed;
  FixedText<256> Status;
  PackageRecord* Next;
};

// The records of one spooler enumeration, side by side in one LocalAlloc
// block right after this header, the way the spooler itself returns them.
template <typename Record>
struct EnumBuffer {
  Record* records;
  std::size_t count;

  Record* begin() const { return records; }
  Record* end() const { return records + count; }
  Record& operator[](std::size_t index) const { return records[index]; }
};

// Head of the package list; null while nothing was found.
extern PackageRecord* InstalledPackages;
// The spooler's level-8 driver enumeration and level-2 printer enumeration,
// kept for as long as the records that point into them. Null until filled.
extern EnumBuffer<os::DriverInfo8>* DriverEnumBuffer;
extern EnumBuffer<os::PrinterInfo2>* PrinterEnumBuffer;

// The three collection steps, each run at most once per process, in this
// order, from one thread; the later ones attach to what the earlier ones
// built.
//
// Records every package of the family the spooler lists for the native
// architecture's environment. 0 when that architecture is none of x86, ARM,
// x64 and ARM64 (nothing collected); otherwise 1, also when nothing is there.
int CollectDriverPackages();
// Attaches every registered driver of the family (driver file path containing
// "korvdrv6.dll") to the package records, making a record where none exists.
// Always 0.
int CollectPrinterDrivers();
// Attaches every local queue whose driver name equals a listed driver's name
// to every record of that driver. Always 0.
int CollectPrinters();

// Copies a filled record into a new zeroed block and links it in front of
// InstalledPackages. Null (the record dropped) when the block cannot be had.
PackageRecord* PushPackageRecord(const PackageRecord& record);
// Attaches the driver to every package record (making the first record when
// the list is empty and the driver names an INF). Returns the number of
// package records that received it with its description.
int AttachDriverToPackages(const os::DriverInfo8* driver);
// Attaches the queue under every driver record whose driver it uses. 0.
int AttachPrinterToDrivers(const os::PrinterInfo2* printer);

// True when a printer driver of the family is registered with the spooler
// (with or without a package): collects packages and drivers, not queues.
bool IsInstallationPresent();

// LocalAlloc blocks the inventory holds for the life of the process.
std::size_t InventoryBlockCount();
// Frees the whole inventory and empties the globals (for tests).
void ResetInventory();

// The uninstall window's inventory thread calls MarkInventoryCollected once
// the three collections have run. InventoryIsComplete is false until then,
// and after a record was dropped for want of memory or the spooler refused
// an enumeration: the removal must then not report the family as gone, since
// what it could not see is still installed.
void MarkInventoryCollected();
bool InventoryIsComplete();

}  // namespace korv
