#include "identity/firmware_catalogue.h"
#include "identity/sha256.h"
#include "tests/doubles/simulated_printer_test.h"

#include <cstring>
#include <firmware_manifest.h>
#include <string>
#include <vector>

using Strings = std::vector<std::string>;

class FlashOverTcp : public SimulatedPrinterTest {
  protected:
    void SetUp() override { ASSERT_TRUE(connectToPrinter()); }

    bool sendText(const std::string& text) {
        int32_t sent = 0;
        return WriteFileEthernet(printerSocket, reinterpret_cast<const uint8_t*>(text.data()),
                                 static_cast<uint32_t>(text.size()), &sent);
    }

    // ESC "*FR", "<SA15>" and the one reply, as the text received.
    std::string enterFlashMode() {
        EXPECT_TRUE(sendText("\x1b*FR"));
        EXPECT_TRUE(sendText("<SA15>"));
        char reply[1024];
        uint32_t size = sizeof reply - 1;
        if (!ReadDataEthernet(printerSocket, reinterpret_cast<uint8_t*>(reply), &size)) {
            return "";
        }
        reply[size] = '\0';
        return reply;
    }

    // Streams the bytes in writes of at most 512 bytes, going on from each count sent, as the
    // flash writer does. False when a write fails.
    bool stream(const uint8_t* bytes, uint32_t size) {
        for (uint32_t at = 0; at < size;) {
            int32_t sent = 0;
            uint32_t block = size - at < 512 ? size - at : 512;
            if (!WriteFileEthernet(printerSocket, bytes + at, block, &sent)) {
                return false;
            }
            at += static_cast<uint32_t>(sent);
        }
        return true;
    }

    // Closes the connection, waits for the reset, and probes the printer again.
    void closeAndReconnect() {
        disconnect();
        ASSERT_TRUE(waitForEvents(SIM_EVENT_RESET, 1));
        ASSERT_TRUE(connectToPrinter());
        ASSERT_TRUE(GetPrinterIDEthernet(printerSocket, &printerData));
    }
};

TEST_F(FlashOverTcp, AnImageOfACatalogueSlotMakesThePrinterReportItsLabel) {
    // The writer sends an image rounded down to an even size: the placeholder of slot 0 loses
    // its last byte, that of slot 12 none.
    for (int slot : {12, 0}) {
        SCOPED_TRACE(slot);
        uint32_t sentSize = manifestSlots[slot].size & ~1u;
        ASSERT_EQ(enterFlashMode(), "FLASH READY");
        ASSERT_TRUE(stream(FirmwareCatalogue[slot].bytes, sentSize));
        size_t resets = countEvents(SIM_EVENT_RESET);
        disconnect();
        ASSERT_TRUE(waitForEvents(SIM_EVENT_RESET, resets + 1));
        ASSERT_TRUE(connectToPrinter());
        ASSERT_TRUE(GetPrinterIDEthernet(printerSocket, &printerData));
        std::string version = std::string("FWV:") + manifestSlots[slot].label + ";";
        EXPECT_NE(strstr(printerData.deviceId, version.c_str()), nullptr) << printerData.deviceId;
        EXPECT_EQ(printer.recognisedSlot(), slot);
        EXPECT_EQ(printer.imageByteCount(), sentSize);
        EXPECT_TRUE(isPrinterReadyEthernet(printerSocket));
    }
}

TEST_F(FlashOverTcp, RecordsTheCommandsTheImageSizeAndItsChecksum) {
    ASSERT_EQ(enterFlashMode(), "FLASH READY");
    ASSERT_TRUE(stream(FirmwareCatalogue[13].bytes, firmwareBuildRecords[13].size));
    closeAndReconnect();
    EXPECT_EQ(printer.commands(), (Strings{"flash-mode", "flash-confirm", "device-id"}));
    EXPECT_EQ(printer.imageChecksum(), firmwareBuildRecords[13].sha256);
    uint64_t written = 0;
    for (const SimEvent& event : printer.events()) {
        written += event.kind == SIM_EVENT_WRITE ? event.size : 0;
    }
    EXPECT_EQ(written, 4u + 6u + firmwareBuildRecords[13].size + 6u);
}

TEST_F(FlashOverTcp, BytesOfNoSlotLeaveTheFirmwareCorruptAndNotReady) {
    std::vector<uint8_t> image(FirmwareCatalogue[12].bytes,
                               FirmwareCatalogue[12].bytes + firmwareBuildRecords[12].size);
    image[1000] ^= 0xFF;
    ASSERT_EQ(enterFlashMode(), "FLASH READY");
    ASSERT_TRUE(stream(image.data(), static_cast<uint32_t>(image.size())));
    closeAndReconnect();
    EXPECT_NE(strstr(printerData.deviceId, "FWV:CORRUPT;"), nullptr) << printerData.deviceId;
    EXPECT_TRUE(printer.firmwareCorrupt());
    EXPECT_FALSE(isPrinterReadyEthernet(printerSocket));
}

TEST_F(FlashOverTcp, AConnectionClosedMidImageFailsTheWritesAndCorruptsTheFirmware) {
    SimFaults faults;
    faults.closeAfterImageBytes = 5000;
    printer.setFaults(faults);
    ASSERT_EQ(enterFlashMode(), "FLASH READY");
    // Loopback buffers may take the whole image before the printer's close reaches us, so the
    // stream itself may or may not see it; a write after the reset always does.
    stream(FirmwareCatalogue[12].bytes, firmwareBuildRecords[12].size);
    ASSERT_TRUE(waitForEvents(SIM_EVENT_RESET, 1));
    EXPECT_EQ(printer.imageByteCount(), 5000u);
    EXPECT_TRUE(printer.firmwareCorrupt());
    bool failed = false;
    for (int attempt = 0; attempt < 100 && !failed; ++attempt) {
        failed = !stream(FirmwareCatalogue[12].bytes, 512);
    }
    EXPECT_TRUE(failed);
    EXPECT_EQ(kernel.logLines().back(), "WriteFileEthernet - Error sending data");
}

TEST_F(FlashOverTcp, ARefusingPrinterAnswersWithoutFlashReady) {
    SimFaults faults;
    faults.refuseFlashMode = true;
    printer.setFaults(faults);
    std::string reply = enterFlashMode();
    EXPECT_FALSE(reply.empty());
    EXPECT_EQ(reply.find("FLASH READY"), std::string::npos);
    EXPECT_FALSE(printer.inFlashMode());
    // Still a printer that answers its commands.
    EXPECT_TRUE(isPrinterReadyEthernet(printerSocket));
}

TEST_F(FlashOverTcp, ClosingWithoutAnImageLeavesTheFirmwareAlone) {
    ASSERT_EQ(enterFlashMode(), "FLASH READY");
    disconnect();
    EXPECT_EQ(countEvents(SIM_EVENT_RESET), 0u);
    EXPECT_FALSE(printer.inFlashMode());
    EXPECT_EQ(printer.deviceId(), SimulatedPrinter::DEFAULT_DEVICE_ID);
}
