// Local channel service on Linux: usblp and parallel printer character devices.
#include "platform/local_channel.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

// The usblp driver's device-id request (drivers/usb/class/usblp.c); the kernel does not export
// it in a header. Its reply starts with a two-byte big-endian length that counts itself.
#define USBLP_IOC_GET_DEVICE_ID(length) _IOC(_IOC_READ, 'P', 1, length)

static ChannelHandle posixOpen(const char* path, ChannelSharing sharing, PlatformError* error) {
    int descriptor = ::open(path, O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) {
        reportPlatformError(error, errno);
        return INVALID_CHANNEL_HANDLE;
    }
    // Exclusive use is advisory on Linux: an flock that another opener of ours would meet.
    int lock = sharing == CHANNEL_EXCLUSIVE ? LOCK_EX : LOCK_SH;
    if (flock(descriptor, lock | LOCK_NB) != 0) {
        reportPlatformError(error, errno);
        ::close(descriptor);
        return INVALID_CHANNEL_HANDLE;
    }
    return descriptor;
}

static bool posixRead(ChannelHandle channel, uint8_t* buffer, uint32_t size, uint32_t* received,
                      PlatformError* error) {
    ssize_t count = ::read(static_cast<int>(channel), buffer, size);
    if (count < 0) {
        reportPlatformError(error, errno);
        *received = 0;
        return false;
    }
    *received = static_cast<uint32_t>(count);
    return true;
}

static bool posixWrite(ChannelHandle channel, const uint8_t* bytes, uint32_t size,
                       uint32_t* written, PlatformError* error) {
    ssize_t count = ::write(static_cast<int>(channel), bytes, size);
    if (count < 0) {
        reportPlatformError(error, errno);
        *written = 0;
        return false;
    }
    *written = static_cast<uint32_t>(count);
    return true;
}

static bool posixClose(ChannelHandle channel) {
    return ::close(static_cast<int>(channel)) == 0;
}

static bool posixRequestDeviceId(ChannelHandle channel, uint8_t* buffer, uint32_t size,
                                 uint32_t* received, PlatformError* error) {
    *received = 0;
    if (ioctl(static_cast<int>(channel), USBLP_IOC_GET_DEVICE_ID(size), buffer) < 0) {
        reportPlatformError(error, errno);
        return false;
    }
    uint32_t length = (static_cast<uint32_t>(buffer[0]) << 8) | buffer[1];
    if (length < 2) {
        return true;
    }
    length = length - 2 > size - 2 ? size - 2 : length - 2;
    memmove(buffer, buffer + 2, length);
    *received = length;
    return true;
}

// Character devices keep no COMMTIMEOUTS; the record reads back as it was last set.
static ChannelTimeouts lastTimeouts = {};

static bool posixGetTimeouts(ChannelHandle, ChannelTimeouts* timeouts, PlatformError*) {
    *timeouts = lastTimeouts;
    return true;
}

static bool posixSetTimeouts(ChannelHandle, const ChannelTimeouts* timeouts, PlatformError*) {
    lastTimeouts = *timeouts;
    return true;
}

static const LocalChannelService posixLocalChannel = {
    posixOpen,        posixRead,        posixWrite, posixClose, posixRequestDeviceId,
    posixGetTimeouts, posixSetTimeouts,
};

const LocalChannelService* localChannelService = &posixLocalChannel;
