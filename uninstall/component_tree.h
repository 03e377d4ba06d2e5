// The uninstall window's component tree, as lines built from the inventory.
//
// BuildComponentTree decides every line (texts, order, nesting) and touches
// no window, so tests read the tree without one; FillComponentTree only hands
// the lines to the tree view. The tree keeps no link back to the records: it
// is rebuilt as a whole whenever they change.
#pragma once

#include <vector>

#include "platform/types.h"

namespace korv {

struct PackageRecord;

struct TreeLine {
  Text text;
  bool expand = false;  // package and driver lines are shown expanded
  std::vector<TreeLine> children;
};

// The root lines for the package list that starts at head: the single
// "nothing to remove" line when head is null; otherwise the folder line,
// then each package with its drivers, each driver with its queues. Texts come
// from the string table (105-111, 116), formatted in buffers of 1024 units.
std::vector<TreeLine> BuildComponentTree(const PackageRecord* head);

// Replaces every item of the dialog's tree view (1001) by those lines,
// expanding each driver after its queues and each package after its drivers.
// Called on the dialog's own thread only.
void FillComponentTree(Hwnd dialog, const PackageRecord* head);

}  // namespace korv
