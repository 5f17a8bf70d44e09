#pragma once

// The progress of an upgrade as the tool shows it, made from the two texts that the flash
// writer sets in the dialog's "Programming Status" group: the phase ("Delaying 15 seconds",
// "Programming 384 KBytes", "Waiting for reset", "Progamming complete") and the count within it
// ("3 seconds elapsed", "128 KBytes programmed", "End Of File").

#include <string>

// The one live line for a terminal: the phase, the seconds of a wait, or the KBytes written of
// the image's KBytes with a bar.
std::string progressLiveLine(const std::string& phase, const std::string& count);

// Follows the texts for output that is not a terminal and says which plain line, if any, a
// change deserves: every phase, every fifth second of a wait, and the KBytes at each tenth of
// the image, so that a log shows the whole timeline without a line per second or per block.
class PlainProgress {
  public:
    // The line to print for the texts as they now stand, or an empty text.
    std::string lineFor(const std::string& phase, const std::string& count);

  private:
    std::string phase_;
    std::string count_;
    int lastTenth_ = -1;
};
