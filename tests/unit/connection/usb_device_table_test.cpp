#include "connection/usb_device_table.h"

#include <cctype>
#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <string>

static const char DEVICE_PREFIX[] = "\\\\.\\usb#vid_";
static const char INTERFACE_CLASS[] = "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

static bool isHex(const std::string& text) {
    for (char c : text) {
        if (!isxdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

TEST(UsbDeviceTable, HoldsEighteenUnitsAndTheEndRow) {
    for (int row = 0; row < USB_DEVICE_UNIT_COUNT; ++row) {
        EXPECT_FALSE(isUsbDeviceTableEnd(&UsbDeviceTable[row])) << row;
    }
    EXPECT_STREQ(UsbDeviceTable[USB_DEVICE_UNIT_COUNT].label, "END");
    EXPECT_STREQ(UsbDeviceTable[USB_DEVICE_UNIT_COUNT].devicePath, "");
}

TEST(UsbDeviceTable, EveryPathIsAUsbDeviceInterfacePathOf83Characters) {
    std::set<std::string> ids;
    std::set<std::string> serials;
    for (int row = 0; row < USB_DEVICE_UNIT_COUNT; ++row) {
        SCOPED_TRACE(row);
        std::string path = UsbDeviceTable[row].devicePath;
        ASSERT_EQ(path.size(), 83u);
        EXPECT_EQ(path.substr(0, 12), DEVICE_PREFIX);
        EXPECT_TRUE(isHex(path.substr(12, 4)));
        EXPECT_EQ(path.substr(16, 5), "&pid_");
        EXPECT_TRUE(isHex(path.substr(21, 4)));
        EXPECT_EQ(path[25], '#');
        std::string serial = path.substr(26, 18);
        EXPECT_EQ(serial.find('#'), std::string::npos);
        EXPECT_EQ(path.substr(44), INTERFACE_CLASS);
        ids.insert(path.substr(12, 13));
        serials.insert(serial);
    }
    EXPECT_EQ(ids.size(), 1u) << "one vendor and product id for every unit";
    EXPECT_EQ(serials.size(), static_cast<size_t>(USB_DEVICE_UNIT_COUNT));
}

TEST(UsbDeviceTable, EndTestComparesTheWholeLabelExactly) {
    static const struct {
        const char* label;
        bool isEnd;
    } cases[] = {{"END", true}, {"end", false}, {"END ", false}, {"ENDS", false}, {"", false}};
    for (const auto& c : cases) {
        UsbDeviceRow row = {};
        strcpy(row.label, c.label);
        EXPECT_EQ(isUsbDeviceTableEnd(&row), c.isEnd) << '"' << c.label << '"';
    }
}
