// Local channel service on Windows: USB device paths and LPT ports as files.
#include "platform/local_channel.h"

#include "platform/win32/win32_error.h"

#include <windows.h>

// The parallel port driver's IEEE 1284 device-id request.
static const DWORD IOCTL_PAR_QUERY_DEVICE_ID_CODE = 0x16000C;

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

static bool win32RequestDeviceId(ChannelHandle channel, uint8_t* buffer, uint32_t size,
                                 uint32_t* received, PlatformError* error) {
    DWORD count = 0;
    if (!DeviceIoControl(toHandle(channel), IOCTL_PAR_QUERY_DEVICE_ID_CODE, nullptr, 0, buffer,
                         size, &count, nullptr)) {
        reportLastError(error);
        *received = 0;
        return false;
    }
    *received = count;
    return true;
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

static uint32_t win32ListPrinterDevices(ListedPrinterDevice*, uint32_t) {
    return 0;
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
