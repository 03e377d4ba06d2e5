// The inventory's records, as the uninstall window's inventory thread
// collects them from the machine: which packages, drivers and queues of the
// family are found, how they nest, and whether the inventory counts as whole.
#include <gtest/gtest.h>

#include "sim_fixture.h"
#include "uninstall/inventory.h"

namespace korv::test {
namespace {

// Packages as "name<store path, or its length>version#count{drivers}"; drivers as
// "name#count[queues]" ("-" for a record without description).
std::string Shape() {
  std::string out;
  for (const PackageRecord* p = InstalledPackages; p != nullptr; p = p->Next) {
    const std::string path = U8(p->DriverStorePath.view());
    out += U8(p->PackageName.view()) + "<" + (path.size() > 100 ? std::to_string(path.size()) + " units" : path) + ">" +
           U8(p->DriverVer.view()) + "#" + std::to_string(p->DriverCount) + "{";
    for (const DriverRecord* d = p->Drivers; d != nullptr; d = d->Next) {
      out += (d->Details != nullptr ? U8(d->Details->pName) : "-") + "#" + std::to_string(d->QueueCount) + "[";
      for (const QueueRecord* q = d->Queues; q != nullptr; q = q->Next) out += U8(q->Printer->pPrinterName) + ",";
      out += "] ";
    }
    out += "};";
  }
  return out;
}

// A family driver (file korvdrv6.dll) with the given INF path.
std::string Driver(const std::string& name, const std::string& inf = "") {
  return R"({"pName":")" + name + R"(","pDriverPath":"C:\\D\\korvdrv6.dll","pszInfPath":")" + inf + R"("})";
}
std::string Queue(const std::string& name, const std::string& driver) {
  return R"({"pPrinterName":")" + name + R"(","pPortName":"LPT1:","pDriverName":")" + driver + R"("})";
}
const std::string kA = R"(C:\\S\\a\\korvv6.inf)", kB = R"(C:\\S\\b\\korvv6.inf)";
const std::string kStoreA = R"({"storedInf":"C:\\S\\a\\korvv6.inf"})";
const std::string kStoreB = R"({"storedInf":"C:\\S\\b\\korvv6.inf"})";
const std::string kKeys =
    R"("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\PackageInstallation\\Windows x64\\DriverPackages\\)";
// An INF path of exactly `units` code units, as JSON text.
std::string LongInf(std::size_t units) { return R"(C:\\S\\)" + std::string(units - 16, 'x') + R"(\\korvv6.inf)"; }

// machine: the "machine" object of a scenario; present: IsInstallationPresent;
// complete: InventoryIsComplete once collected.
struct Case { const char* what; std::string machine; std::string shape; bool present; bool complete; };

class Inventory : public SimTest {};

TEST_F(Inventory, RecordsFollowWhatTheMachineHolds) {
  const std::string family = R"({"spooler":{"store":[)" + kStoreA + R"(],"drivers":[)" + Driver("K80") +
                             R"(],"queues":[)" + Queue("Shop", "K80") + "]}";
  const Case cases[] = {
      {"another make only", R"({"spooler":{"drivers":[{"pName":"Text","pDriverPath":"C:\\D\\unidrv.dll"}],"queues":[)" +
           Queue("T", "Text") + "]}}", "", false, true},
      {"every package gets every driver, lists newest first",
       R"({"infVersions":[{"path":")" + kA + R"(","driverVer":"v1"},{"path":")" + kB + R"(","driverVer":"v2"}],
           "spooler":{"store":[)" + kStoreA + "," + kStoreB + R"(,{"storedInf":"C:\\S\\c\\other.inf"}],"drivers":[)" +
           Driver("K58", kA) + R"(,{"pName":"Text","pDriverPath":"C:\\D\\unidrv.dll"},)" + Driver("K80", kB) +
           R"(],"queues":[)" + Queue("Shop", "K80") + "," + Queue("T", "Text") + "," + Queue("Bar", "K58") + "," +
           Queue("Kitchen", "K80") + "]}}",
       R"(korvv6.inf<C:\S\b\korvv6.inf>v2#2{K80#2[Kitchen,Shop,] K58#1[Bar,] };)"
       R"(korvv6.inf<C:\S\a\korvv6.inf>v1#2{K80#2[Kitchen,Shop,] K58#1[Bar,] };)",
       true, true},
      {"packages without drivers are no installation", R"({"spooler":{"store":[)" + kStoreA + "," + kStoreB + "]}}",
       R"(korvv6.inf<C:\S\b\korvv6.inf>#0{};korvv6.inf<C:\S\a\korvv6.inf>#0{};)", false, true},
      {"a driver alone makes a record of its INF path", R"({"spooler":{"drivers":[)" + Driver("K80", kA) + "]}}",
       R"(<C:\S\a\korvv6.inf>#1{K80#0[] };)", true, true},
      {"the first INF path fills the placeholder",
       R"({"spooler":{"drivers":[)" + Driver("K58") + "," + Driver("K80", kA) + "," + Driver("K90", kB) + "]}}",
       R"(<C:\S\a\korvv6.inf>#3{K90#0[] K80#0[] K58#0[] };)", true, true},
      {"names and files match with their letter case",
       R"({"spooler":{"store":[{"storedInf":"C:\\S\\A\\KORVV6.INF"}],)"
       R"("drivers":[{"pName":"K58","pDriverPath":"C:\\D\\KORVDRV6.DLL"},)" +
           Driver("K80") + "],\"queues\":[" + Queue("Upper", "k80") + "," + Queue("Exact", "K80") + "]}}",
       "<>#1{K80#1[Exact,] };", true, true},
      {"keys without a readable path are passed over",
       R"({"spooler":{"store":[)" + kStoreA + R"(,{"storedInf":"C:\\S\\e\\korvv6.inf"}]},"registry":[{"key":)" + kKeys +
           R"(b"},{"key":)" + kKeys + R"(c","values":[{"name":"DriverStorePath","type":"REG_SZ","data":")" + kB +
           R"("}]},{"key":)" + kKeys + R"(d","values":[{"name":"DriverStorePath","type":"REG_MULTI_SZ","data":[]}]}]})",
       R"(korvv6.inf<C:\S\e\korvv6.inf>#0{};korvv6.inf<C:\S\a\korvv6.inf>#0{};)", false, true},
      // Call 1 opens the list, call 3 key "b"; the fourth enumeration ends the walk.
      {"a key that does not open is skipped, a failed enumeration ends",
       R"({"spooler":{"store":[)" + kStoreA + "," + kStoreB +
           R"(,{"storedInf":"C:\\S\\c\\korvv6.inf"},{"storedInf":"C:\\S\\d\\korvv6.inf"}]},)"
           R"("faults":[{"operation":"RegOpenKeyExW","error":5,"onCall":3},)"
           R"({"operation":"RegEnumKeyW","error":5,"onCall":4}]})",
       R"(korvv6.inf<C:\S\c\korvv6.inf>#0{};korvv6.inf<C:\S\a\korvv6.inf>#0{};)", false, true},
      {"an unknown processor reads no packages, still the drivers",
       R"({"nativeArch":"ia64","spooler":{"store":[)" + kStoreA + R"(],"drivers":[)" + Driver("K80", kB) + "]}}",
       R"(<C:\S\b\korvv6.inf>#1{K80#0[] };)", true, true},
      {"a driver INF path of 1023 units names a package",
       R"({"spooler":{"drivers":[)" + Driver("K80", LongInf(1023)) + "]}}",
       "<1023 units>#1{K80#0[] };", true, true},
      {"one of 1024 units names none", R"({"spooler":{"drivers":[)" + Driver("K80", LongInf(1024)) + "]}}",
       "<>#1{K80#0[] };", true, true},
      // Blocks: 1 package record, 2 driver enumeration, 3 driver record,
      // 4 its copy, 5 printer enumeration, 6 queue record.
      {"a lost package record", family + R"(,"faults":[{"operation":"LocalAlloc","error":8,"onCall":1}]})",
       "<>#1{K80#1[Shop,] };", true, false},
      {"a lost driver enumeration", family + R"(,"faults":[{"operation":"LocalAlloc","error":8,"onCall":2}]})",
       R"(korvv6.inf<C:\S\a\korvv6.inf>#0{};)", false, false},
      {"a lost driver record: the placeholder shows it",
       family + R"(,"faults":[{"operation":"LocalAlloc","error":8,"onCall":3}]})",
       R"(<>#1{K80#1[Shop,] };korvv6.inf<C:\S\a\korvv6.inf>#0{};)", true, true},
      {"a lost copy: kept without description, the placeholder shows it",
       family + R"(,"faults":[{"operation":"LocalAlloc","error":8,"onCall":4}]})",
       R"(<>#1{K80#1[Shop,] };korvv6.inf<C:\S\a\korvv6.inf>#0{-#0[] };)", true, true},
      {"a lost queue record", family + R"(,"faults":[{"operation":"LocalAlloc","error":8,"onCall":6}]})",
       R"(korvv6.inf<C:\S\a\korvv6.inf>#1{K80#0[] };)", true, false},
      {"a refused printer enumeration", family + R"(,"faults":[{"operation":"EnumPrintersW","error":1722}]})",
       R"(korvv6.inf<C:\S\a\korvv6.inf>#1{K80#0[] };)", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Anew(R"({"machine":)" + c.machine + "}");
    EXPECT_EQ(IsInstallationPresent(), c.present);
    CollectPrinters();
    MarkInventoryCollected();
    EXPECT_EQ(Shape(), c.shape);
    EXPECT_EQ(InventoryIsComplete(), c.complete);
  }
  // What the steps answer, on the last machine (one package, driver K80).
  os::DriverInfo8 driver; os::PrinterInfo2 printer; driver.pName = u"K99"; printer.pDriverName = u"K80";
  EXPECT_EQ(AttachDriverToPackages(&driver), 1);
  EXPECT_EQ(AttachPrinterToDrivers(&printer) + CollectPrinterDrivers() + CollectPrinters(), 0);
}

}  // namespace
}  // namespace korv::test
