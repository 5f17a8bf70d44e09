#pragma once

// The progress of an upgrade as the tool shows it, rendered from the writer's progress record
// (outcome/outcomes.h): the phase, the seconds of a wait, and the KBytes the printer took of the
// image's, in the words the dialog uses.

#include "outcome/outcomes.h"

#include <string>
#include <vector>

// The one live line for a terminal: "Delaying 15 seconds  3 s elapsed", "Programming [###...]
// 192 of 384 KBytes", "Waiting for reset  7 s elapsed", "Progamming complete"; empty before a
// writer ran.
std::string progressLiveLine(const WriterProgress& progress);

// Follows the progress for output that is not a terminal and says which plain lines, if any, a
// change deserves: each phase, every fifth second of a wait, and the KBytes at each tenth of the
// image, so that a log shows the whole timeline without a line per second or per block.
class PlainProgress {
  public:
    // The lines to print for the progress as it now stands (none, one, or a wait's phase line
    // followed by its first second), in order.
    std::vector<std::string> linesFor(const WriterProgress& progress);

  private:
    WriterPhase phase_ = WRITER_PHASE_NONE;
    int seconds_ = -1;
    int tenth_ = -1;
};
