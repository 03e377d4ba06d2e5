// Blocking control of Windows services through the service control manager.
//
// The installer needs the print spooler running before it talks to it; the
// uninstaller stops it for a moment to delete a file it holds open, and
// restarts it when a driver is still in use.
#pragma once

namespace korv {

// Stops a running service and waits until it is seen stopped. The timeout is
// turned into timeoutMs / 10 polls, 10 ms apart. Returns 1 only when the
// service was running, was asked to stop and stopped within the polls; 0 for
// every other outcome (already stopped, pending, cannot be opened, too slow).
int StopServiceAndWait(const char16_t* name, unsigned timeoutMs);

// Starts a stopped service and waits until it is seen running: timeoutMs / 10
// polls, 50 ms apart (so 10000 allows about 50 s). Returns 1 only when the
// service was stopped, was started and ran within the polls; else 0.
int StartServiceAndWait(const char16_t* name, unsigned timeoutMs);

// Restarts the print spooler: stop and wait, pause 3 s, start and wait,
// pause 3 s. The outcomes of the stop and start are not looked at.
void CycleSpooler();

// Whether the print spooler may stand stopped because of this process: set
// when we ask it to stop (StopServiceAndWait does so itself; code that stops
// it by other means calls NoteSpoolerStopRequested), cleared once we saw it
// running after a start of ours (StartServiceAndWait, or
// NoteSpoolerRunningAgain).
void NoteSpoolerStopRequested();
void NoteSpoolerRunningAgain();
bool SpoolerStoppedByUs();

// Called as the process ends (a window closed while a worker thread had the
// spooler stopped for a restart or a file): when the spooler may stand
// stopped because of us, waits for a pending stop to end and then starts it
// and waits as StartServiceAndWait does. Returns 1 when it started it.
int RestartSpoolerStoppedByUs();

}  // namespace korv
