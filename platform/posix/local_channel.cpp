// Local channel service on Linux: usblp and parallel printer character devices.
#include "platform/local_channel.h"

#include "platform/posix/errno_error.h"
#include "platform/posix/local_channel_paths.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/lp.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

// The usblp driver's device-id request (drivers/usb/class/usblp.c); the kernel does not export
// it in a header. Its reply starts with a two-byte big-endian length that counts itself.
#define USBLP_IOC_GET_DEVICE_ID(length) _IOC(_IOC_READ, 'P', 1, length)

// Roots are kept short enough that every node below them fits a path buffer.
static const size_t ROOT_SIZE = 1024;
static const size_t PATH_SIZE = 4096;
static char sysfsRoot[ROOT_SIZE] = "/sys";
static char devRoot[ROOT_SIZE] = "/dev";

void setLocalChannelRoots(const char* sysfs, const char* dev) {
    snprintf(sysfsRoot, sizeof sysfsRoot, "%s", sysfs);
    snprintf(devRoot, sizeof devRoot, "%s", dev);
}

// The parts of a Windows USB device-interface path that identify the unit.
struct UsbUnitId {
    char vendor[5];
    char product[5];
    char serial[256];
};

static const char USB_PATH_PREFIX[] = "\\\\.\\usb#vid_";

// Splits "\\.\usb#vid_VVVV&pid_PPPP#SERIAL#{class}"; false for any other path.
static bool parseUsbDevicePath(const char* path, UsbUnitId* id) {
    const size_t prefix = sizeof USB_PATH_PREFIX - 1;
    if (strncasecmp(path, USB_PATH_PREFIX, prefix) != 0) {
        return false;
    }
    const char* vendor = path + prefix;
    if (strlen(vendor) < 10 || strncasecmp(vendor + 4, "&pid_", 5) != 0 || vendor[13] != '#') {
        return false;
    }
    const char* serial = vendor + 14;
    const char* end = strchr(serial, '#');
    if (end == nullptr || end == serial || static_cast<size_t>(end - serial) >= sizeof id->serial) {
        return false;
    }
    snprintf(id->vendor, sizeof id->vendor, "%.4s", vendor);
    snprintf(id->product, sizeof id->product, "%.4s", vendor + 9);
    snprintf(id->serial, sizeof id->serial, "%.*s", static_cast<int>(end - serial), serial);
    return true;
}

// Reads the first line of a sysfs attribute of a usbmisc node's device: "device/NAME" is an
// attribute of the printer interface, "device/../NAME" one of the USB device.
static bool readNodeAttribute(const char* node, const char* name, char* value, size_t size) {
    char path[PATH_SIZE];
    snprintf(path, sizeof path, "%s/class/usbmisc/%s/%s", sysfsRoot, node, name);
    FILE* file = fopen(path, "re");
    if (file == nullptr) {
        return false;
    }
    bool read = fgets(value, static_cast<int>(size), file) != nullptr;
    fclose(file);
    value[strcspn(value, "\r\n")] = '\0';
    return read;
}

static bool usbNodeMatches(const char* node, const UsbUnitId* id) {
    char vendor[16] = "";
    char product[16] = "";
    char serial[256] = "";
    return readNodeAttribute(node, "device/../idVendor", vendor, sizeof vendor) &&
           readNodeAttribute(node, "device/../idProduct", product, sizeof product) &&
           readNodeAttribute(node, "device/../serial", serial, sizeof serial) &&
           strcasecmp(vendor, id->vendor) == 0 && strcasecmp(product, id->product) == 0 &&
           strcasecmp(serial, id->serial) == 0;
}

static bool resolveUsbUnit(const UsbUnitId* id, char* resolved, size_t size) {
    char classPath[PATH_SIZE];
    snprintf(classPath, sizeof classPath, "%s/class/usbmisc", sysfsRoot);
    DIR* directory = opendir(classPath);
    if (directory == nullptr) {
        return false;
    }
    bool found = false;
    while (const dirent* entry = readdir(directory)) {
        if (strncmp(entry->d_name, "lp", 2) == 0 && usbNodeMatches(entry->d_name, id)) {
            int length = snprintf(resolved, size, "%s/usb/%s", devRoot, entry->d_name);
            found = length >= 0 && static_cast<size_t>(length) < size;
            break;
        }
    }
    closedir(directory);
    return found;
}

