#include "install/print_queue.h"

#include "install_machine.h"

namespace korv::test {
namespace {

class PrintQueueTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    PrepareInstallMachine(M());
    M().spooler.ports.push_back(u"USB002");
    M().spooler.drivers.push_back({FamilyDriver(kModel)});
  }
};

TEST_F(PrintQueueTest, QueueStateComparesThePortExactly) {
  EXPECT_EQ(QueryQueueState(kModel, kPort), kQueueAbsent);

  AddQueue(M(), kModel, u"USB002", kModel);
  EXPECT_EQ(QueryQueueState(kModel, u"USB002"), kQueueOnPort);
  EXPECT_EQ(QueryQueueState(kModel, kPort), kQueueOnOtherPort);
  EXPECT_EQ(QueryQueueState(kModel, u"usb002"), kQueueOnOtherPort);

  // Details that cannot be read count as "on the port".
  M().faults.Set("GetPrinterW", {err::NotEnoughMemory});
  EXPECT_EQ(QueryQueueState(kModel, kPort), kQueueOnPort);
  // A spooler that does not answer: no queue can be opened.
  M().services.services.at(u"Spooler").state = os::SERVICE_STOPPED;
  EXPECT_EQ(QueryQueueState(kModel, kPort), kQueueAbsent);

  EXPECT_EQ(OpenPrinterHandles(M()), 0);  // every queue opened was closed
}

TEST_F(PrintQueueTest, QueueIsMovedToThePortOnlyWhenElsewhere) {
  AddQueue(M(), kModel, u"USB002", kModel);
  M().spooler.queues.back().info.pComment = u"kept";
  EXPECT_NE(SetQueuePort(kModel, kPort), 0);
  const sim::SimQueue* q = QueueNamed(M(), kModel);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(U8(q->info.pPortName), "USB001");
  EXPECT_EQ(U8(q->info.pComment), "kept");  // the record went back whole
  EXPECT_EQ(M().CallCount("SetPrinterW"), 1);

  // Already there: nothing is written and the answer is 0.
  EXPECT_EQ(SetQueuePort(kModel, kPort), 0);
  EXPECT_EQ(M().CallCount("SetPrinterW"), 1);

  // No such queue, or unreadable details: 0 and nothing written.
  EXPECT_EQ(SetQueuePort(u"Korvane KP-58", kPort), 0);
  M().faults.Set("GetPrinterW", {err::AccessDenied});
  EXPECT_EQ(SetQueuePort(kModel, u"USB002"), 0);
  EXPECT_EQ(M().CallCount("SetPrinterW"), 1);
  M().faults.Clear("GetPrinterW");

  // The spooler refuses a port it does not know.
  EXPECT_EQ(SetQueuePort(kModel, u"USB009"), 0);
  EXPECT_EQ(U8(QueueNamed(M(), kModel)->info.pPortName), "USB001");
  EXPECT_EQ(OpenPrinterHandles(M()), 0);
}

TEST_F(PrintQueueTest, PortSpelledInAnotherCaseIsAnotherPort) {
  // The spooler lists the port in lower case; the request names it in upper.
  M().spooler.ports = {u"LPT1:", u"usb001"};
  AddQueue(M(), kModel, u"usb001", kModel);
  EXPECT_EQ(PortExists(kPort), 0);
  EXPECT_EQ(PortExists(u"usb001"), 1);
  EXPECT_EQ(QueryQueueState(kModel, kPort), kQueueOnOtherPort);
  // Writing it back is allowed (the spooler finds ports in any case), and
  // the queue stays on the spooler's own spelling.
  EXPECT_NE(SetQueuePort(kModel, kPort), 0);
  EXPECT_EQ(U8(QueueNamed(M(), kModel)->info.pPortName), "usb001");
}

TEST_F(PrintQueueTest, PortsAreListedOrNot) {
  EXPECT_EQ(PortExists(kPort), 1);
  EXPECT_EQ(PortExists(u"USB003"), 0);
  M().spooler.ports.clear();
  EXPECT_EQ(PortExists(kPort), 0);
  M().spooler.ports = {kPort};
  M().faults.Set("EnumPortsW", {err::NotEnoughMemory});
  EXPECT_EQ(PortExists(kPort), 0);
}

TEST_F(PrintQueueTest, AddsTheQueueRecordAndFindsItAtOnce) {
  ASSERT_EQ(AddPrintQueue(MakeRequest()), 1);
  EXPECT_EQ(Now(), 0u);
  const sim::SimQueue* q = QueueNamed(M(), kModel);
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(U8(q->info.pPortName), "USB001");
  EXPECT_EQ(U8(q->info.pDriverName), "Korvane KP-80");
  EXPECT_EQ(U8(q->info.pPrintProcessor), "WinPrint");
  EXPECT_EQ(U8(q->info.pDatatype), "RAW");
  EXPECT_EQ(q->info.Attributes, os::PRINTER_ATTRIBUTE_LOCAL);
  EXPECT_TRUE(q->info.pShareName.empty() && q->info.pComment.empty() && q->info.pLocation.empty() &&
              q->info.pSepFile.empty() && q->info.pParameters.empty());
  EXPECT_EQ(q->info.Priority, 0u);
  EXPECT_EQ(q->info.DefaultPriority, 0u);
  EXPECT_EQ(q->info.StartTime, 0u);
  EXPECT_EQ(q->info.UntilTime, 0u);
  EXPECT_EQ(OpenPrinterHandles(M()), 0);  // the new queue's handle too
  EXPECT_TRUE(TraceLines(M()).empty());
}

TEST_F(PrintQueueTest, QueueOnAnotherPortCountsAsAdded) {
  AddQueue(M(), kModel, u"USB002", kModel);
  EXPECT_EQ(AddPrintQueue(MakeRequest()), 1);
  EXPECT_EQ(TraceLines(M()), std::vector<std::string>{"The printer Korvane KP-80 is already added."});
  EXPECT_EQ(M().CallCount("AddPrinterW"), 0);
  EXPECT_EQ(U8(QueueNamed(M(), kModel)->info.pPortName), "USB002");  // not moved here
}

TEST_F(PrintQueueTest, FailedAdditionWithNoQueueEverGivesUpAfterFiveChecks) {
  M().faults.Set("AddPrinterW", {err::AccessDenied});
  EXPECT_EQ(AddPrintQueue(MakeRequest()), 0);
  EXPECT_EQ(Now(), 5000u);
  EXPECT_EQ(M().CallCount("OpenPrinterW"), 6);  // the first look and five checks
  EXPECT_EQ(TraceLines(M()), std::vector<std::string>{"AddPrinter Korvane KP-80 failed, errcode:5."});
}

TEST_F(PrintQueueTest, FailedAdditionStillFindsAQueueSomeoneElseCreated) {
  // The driver is unknown to the spooler, but Plug and Play brings the queue
  // (on another port) 2.5 s later.
  M().spooler.drivers.clear();
  M().clock.After(2500, [this] {
    M().spooler.drivers.push_back({FamilyDriver(kModel)});
    AddQueue(M(), kModel, u"USB002", kModel);
  });
  EXPECT_EQ(AddPrintQueue(MakeRequest()), 1);
  EXPECT_EQ(Now(), 3000u);
  EXPECT_TRUE(Traced(M(), "AddPrinter Korvane KP-80 failed, errcode:1797."));
}

}  // namespace
}  // namespace korv::test
