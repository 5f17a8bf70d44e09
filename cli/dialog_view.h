#pragma once

// The dialog as it stands, read back from the in-memory dialog for one purpose: printing its
// fields as the Windows dialog would show them (the probe's status line, the printer's identity,
// the upgrade button and the firmware combo box). Nothing is decided from these texts: the
// outcome of a run comes from the core's records (outcome/outcomes.h).

#include <string>
#include <vector>

struct DialogView {
    std::string status; // the probe status line
    std::string model;
    std::string port;
    std::string language;
    std::string board;
    std::string version;
    std::string caption; // the upgrade button's caption
    bool upgradeEnabled;
    std::vector<std::string> variants; // the firmware combo box's entries
    bool variantsShown;                // the combo box is shown (raster printers)
};

DialogView readDialogView();

// The fields as aligned "Label   text" lines.
std::vector<std::string> dialogFieldLines(const DialogView& view);
