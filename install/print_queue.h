// Print queues and ports of the local spooler: whether the queue for a
// printer exists and on which port, adding it, moving it to the printer's
// port, and whether the spooler knows a port.
//
// Queue and port names are compared exactly, letter case included: a queue
// on "usb001" is not on "USB001".
#pragma once

#include "install/install_request.h"

namespace korv {

// Queue states of QueryQueueState.
inline constexpr int kQueueAbsent = 0;
inline constexpr int kQueueOnPort = 1;  // also when its details cannot be read
inline constexpr int kQueueOnOtherPort = 2;

int QueryQueueState(const char16_t* queue, const char16_t* port);

// Adds the queue PrinterName on PortName with DriverName unless a queue of
// that name exists (on any port), then checks for it up to 5 times, 1 s
// apart. 1 if the queue is there at the end, else 0.
int AddPrintQueue(const InstallRequest& request);

// Moves an existing queue to the port. Non-zero only if it was on another
// port and the spooler took the change.
int SetQueuePort(const char16_t* queue, const char16_t* port);

// 1 if the spooler lists a port of exactly that name.
int PortExists(const char16_t* port);

}  // namespace korv
