#include "connection/usb_device_table.h"

#include <cstring>

// Every unit has the same vendor and product id; the instance id is the unit's serial number.
// The last part is the USB device interface class (GUID_DEVINTERFACE_USB_DEVICE).
const UsbDeviceRow UsbDeviceTable[USB_DEVICE_UNIT_COUNT + 1] = {
    {"VRE G unit 01",
     "\\\\.\\usb#vid_2c9a&pid_0141#TK1903A31000420000#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"},
    {"VRE G unit 02",
     "\\\\.\\usb#vid_2c9a&pid_0141#TK1910A31170421379#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"},
    {"VRA G unit 03",
     "\\\\.\\usb#vid_2c9a&pid_0141#TK1917A31340422758#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"},
    {"VRA G unit 04",
     "\\\\.\\usb#vid_2c9a&pid_0141#TK1924A31510424137#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"},
    {"VRE HRM unit 05",
     "\\\\.\\usb#vid_2c9a&pid_0141#TK1931A31680425516#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"},
    {"VRE HRM unit 06",
     "\\\\.\\usb#vid_2c9a&pid_0141#TK1938A31850426895#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"},
    {"VRA HRM unit 07",
     "\\\\.\\usb#vid_2c9a&pid_0141#TK2045A32020428274#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"},
    {"VRA HRM unit 08",
     "\\\\.\\usb#vid_2c9a&pid_0141#TK2004A32190429653#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"},
    {"VRK54 RASTER unit 09",
     "\\\\.\\usb#vid_2c9a&pid_0141#TK2011A32360431032#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"},
    {"VRK54 RASTER unit 10",
     "\\\\.\\usb#vid_2c9a&pid_0141#TK2018A32530432411#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"},
    {"VRK54 RASTER unit 11",
     "\\\\.\\usb#vid_2c9a&pid_0141#TK2025A32700433790#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"},
    {"VRK54 RASTER unit 12",
     "\\\\.\\usb#vid_2c9a&pid_0141#TK2032A32870435169#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"},
    {"MZ54 STANDARD unit 13",
     "\\\\.\\usb#vid_2c9a&pid_0141#TK2139A33040436548#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"},
    {"MZ54 STANDARD unit 14",
     "\\\\.\\usb#vid_2c9a&pid_0141#TK2146A33210437927#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"},
    {"MZ54 STANDARD unit 15",
     "\\\\.\\usb#vid_2c9a&pid_0141#TK2105A33380439306#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"},
    {"MZ54 DualDriver unit 16",
     "\\\\.\\usb#vid_2c9a&pid_0141#TK2112A33550440685#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"},
    {"MZ54 DualDriver unit 17",
     "\\\\.\\usb#vid_2c9a&pid_0141#TK2119A33720442064#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"},
    {"MZ54 DualDriver unit 18",
     "\\\\.\\usb#vid_2c9a&pid_0141#TK2126A33890443443#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"},
    {"END", ""},
};

bool isUsbDeviceTableEnd(const UsbDeviceRow* row) {
    return strcmp(row->label, USB_DEVICE_TABLE_END) == 0;
}