// The parallel port number (0 to 2) that "LPT1:" to "LPT3:" name, or -1.
static int parallelPortIndex(const char* path) {
    if (strncasecmp(path, "LPT", 3) != 0 || path[3] < '1' || path[3] > '3' ||
        strcmp(path + 4, ":") != 0) {
        return -1;
    }
    return path[3] - '1';
}

bool resolveLocalChannelPath(const char* path, char* resolved, size_t size) {
    UsbUnitId id;
    if (parseUsbDevicePath(path, &id)) {
        return resolveUsbUnit(&id, resolved, size);
    }
    int length = 0;
    int port = parallelPortIndex(path);
    if (port >= 0) {
        length = snprintf(resolved, size, "%s/lp%d", devRoot, port);
    } else {
        length = snprintf(resolved, size, "%s", path);
    }
    return length >= 0 && static_cast<size_t>(length) < size;
}

// What an open channel is, kept per descriptor: its parallel port (or -1) and the time-outs
// last set on it, which no Linux driver reads back.
struct ChannelState {
    int parallelPort;
    ChannelTimeouts timeouts;
};

static std::mutex channelsMutex;
static std::map<int, ChannelState> channels;

static bool findChannel(ChannelHandle channel, ChannelState* state) {
    std::lock_guard<std::mutex> lock(channelsMutex);
    auto found = channels.find(static_cast<int>(channel));
    if (found == channels.end()) {
        return false;
    }
    *state = found->second;
    return true;
}

static ChannelHandle posixOpen(const char* path, ChannelSharing sharing, PlatformError* error) {
    char node[PATH_SIZE];
    if (!resolveLocalChannelPath(path, node, sizeof node)) {
        reportPlatformError(error, {PLATFORM_ERROR_NOT_FOUND, 0});
        return INVALID_CHANNEL_HANDLE;
    }
    int descriptor = ::open(node, O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) {
        reportErrno(error, errno);
        return INVALID_CHANNEL_HANDLE;
    }
    // Exclusive use is advisory on Linux: an flock that another opener of ours would meet.
    int lock = sharing == CHANNEL_EXCLUSIVE ? LOCK_EX : LOCK_SH;
    if (flock(descriptor, lock | LOCK_NB) != 0) {
        reportPlatformError(error, lockError(errno));
        ::close(descriptor);
        return INVALID_CHANNEL_HANDLE;
    }
    std::lock_guard<std::mutex> guard(channelsMutex);
    channels[descriptor] = ChannelState{parallelPortIndex(path), DEFAULT_CHANNEL_TIMEOUTS};
    return descriptor;
}

// Waits at most the bound for the descriptor to become ready for events: 1 when it is (or has
// an error or hang-up a read or write will report), 0 on a time-out, -1 on a failure. A bound
// of 0 waits without end, as a Windows total time-out of 0 does.
static int waitReady(int descriptor, short events, uint32_t milliseconds) {
    pollfd entry = {descriptor, events, 0};
    int timeout =
        milliseconds == 0 || milliseconds > INT32_MAX ? -1 : static_cast<int>(milliseconds);
    int ready;
    do {
        ready = poll(&entry, 1, timeout);
    } while (ready < 0 && errno == EINTR);
    return ready;
}

static uint32_t channelBound(ChannelHandle channel, uint32_t ChannelTimeouts::*bound) {
    ChannelState state;
    return findChannel(channel, &state) ? state.timeouts.*bound : DEFAULT_CHANNEL_TIMEOUTS.*bound;
}

static bool posixRead(ChannelHandle channel, uint8_t* buffer, uint32_t size, uint32_t* received,
                      PlatformError* error) {
    *received = 0;
    int ready = waitReady(static_cast<int>(channel), POLLIN,
                          channelBound(channel, &ChannelTimeouts::readTotalTimeoutConstant));
    if (ready < 0) {
        reportErrno(error, errno);
        return false;
    }
    if (ready == 0) {
        return true; // nothing in time: an empty read, as a Windows read with time-outs gives
    }
    ssize_t count = ::read(static_cast<int>(channel), buffer, size);
    if (count < 0) {
        reportErrno(error, errno);
        *received = 0;
        return false;
    }
    *received = static_cast<uint32_t>(count);
    return true;
}

