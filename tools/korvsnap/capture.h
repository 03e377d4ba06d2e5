// korvsnap's capture: reads a machine through the installer's own platform
// calls (platform/*.h) and describes it as a korvsim scenario
// (tools/korvsim/FORMAT.md), so that korvsim can show what the installer
// would do there before it runs. The same code runs on Windows (korvsnap.exe)
// and on the simulated machine (the Linux tests), where capturing a
// scenario's machine and reading the capture back must give the same machine.
//
// The capture only reads: it opens keys, services and device sets for
// querying and changes nothing.
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"

namespace korv::snap {

// A part of the machine that could not be read: the scenario field it would
// have filled and why ("EnumPrinterDriversW failed with error 1722"). The
// capture lists these under "incomplete", which korvsim refuses to run
// until someone has looked at them.
struct Missing {
  std::string field;
  std::string reason;
};

struct Capture {
  std::string scenario;          // the scenario file, UTF-8 JSON
  std::vector<Missing> missing;  // empty when everything was read
};

// Captures the machine the installer would run on, with `installerFolder`
// (the folder holding korvsetup.exe and the driver files; empty: the
// folder of the running program) as the installer's folder.
Capture CaptureMachine(const Text& installerFolder);

// A path with the user's name in a profile folder ("C:\Users\<name>\..." or
// "C:\Documents and Settings\<name>\...") replaced by as many "x" as it has
// units: the scenario keeps the path's length, which the installer's bounds
// depend on, without the name.
Text WithoutUserName(const Text& path);

}  // namespace korv::snap
