// Local channel service on Windows: USB device paths and LPT ports as files.
#include "platform/local_channel.h"

#include "platform/win32/win32_error.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <windows.h>

// After windows.h, whose types SetupAPI's header takes as given.
#include <setupapi.h>

// The parallel port driver's IEEE 1284 device-id request, which the family's own USB driver
// answers as well.
static const DWORD IOCTL_PAR_QUERY_DEVICE_ID_CODE = 0x16000C;
// The system's USB printer driver's device-id request (IOCTL_USBPRINT_GET_1284_ID): the id
// comes after a two-byte length.
static const DWORD IOCTL_USBPRINT_GET_1284_ID_CODE = 0x220034;
static const uint32_t USBPRINT_LENGTH_PREFIX = 2;
// The request's buffer size travels in the USB request itself, and some printers fail a larger
// one (error 23).
static const uint32_t USBPRINT_DEVICE_ID_BUFFER = 4094;

// The printers the system's USB printer driver holds (GUID_DEVINTERFACE_USBPRINT), and the raw
// USB devices, where the family's own driver serves its units (GUID_DEVINTERFACE_USB_DEVICE).
static const GUID USB_PRINTER_INTERFACE = {
    0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
static const GUID USB_DEVICE_INTERFACE = {
    0xa5dcbf10, 0x6530, 0x11d2, {0x90, 0x1f, 0x00, 0xc0, 0x4f, 0xb9, 0x51, 0xed}};

static HANDLE toHandle(ChannelHandle channel) {
    return reinterpret_cast<HANDLE>(channel);
}

static bool win32SetTimeouts(ChannelHandle channel, const ChannelTimeouts* timeouts,
                             PlatformError* error);

static ChannelHandle win32Open(const char* path, ChannelSharing sharing, PlatformError* error) {
    DWORD share = sharing == CHANNEL_SHARED ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
    HANDLE handle =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        reportLastError(error);
        return INVALID_CHANNEL_HANDLE;
    }
    // Bounds every read and write; a device without communication time-outs refuses them and
    // keeps its driver's own.
    ChannelHandle channel = reinterpret_cast<ChannelHandle>(handle);
    win32SetTimeouts(channel, &DEFAULT_CHANNEL_TIMEOUTS, nullptr);
    return channel;
}

static bool win32Read(ChannelHandle channel, uint8_t* buffer, uint32_t size, uint32_t* received,
                      PlatformError* error) {
    DWORD count = 0;
    if (!ReadFile(toHandle(channel), buffer, size, &count, nullptr)) {
        reportLastError(error);
        *received = 0;
        return false;
    }
    *received = count;
    return true;
}

static bool win32Write(ChannelHandle channel, const uint8_t* bytes, uint32_t size,
                       uint32_t* written, PlatformError* error) {
    DWORD count = 0;
    if (!WriteFile(toHandle(channel), bytes, size, &count, nullptr)) {
        reportLastError(error);
        *written = 0;
        return false;
    }
    *written = count;
    return true;
}

static bool win32Close(ChannelHandle channel) {
    return CloseHandle(toHandle(channel)) != 0;
}

// The device id as the system's USB printer driver gives it, without its length prefix.
static bool usbPrinterDeviceId(HANDLE handle, uint8_t* buffer, uint32_t size, uint32_t* received) {
    uint8_t reply[USBPRINT_DEVICE_ID_BUFFER];
    DWORD count = 0;
    if (!DeviceIoControl(handle, IOCTL_USBPRINT_GET_1284_ID_CODE, nullptr, 0, reply, sizeof reply,
                         &count, nullptr) ||
        count < USBPRINT_LENGTH_PREFIX) {
        return false;
    }
    uint32_t length = count - USBPRINT_LENGTH_PREFIX;
    length = length < size ? length : size;
    memcpy(buffer, reply + USBPRINT_LENGTH_PREFIX, length);
    *received = length;
    return true;
}

// A printer of the system's USB printer driver does not answer the parallel request: it gets
// that driver's own.
static bool win32RequestDeviceId(ChannelHandle channel, uint8_t* buffer, uint32_t size,
                                 uint32_t* received, PlatformError* error) {
    DWORD count = 0;
    if (DeviceIoControl(toHandle(channel), IOCTL_PAR_QUERY_DEVICE_ID_CODE, nullptr, 0, buffer, size,
                        &count, nullptr)) {
        *received = count;
        return true;
    }
    DWORD parallelError = GetLastError();
    *received = 0;
    if (usbPrinterDeviceId(toHandle(channel), buffer, size, received)) {
        return true;
    }
    SetLastError(parallelError);
    reportLastError(error);
    return false;
}

