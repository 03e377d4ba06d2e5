#include "uninstall/inventory.h"

#include <memory>
#include <new>
#include <utility>

#include "common/globals.h"
#include "common/text_util.h"
#include "platform/devices.h"
#include "platform/kernel.h"
#include "platform/registry.h"
#include "system/processor_build.h"

namespace korv {

PackageRecord* InstalledPackages = nullptr;
EnumBuffer<os::DriverInfo8>* DriverEnumBuffer = nullptr;
EnumBuffer<os::PrinterInfo2>* PrinterEnumBuffer = nullptr;

namespace {

// Every block the inventory took, with how to end the object in it, so that
// a test's reset can give them back.
struct HeldBlock {
  void* block;
  void (*destroy)(void*);
};

std::vector<HeldBlock>& HeldBlocks() {
  static std::vector<HeldBlock> blocks;
  return blocks;
}

// Whether the inventory shows everything of the family on the machine: it was
// collected, no record was dropped for want of memory and the spooler
// answered both enumerations. A driver counts as dropped only when no record
// at all shows it: one whose copy under a package could not be made still
// stands in another package's record or in a placeholder of its own.
bool inventoryCollected = false;
bool inventoryIncomplete = false;

// A zeroed LocalAlloc block holding a T built from args; null when the
// block cannot be had, which leaves the inventory incomplete unless the
// caller makes up for it (kMayMiss). Never freed by the program.
enum class Miss { kIncomplete, kMayMiss };
template <typename T, Miss miss = Miss::kIncomplete, typename... Args>
T* NewHeld(Args&&... args) {
  void* block = os::LocalAlloc(true, sizeof(T));
  if (block == nullptr) {
    if (miss == Miss::kIncomplete) inventoryIncomplete = true;
    return nullptr;
  }
  T* object = new (block) T(std::forward<Args>(args)...);
  HeldBlocks().push_back(HeldBlock{block, [](void* p) { static_cast<T*>(p)->~T(); }});
  return object;
}

// The records of an enumeration moved into one zeroed LocalAlloc block,
// behind the header that finds them; null (the inventory incomplete) when the
// block cannot be had. Never freed by the program.
template <typename Record>
EnumBuffer<Record>* NewHeldRecords(std::vector<Record>&& records) {
  static_assert(sizeof(EnumBuffer<Record>) % alignof(Record) == 0, "records follow the header aligned");
  const std::size_t count = records.size();
  void* block = os::LocalAlloc(true, sizeof(EnumBuffer<Record>) + count * sizeof(Record));
  if (block == nullptr) {
    inventoryIncomplete = true;
    return nullptr;
  }
  auto* buffer = static_cast<EnumBuffer<Record>*>(block);
  buffer->records = reinterpret_cast<Record*>(buffer + 1);
  buffer->count = count;
  std::uninitialized_move(records.begin(), records.end(), buffer->records);
  HeldBlocks().push_back(HeldBlock{block, [](void* p) {
                                     auto* held = static_cast<EnumBuffer<Record>*>(p);
                                     std::destroy(held->begin(), held->end());
                                   }});
  return buffer;
}

const bool kResetRegistered = (RegisterGlobalReset(&ResetInventory), true);

constexpr Dword kPackageKeyAccess = os::KEY_QUERY_VALUE | os::KEY_ENUMERATE_SUB_KEYS | os::KEY_WOW64_64KEY;

constexpr char16_t kPackagesKey[] =
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\%ws\\DriverPackages";

// The driver's INF path when it can name a package: set, not empty, and
// whole in a DriverStorePath. A longer one counts as none, so that no
// package is ever deleted by a cut path.
const char16_t* UsableInfPath(const os::DriverInfo8& driver) {
  const std::size_t length = TextLength(driver.pszInfPath.c_str());
  if (length == 0 || length >= FixedText<1024>::capacity()) return nullptr;
  return driver.pszInfPath.c_str();
}

}  // namespace

PackageRecord* PushPackageRecord(const PackageRecord& record) {
  PackageRecord* copy = NewHeld<PackageRecord>(record);
  if (copy == nullptr) return nullptr;
  copy->Next = InstalledPackages;
  InstalledPackages = copy;
  return copy;
}

int CollectDriverPackages() {
  FixedText<20> environment;
  const ProcessorBuild* build = BuildFor(os::GetNativeProcessorArchitecture());
  const char16_t* name = build != nullptr ? build->environment : nullptr;
  if (name == nullptr) return 0;
  environment.assign(name);

  FixedText<1024> keyPath;
  keyPath.format(kPackagesKey, environment.c_str());
  // The records are the 64-bit spooler's: read in the native view, so that
  // the 32-bit program on 64-bit Windows sees them whether or not the system
  // shares this key between its two views.
  os::KeyHandle packages;
  if (os::RegOpenKeyExW(keyPath.c_str(), kPackageKeyAccess, &packages) != 0) return 1;

  for (Dword index = 0;; ++index) {
    FixedText<260> subkeyName;
    if (os::RegEnumKeyW(packages, index, subkeyName.data(), static_cast<Dword>(subkeyName.capacity())) != 0) break;
    os::KeyHandle subkey;
    if (os::RegOpenKeyExW(packages, subkeyName.c_str(), kPackageKeyAccess, &subkey) != 0) continue;

    // A fresh buffer for every key, and the read's status decides: a key
    // whose path cannot be read (or does not fit) names no package.
    FixedText<1024> path;
    Dword bytes = static_cast<Dword>(path.capacity() * sizeof(char16_t));
    const Dword status = os::RegGetValueW(subkey, u"DriverStorePath", os::RRF_RT_REG_MULTI_SZ,
                                          path.data(), &bytes);
    subkey.reset();
    if (status != 0) continue;
    path.terminate_last();
    if (FindText(path.c_str(), u"korvv6.inf") == nullptr) continue;

    PackageRecord record{};
    record.DriverStorePath.assign(path.view());
    const std::u16string_view whole = path.view();
    const std::size_t slash = whole.rfind(u'\\');
    if (slash != std::u16string_view::npos) record.PackageName.assign(whole.substr(slash + 1));
    // Left empty when the INF cannot be read.
    os::SetupQueryInfVersionW(path.c_str(), u"DriverVer", record.DriverVer.data(),
                              static_cast<Dword>(record.DriverVer.capacity()));
    record.DriverVer.terminate_last();
    PushPackageRecord(record);
  }
  return 1;
}

// A record that cannot be had here loses nothing yet: when no package took
// the driver, the caller gives it a placeholder record of its own.
int AttachDriverToPackages(const os::DriverInfo8* driver) {
  const char16_t* infPath = UsableInfPath(*driver);
  if (InstalledPackages == nullptr && infPath != nullptr) {
    InstalledPackages = NewHeld<PackageRecord, Miss::kMayMiss>();
  }

  int received = 0;
  for (PackageRecord* package = InstalledPackages; package != nullptr; package = package->Next) {
    if (package->DriverStorePath.empty() && infPath != nullptr) package->DriverStorePath.assign(infPath);
    DriverRecord* record = NewHeld<DriverRecord, Miss::kMayMiss>();
    if (record == nullptr) continue;
    record->Next = package->Drivers;
    package->Drivers = record;
    record->Details = NewHeld<os::DriverInfo8, Miss::kMayMiss>(*driver);
    if (record->Details == nullptr) continue;
    ++package->DriverCount;
    ++received;
  }
  return received;
}

int CollectPrinterDrivers() {
  std::vector<os::DriverInfo8> drivers;
  // What came back decides; a refused enumeration leaves the inventory short.
  if (!os::EnumPrinterDriversW(&drivers)) inventoryIncomplete = true;
  if (drivers.empty()) return 0;
  DriverEnumBuffer = NewHeldRecords(std::move(drivers));
  if (DriverEnumBuffer == nullptr) return 0;

  for (os::DriverInfo8& driver : *DriverEnumBuffer) {
    if (FindText(driver.pDriverPath.c_str(), u"korvdrv6.dll") == nullptr) continue;
    if (AttachDriverToPackages(&driver) != 0) continue;
    // No record took it: a record of its own, with no package path, that
    // shows the driver straight from the enumeration.
    DriverRecord* record = NewHeld<DriverRecord>();
    if (record == nullptr) continue;
    record->Details = &driver;
    PackageRecord placeholder{};
    placeholder.Drivers = record;
    placeholder.DriverCount = 1;
    PushPackageRecord(placeholder);
  }
  return 0;
}

int AttachPrinterToDrivers(const os::PrinterInfo2* printer) {
  for (PackageRecord* package = InstalledPackages; package != nullptr; package = package->Next) {
    for (DriverRecord* driver = package->Drivers; driver != nullptr; driver = driver->Next) {
      if (driver->Details == nullptr || driver->Details->pName != printer->pDriverName) continue;
      QueueRecord* queue = NewHeld<QueueRecord>();
      if (queue == nullptr) continue;
      queue->Printer = printer;
      queue->Next = driver->Queues;
      driver->Queues = queue;
      ++driver->QueueCount;
    }
  }
  return 0;
}

int CollectPrinters() {
  std::vector<os::PrinterInfo2> printers;
  if (!os::EnumPrintersW(os::PRINTER_ENUM_LOCAL, &printers)) inventoryIncomplete = true;
  if (printers.empty()) return 0;
  PrinterEnumBuffer = NewHeldRecords(std::move(printers));
  if (PrinterEnumBuffer == nullptr) return 0;
  for (const os::PrinterInfo2& printer : *PrinterEnumBuffer) AttachPrinterToDrivers(&printer);
  return 0;
}

bool IsInstallationPresent() {
  CollectDriverPackages();
  CollectPrinterDrivers();
  return InstalledPackages != nullptr && InstalledPackages->DriverCount != 0;
}

std::size_t InventoryBlockCount() { return HeldBlocks().size(); }

void ResetInventory() {
  (void)kResetRegistered;
  auto& blocks = HeldBlocks();
  while (!blocks.empty()) {
    HeldBlock held = blocks.back();
    blocks.pop_back();
    held.destroy(held.block);
    os::LocalFree(held.block);
  }
  InstalledPackages = nullptr;
  DriverEnumBuffer = nullptr;
  PrinterEnumBuffer = nullptr;
  inventoryCollected = false;
  inventoryIncomplete = false;
}

void MarkInventoryCollected() { inventoryCollected = true; }

bool InventoryIsComplete() { return inventoryCollected && !inventoryIncomplete; }

}  // namespace korv