static bool posixWrite(ChannelHandle channel, const uint8_t* bytes, uint32_t size,
                       uint32_t* written, PlatformError* error) {
    *written = 0;
    int ready = waitReady(static_cast<int>(channel), POLLOUT,
                          channelBound(channel, &ChannelTimeouts::writeTotalTimeoutConstant));
    if (ready <= 0) {
        reportPlatformError(error, ready < 0 ? errnoError(errno)
                                             : PlatformError{PLATFORM_ERROR_TIMED_OUT, 0});
        return false;
    }
    ssize_t count = ::write(static_cast<int>(channel), bytes, size);
    if (count < 0) {
        reportErrno(error, errno);
        *written = 0;
        return false;
    }
    *written = static_cast<uint32_t>(count);
    return true;
}

static bool posixClose(ChannelHandle channel) {
    {
        std::lock_guard<std::mutex> lock(channelsMutex);
        channels.erase(static_cast<int>(channel));
    }
    return ::close(static_cast<int>(channel)) == 0;
}

// A device id as IEEE 1284 sends it starts with its length, two bytes big-endian that count
// themselves. Returns how many bytes of text follow, at most size.
static uint32_t deviceIdTextLength(const uint8_t* lengthBytes, uint32_t size) {
    uint32_t length = (static_cast<uint32_t>(lengthBytes[0]) << 8) | lengthBytes[1];
    if (length < 2) {
        return 0;
    }
    return length - 2 > size ? size : length - 2;
}

static bool usblpDeviceId(int descriptor, uint8_t* buffer, uint32_t size, uint32_t* received,
                          PlatformError* error) {
    if (size < 2 || ioctl(descriptor, USBLP_IOC_GET_DEVICE_ID(size), buffer) < 0) {
        reportPlatformError(error, size < 2 ? PlatformError{PLATFORM_ERROR_INVALID, 0}
                                            : errnoError(errno));
        return false;
    }
    uint32_t length = deviceIdTextLength(buffer, size - 2);
    memmove(buffer, buffer + 2, length);
    *received = length;
    return true;
}

// Reads exactly size bytes unless the device ends the transfer first; false on an error.
static bool readAll(int descriptor, uint8_t* buffer, uint32_t size, uint32_t* received) {
    *received = 0;
    while (*received < size) {
        ssize_t count = ::read(descriptor, buffer + *received, size - *received);
        if (count < 0) {
            return false;
        }
        if (count == 0) {
            break;
        }
        *received += static_cast<uint32_t>(count);
    }
    return true;
}

// With the port claimed: negotiate the device-id transfer in nibble mode, read the length and
// the text, and go back to compatibility mode for the printer's ordinary data.
static bool negotiateDeviceId(int port, uint8_t* buffer, uint32_t size, uint32_t* received) {
    int mode = IEEE1284_MODE_NIBBLE | IEEE1284_DEVICEID;
    if (ioctl(port, PPNEGOT, &mode) < 0) {
        return false;
    }
    uint8_t lengthBytes[2];
    uint32_t count = 0;
    bool read = readAll(port, lengthBytes, sizeof lengthBytes, &count) && count == 2 &&
                readAll(port, buffer, deviceIdTextLength(lengthBytes, size), received);
    int saved = errno;
    mode = IEEE1284_MODE_COMPAT;
    ioctl(port, PPNEGOT, &mode);
    errno = saved;
    return read;
}

// The IEEE 1284 device-id negotiation through ppdev on the parport behind an LPT port.
static bool parportDeviceId(int parallelPort, uint8_t* buffer, uint32_t size, uint32_t* received,
                            PlatformError* error) {
    char node[PATH_SIZE];
    snprintf(node, sizeof node, "%s/parport%d", devRoot, parallelPort);
    int port = ::open(node, O_RDWR | O_CLOEXEC);
    if (port < 0) {
        reportErrno(error, errno);
        return false;
    }
    bool claimed = ioctl(port, PPCLAIM) == 0;
    bool done = claimed && negotiateDeviceId(port, buffer, size, received);
    int saved = errno;
    if (claimed) {
        ioctl(port, PPRELEASE);
    }
    ::close(port);
    if (!done) {
        reportErrno(error, saved);
        *received = 0;
    }
    return done;
}