static bool win32GetTimeouts(ChannelHandle channel, ChannelTimeouts* timeouts,
                             PlatformError* error) {
    COMMTIMEOUTS record = {};
    if (!GetCommTimeouts(toHandle(channel), &record)) {
        reportLastError(error);
        return false;
    }
    *timeouts = {record.ReadIntervalTimeout, record.ReadTotalTimeoutMultiplier,
                 record.ReadTotalTimeoutConstant, record.WriteTotalTimeoutMultiplier,
                 record.WriteTotalTimeoutConstant};
    return true;
}

static bool win32SetTimeouts(ChannelHandle channel, const ChannelTimeouts* timeouts,
                             PlatformError* error) {
    COMMTIMEOUTS record = {timeouts->readIntervalTimeout, timeouts->readTotalTimeoutMultiplier,
                           timeouts->readTotalTimeoutConstant,
                           timeouts->writeTotalTimeoutMultiplier,
                           timeouts->writeTotalTimeoutConstant};
    if (!SetCommTimeouts(toHandle(channel), &record)) {
        reportLastError(error);
        return false;
    }
    return true;
}

// Whether a raw USB device is one of the family's units, by the ids in its interface path.
static bool isFamilyUsbDevice(const char* path) {
    char lowered[LISTED_DEVICE_PATH_SIZE];
    size_t length = strlen(path);
    for (size_t index = 0; index <= length; ++index) {
        lowered[index] = static_cast<char>(tolower(static_cast<unsigned char>(path[index])));
    }
    return strstr(lowered, USB_FAMILY_HARDWARE_ID) != nullptr;
}

// Opens a listed device for a moment to read its device id; empty when it gives none.
static void readListedDeviceId(ListedPrinterDevice* device) {
    device->deviceId[0] = '\0';
    ChannelHandle channel = win32Open(device->path, CHANNEL_SHARED, nullptr);
    if (channel == INVALID_CHANNEL_HANDLE) {
        return;
    }
    uint32_t received = 0;
    if (win32RequestDeviceId(channel, reinterpret_cast<uint8_t*>(device->deviceId),
                             sizeof device->deviceId - 1, &received, nullptr)) {
        device->deviceId[received] = '\0';
    }
    win32Close(channel);
}

// The path of one interface of a device information set; false when it does not fit.
static bool interfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* entry, char* path) {
    union {
        SP_DEVICE_INTERFACE_DETAIL_DATA_A detail;
        char bytes[sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) + LISTED_DEVICE_PATH_SIZE];
    } record = {};
    record.detail.cbSize = sizeof record.detail;
    if (!SetupDiGetDeviceInterfaceDetailA(set, entry, &record.detail, sizeof record, nullptr,
                                          nullptr)) {
        return false;
    }
    return snprintf(path, LISTED_DEVICE_PATH_SIZE, "%s", record.detail.DevicePath) <
           LISTED_DEVICE_PATH_SIZE;
}

// Appends the present interfaces of one class that accept(path) takes; returns the new count.
static uint32_t listInterfaces(const GUID* interfaceClass, bool (*accept)(const char* path),
                               ListedPrinterDevice* devices, uint32_t listed, uint32_t capacity) {
    HDEVINFO set = SetupDiGetClassDevsA(interfaceClass, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return listed;
    }
    SP_DEVICE_INTERFACE_DATA entry = {};
    entry.cbSize = sizeof entry;
    for (DWORD index = 0; listed < capacity &&
                          SetupDiEnumDeviceInterfaces(set, nullptr, interfaceClass, index, &entry);
         ++index) {
        ListedPrinterDevice* device = &devices[listed];
        if (interfacePath(set, &entry, device->path) && accept(device->path)) {
            readListedDeviceId(device);
            ++listed;
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return listed;
}

static bool anyPath(const char*) {
    return true;
}

static uint32_t win32ListPrinterDevices(ListedPrinterDevice* devices, uint32_t capacity) {
    uint32_t listed = listInterfaces(&USB_PRINTER_INTERFACE, anyPath, devices, 0, capacity);
    return listInterfaces(&USB_DEVICE_INTERFACE, isFamilyUsbDevice, devices, listed, capacity);
}

static const LocalChannelService win32LocalChannel = {
    .open = win32Open,
    .read = win32Read,
    .write = win32Write,
    .close = win32Close,
    .requestDeviceId = win32RequestDeviceId,
    .getTimeouts = win32GetTimeouts,
    .setTimeouts = win32SetTimeouts,
    .listPrinterDevices = win32ListPrinterDevices,
};

const LocalChannelService* localChannelService = &win32LocalChannel;
