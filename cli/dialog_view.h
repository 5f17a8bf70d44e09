#pragma once

// The dialog's fields as the Windows dialog would show them (the probe's status line, the
// printer's identity, the upgrade button and the firmware combo box), printed from the probe's
// record: a field this probe did not read is empty, never what an earlier probe left in the
// dialog.

#include "outcome/outcomes.h"

#include <string>
#include <vector>

// The fields as aligned "Label   text" lines.
std::vector<std::string> dialogFieldLines(const ProbeOutcome& probe);
