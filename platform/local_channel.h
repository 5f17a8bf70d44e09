#pragma once

// Local channel service: a printer on a USB device path or a parallel port ("LPT1:" to "LPT3:").
//
// A channel is opened by path and then read (the printer answers a plain read with its status
// reply), written (commands and image bytes) and asked for its IEEE 1284 device id. Every
// operation blocks the calling thread. Failures report their kind and the OS error number
// through the optional error argument (see platform_error.h); nothing else crosses the boundary.

#include "platform/designated_only.h"
#include "platform/platform_error.h"

#include <cstdint>

// A Windows HANDLE or a POSIX descriptor, carried as an integer.
typedef intptr_t ChannelHandle;
constexpr ChannelHandle INVALID_CHANNEL_HANDLE = -1;

enum ChannelSharing {
    CHANNEL_EXCLUSIVE, // no sharing: nobody else may open the device meanwhile
    CHANNEL_SHARED,    // shared for reading and writing
};

// A printer device that the system lists: the path to open it by, and the IEEE 1284 device id
// it reported (empty when none could be read).
constexpr int LISTED_DEVICE_PATH_SIZE = 256;
constexpr int LISTED_DEVICE_ID_SIZE = 1024;
struct ListedPrinterDevice {
    char path[LISTED_DEVICE_PATH_SIZE];
    char deviceId[LISTED_DEVICE_ID_SIZE];
};

// The vendor and product id of every USB unit of the family, as they stand in a Windows
// device-interface path.
constexpr char USB_FAMILY_HARDWARE_ID[] = "vid_2c9a&pid_0141";

// The five time-outs of a Windows COMMTIMEOUTS record, in milliseconds.
struct ChannelTimeouts {
    uint32_t readIntervalTimeout;
    uint32_t readTotalTimeoutMultiplier;
    uint32_t readTotalTimeoutConstant;
    uint32_t writeTotalTimeoutMultiplier;
    uint32_t writeTotalTimeoutConstant;
};

// "No interval time-out" in a ChannelTimeouts field (MAXDWORD).
constexpr uint32_t CHANNEL_TIMEOUT_UNUSED = 0xFFFFFFFF;

// The time-outs every channel gets when it opens, so that no read or write waits without a
// bound: a read returns as soon as anything has arrived, or with nothing after 5 s; a write
// that the device takes nothing of for 30 s fails (a printer that stopped reading). On Windows
// a device that has no time-outs of its own keeps its driver's.
constexpr ChannelTimeouts DEFAULT_CHANNEL_TIMEOUTS = {CHANNEL_TIMEOUT_UNUSED,
                                                      CHANNEL_TIMEOUT_UNUSED, 5000, 0, 30000};

struct LocalChannelService {
    DesignatedOnly designatedOnly{};

    // Opens an existing device for reading and writing, with DEFAULT_CHANNEL_TIMEOUTS. Returns
    // INVALID_CHANNEL_HANDLE on failure.
    ChannelHandle (*open)(const char* path, ChannelSharing sharing, PlatformError* error);

    // One synchronous read of at most size bytes, waiting at most the channel's
    // readTotalTimeoutConstant for the first byte. On success *received holds the count, which
    // may be 0 (nothing came in time). On failure *received is 0.
    bool (*read)(ChannelHandle channel, uint8_t* buffer, uint32_t size, uint32_t* received,
                 PlatformError* error);

    // One synchronous write, waiting at most the channel's writeTotalTimeoutConstant for the
    // device to take any byte: one that took nothing by then fails with a time-out error (or,
    // on some Windows drivers, reports 0 bytes written). *written holds the count the device
    // accepted (0 on failure).
    bool (*write)(ChannelHandle channel, const uint8_t* bytes, uint32_t size, uint32_t* written,
                  PlatformError* error);

    // Closes the channel. Returns the platform's result.
    bool (*close)(ChannelHandle channel);

    // The IEEE 1284 device-id request (IOCTL_PAR_QUERY_DEVICE_ID on Windows, else, for a
    // printer of the system's USB printer driver, IOCTL_USBPRINT_GET_1284_ID). On success
    // *received holds the number of bytes of the device id text written to buffer.
    bool (*requestDeviceId)(ChannelHandle channel, uint8_t* buffer, uint32_t size,
                            uint32_t* received, PlatformError* error);

    // The channel's time-outs (GetCommTimeouts / SetCommTimeouts on Windows).
    bool (*getTimeouts)(ChannelHandle channel, ChannelTimeouts* timeouts, PlatformError* error);
    bool (*setTimeouts)(ChannelHandle channel, const ChannelTimeouts* timeouts,
                        PlatformError* error);

    // The USB printers attached, as the system lists them, whatever their serial numbers: on
    // Linux every usblp node (/dev/usb/lpN, in number order) with the device id its driver
    // read (sysfs's ieee1284_id, else the device-id request on the node). On Windows the
    // present interfaces of SetupAPI: every printer of the system's USB printer driver
    // (GUID_DEVINTERFACE_USBPRINT), then the raw USB devices with the family's vendor and
    // product id (GUID_DEVINTERFACE_USB_DEVICE), each opened shared for a moment for its device
    // id. Blocks for those opens and requests. Nothing attached is an empty list, not a
    // failure. Writes at most capacity devices and returns how many it wrote.
    uint32_t (*listPrinterDevices)(ListedPrinterDevice* devices, uint32_t capacity);
};

extern const LocalChannelService* localChannelService;
