#pragma once

// The USB printer units the program knows, by their Win32 device-interface path.
//
// A USB printer is found only when its own serial number stands in this table: the local
// discovery opens the rows in order and takes the first that opens. The table ends with a row
// whose label is "END".

constexpr int USB_DEVICE_TEXT_SIZE = 256;
constexpr int USB_DEVICE_UNIT_COUNT = 18;

struct UsbDeviceRow {
    char label[USB_DEVICE_TEXT_SIZE];      // a model label; only the end test reads it
    char devicePath[USB_DEVICE_TEXT_SIZE]; // handed to the local channel's open unchanged
};

// The label of the row that ends a table.
constexpr const char USB_DEVICE_TABLE_END[] = "END";

// 18 units followed by the end row.
extern const UsbDeviceRow UsbDeviceTable[USB_DEVICE_UNIT_COUNT + 1];

// True for the row that ends a table (its label is exactly "END").
bool isUsbDeviceTableEnd(const UsbDeviceRow* row);
