#pragma once

// A whole upgrade against the simulated printer: on a USB device path or a parallel port
// through the simulated local channel, or over TCP on loopback, with the virtual clock, the
// dialog model and the writer thread as a real thread the test waits for.

#include "identity/firmware_catalogue.h"
#include "identity/printer_data.h"
#include "tests/doubles/dialog_probe_test.h"

#include <mutex>
#include <string>
#include <vector>

enum UpgradeRoute { ROUTE_USB, ROUTE_PARALLEL, ROUTE_TCP };

const char* routeName(UpgradeRoute route);

// One text shown in the "Programming Status" group, with the virtual time it appeared at.
struct ProgressText {
    int controlId;
    std::string text;
    uint64_t atMilliseconds;
};

class FlashFixture : public DialogProbeTest {
  protected:
    FlashFixture();
    ~FlashFixture() override;

    // Attaches the simulator on the route and probes it there, as the dialog does before an
    // upgrade: the simulator's default device id is a board I G printer, which gets slot 0.
    void attach(UpgradeRoute route);
    // The upgrade command, then waits for its writer, if any, to end, and for the printer to
    // have ended every conversation.
    void upgrade();

    std::vector<ProgressText> progress() const;
    std::vector<std::string> progressTexts(int controlId) const;
    // The sizes of the writes that carried image bytes, on the route's side of the channel.
    std::vector<uint64_t> imageWriteSizes() const;
    // The same for a local printer other than the fixture's.
    static std::vector<uint64_t> imageWriteSizes(const SimulatedPrinter& local);
    void clearProgress();
    std::vector<std::string> commands() const { return printer.commands(); }

    UpgradeRoute route_ = ROUTE_USB;

  private:
    mutable std::mutex mutex_;
    std::vector<ProgressText> progress_;
};

// The slot of the simulator's default printer, and the bytes it gets: its size rounded down.
constexpr int DEFAULT_SLOT = 0;
uint32_t evenSize(int slot);