static bool posixRequestDeviceId(ChannelHandle channel, uint8_t* buffer, uint32_t size,
                                 uint32_t* received, PlatformError* error) {
    *received = 0;
    ChannelState state;
    if (findChannel(channel, &state) && state.parallelPort >= 0) {
        return parportDeviceId(state.parallelPort, buffer, size, received, error);
    }
    return usblpDeviceId(static_cast<int>(channel), buffer, size, received, error);
}

static bool posixGetTimeouts(ChannelHandle channel, ChannelTimeouts* timeouts,
                             PlatformError* error) {
    ChannelState state;
    if (!findChannel(channel, &state)) {
        reportPlatformError(error, {PLATFORM_ERROR_INVALID, 0});
        return false;
    }
    *timeouts = state.timeouts;
    return true;
}

// The parallel printer driver takes a write time-out; a node without that driver (not a
// parallel port, or a stand-in for one) only keeps the value for reading back.
static bool setDriverWriteTimeout(ChannelHandle channel, uint32_t milliseconds,
                                  PlatformError* error) {
    int64_t timeout[2] = {milliseconds / 1000, int64_t{milliseconds % 1000} * 1000};
    if (ioctl(static_cast<int>(channel), LPSETTIMEOUT_NEW, timeout) == 0 || errno == ENOTTY ||
        errno == EINVAL) {
        return true;
    }
    reportErrno(error, errno);
    return false;
}

static bool posixSetTimeouts(ChannelHandle channel, const ChannelTimeouts* timeouts,
                             PlatformError* error) {
    ChannelState state;
    if (!findChannel(channel, &state)) {
        reportPlatformError(error, {PLATFORM_ERROR_INVALID, 0});
        return false;
    }
    if (state.parallelPort >= 0 &&
        !setDriverWriteTimeout(channel, timeouts->writeTotalTimeoutConstant, error)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(channelsMutex);
    channels[static_cast<int>(channel)].timeouts = *timeouts;
    return true;
}

// "lp" followed by digits only: a usblp node.
static int isUsblpNode(const dirent* entry) {
    const char* digits = entry->d_name + 2;
    return strncmp(entry->d_name, "lp", 2) == 0 && digits[0] != '\0' &&
           strspn(digits, "0123456789") == strlen(digits);
}

// The device id of a usblp node: the one its driver keeps in sysfs, else asked of the device.
static void readListedDeviceId(const char* node, ListedPrinterDevice* device) {
    if (readNodeAttribute(node, "device/ieee1284_id", device->deviceId, sizeof device->deviceId)) {
        return;
    }
    device->deviceId[0] = '\0';
    int descriptor = ::open(device->path, O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (descriptor < 0) {
        return;
    }
    uint32_t received = 0;
    if (usblpDeviceId(descriptor, reinterpret_cast<uint8_t*>(device->deviceId),
                      sizeof device->deviceId - 1, &received, nullptr)) {
        device->deviceId[received] = '\0';
    }
    ::close(descriptor);
}

static uint32_t posixListPrinterDevices(ListedPrinterDevice* devices, uint32_t capacity) {
    char folder[PATH_SIZE];
    snprintf(folder, sizeof folder, "%s/usb", devRoot);
    dirent** entries = nullptr;
    int count = scandir(folder, &entries, isUsblpNode, versionsort);
    uint32_t listed = 0;
    for (int index = 0; index < count; ++index) {
        const char* node = entries[index]->d_name;
        if (listed < capacity) {
            ListedPrinterDevice* device = &devices[listed];
            int length = snprintf(device->path, sizeof device->path, "%s/%s", folder, node);
            if (length >= 0 && static_cast<size_t>(length) < sizeof device->path) {
                readListedDeviceId(node, device);
                ++listed;
            }
        }
        free(entries[index]);
    }
    free(entries);
    return listed;
}

static const LocalChannelService posixLocalChannel = {
    .open = posixOpen,
    .read = posixRead,
    .write = posixWrite,
    .close = posixClose,
    .requestDeviceId = posixRequestDeviceId,
    .getTimeouts = posixGetTimeouts,
    .setTimeouts = posixSetTimeouts,
    .listPrinterDevices = posixListPrinterDevices,
};

const LocalChannelService* localChannelService = &posixLocalChannel;
