#pragma once

// What the dialog shows, read back from the in-memory dialog: the probe's status line, the
// printer's identity, the upgrade button and the firmware combo box, and the two texts of the
// "Programming Status" group.

#include <nlohmann/json.hpp>
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
    std::string programStatus;
    std::string programState;
};

DialogView readDialogView();

// The probe outcomes, by the status line.
bool viewFoundNoPrinter(const DialogView& view);
bool viewPrinterReady(const DialogView& view);

// The fields as aligned "Label   text" lines.
std::vector<std::string> dialogFieldLines(const DialogView& view);

// The keys every JSON outcome has from the dialog: status, model, port, language, board,
// version, ready, caption, upgradeEnabled and variants.
nlohmann::json dialogViewJson(const DialogView& view);
