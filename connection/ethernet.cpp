#include "connection/ethernet.h"

#include "connection/device_id_read.h"
#include "connection/printer_traffic.h"
#include "connection/route_failure.h"
#include "connection/status.h"
#include "identity/device_id.h"
#include "identity/printer_protocol.h"
#include "platform/kernel.h"

#include <cstdio>
#include <cstring>

SocketHandle printerSocket = INVALID_SOCKET_HANDLE;
EthernetTimeouts ethernetTimeouts = DEFAULT_ETHERNET_TIMEOUTS;

constexpr uint32_t DEVICE_ID_PAUSE_MILLISECONDS = 300;
constexpr uint32_t STATUS_PAUSE_MILLISECONDS = 200;
constexpr uint32_t REPLY_BUFFER_SIZE = 256;
// The most of a device id that is read and dropped beyond its first receive: an IEEE 1284 id
// counts its length in two bytes, so no printer's id is longer.
constexpr uint32_t DEVICE_ID_DRAIN_LIMIT = 65536;

// A plain decimal number: one to maxDigits digits and nothing else (no sign, no blank, no
// prefix), at most maxValue.
static bool parseDecimal(const char* text, size_t maxDigits, uint32_t maxValue, uint32_t* value) {
    size_t length = strnlen(text, maxDigits + 1);
    if (length == 0 || length > maxDigits) {
        return false;
    }
    uint32_t number = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        number = number * 10 + static_cast<uint32_t>(text[i] - '0');
    }
    *value = number;
    return number <= maxValue;
}

// The four octets of the address, or false naming the first text that is not one.
static bool parseAddress(const char* const octetTexts[4], uint8_t address[4]) {
    for (int i = 0; i < 4; ++i) {
        uint32_t octet = 0;
        if (!parseDecimal(octetTexts[i], 3, 255, &octet)) {
            debugLogFormat("connectEthernet - Refused IP address octet \"%s\"", octetTexts[i]);
            return false;
        }
        address[i] = static_cast<uint8_t>(octet);
    }
    return true;
}

static bool parsePort(const char* text, uint16_t* port) {
    uint32_t number = 0;
    if (!parseDecimal(text, 5, 65535, &number) || number == 0) {
        debugLogFormat("connectEthernet - Refused port number \"%s\"", text);
        return false;
    }
    *port = static_cast<uint16_t>(number);
    return true;
}

static bool failConnection(PrinterData* record) {
    setPrinterRoute(record, PORT_TYPE_NONE);
    return false;
}

// Opens a socket and connects it; on failure the socket is closed and the library stopped.
static bool openConnection(const uint8_t address[4], uint16_t port, SocketHandle* opened) {
    char peer[32];
    snprintf(peer, sizeof peer, "%u.%u.%u.%u:%u", address[0], address[1], address[2], address[3],
             port);
    PlatformError error;
    SocketHandle socket = networkService->openStream(&error);
    if (socket == INVALID_SOCKET_HANDLE) {
        debugLogFormat("Client: socket() - Error at socket(): %ld",
                       static_cast<long>(error.number));
        noteRouteFailure(peer, error);
        networkService->cleanup();
        return false;
    }
    debugLog("Client: socket() is OK");
    if (!networkService->connect(socket, address, port, ethernetTimeouts.connectMilliseconds,
                                 &error)) {
        debugLogFailure("connectEthernet - connect", peer, error);
        debugLog("Client: connect() - Failed to connect");
        noteRouteFailure(peer, error);
        networkService->close(socket);
        networkService->cleanup();
        return false;
    }
    *opened = socket;
    return true;
}

bool connectEthernet(SocketHandle* socket, const char* ipOctet1, const char* ipOctet2,
                     const char* ipOctet3, const char* ipOctet4, const char* tcpPort,
                     PrinterData* record) {
    char addressText[256];
    snprintf(addressText, sizeof addressText, "%s.%s.%s.%s", ipOctet1, ipOctet2, ipOctet3,
             ipOctet4);
    debugLogFormat("IP address = %s", addressText);
    const char* const octetTexts[4] = {ipOctet1, ipOctet2, ipOctet3, ipOctet4};
    uint8_t address[4];
    uint16_t port = 0;
    if (!parseAddress(octetTexts, address) || !parsePort(tcpPort, &port)) {
        return failConnection(record);
    }
    debugLogFormat("Port number = %d", port);
    clearRouteFailure();
    PlatformError error;
    if (!networkService->startup(&error)) {
        debugLogFailure("connectEthernet - startup", nullptr, error);
        debugLog("Client: Error at WSAStartup()");
        return failConnection(record);
    }
    debugLog("Client: WSAStartup() is OK");
    SocketHandle opened = INVALID_SOCKET_HANDLE;
    if (!openConnection(address, port, &opened)) {
        return failConnection(record);
    }
    debugLog("Client: connect() is OK");
    *socket = opened;
    setPrinterRoute(record, PORT_TYPE_ETHERNET);
    debugLog("Client: setting printerData->portType = PORT_TYPE_ETHERNET");
    return true;
}

bool formatEthernetAddress(const char* ipOctet1, const char* ipOctet2, const char* ipOctet3,
                           const char* ipOctet4, const char* tcpPort, char* text, size_t size) {
    const char* const octetTexts[4] = {ipOctet1, ipOctet2, ipOctet3, ipOctet4};
    uint8_t address[4];
    uint16_t port = 0;
    if (size > 0) {
        text[0] = '\0';
    }
    if (!parseAddress(octetTexts, address) || !parsePort(tcpPort, &port)) {
        return false;
    }
    snprintf(text, size, "%u.%u.%u.%u:%u", address[0], address[1], address[2], address[3], port);
    return true;
}

// One command of the TCP conversation, named as its routine logs it.
struct CommandExchange {
    const char* routine;
    const uint8_t* command;
    uint32_t commandSize;
    const char* commandName;
    uint32_t pauseMilliseconds;
};

// An event of the exchange as the log names it, "<routine> - <event>", in name.
static const char* exchangeEvent(const CommandExchange& exchange, const char* event,
                                 char (&name)[64]) {
    snprintf(name, sizeof name, "%s - %s", exchange.routine, event);
    return name;
}

// Sends the command and, after its pause, takes the one reply into the zeroed 256-byte buffer.
// True when at least one byte came, with *received holding the count; every failure is logged.
static bool exchangeCommand(SocketHandle socket, const CommandExchange& exchange,
                            uint8_t reply[REPLY_BUFFER_SIZE], int32_t* received) {
    memset(reply, 0, REPLY_BUFFER_SIZE);
    debugLogFormat("%s - Entry", exchange.routine);
    char event[64];
    PlatformError error;
    int32_t sent = networkService->send(socket, exchange.command, exchange.commandSize,
                                        ethernetTimeouts.sendMilliseconds, &error);
    if (sent < 0) {
        debugLogFailure(exchangeEvent(exchange, "send", event), nullptr, error);
        debugLogFormat("%s - Error sending %s", exchange.routine, exchange.commandName);
        return false;
    }
    debugLogFormat("%s - Sent %s bytes send = %d", exchange.routine, exchange.commandName, sent);
    sleepMilliseconds(exchange.pauseMilliseconds);
    *received = networkService->receive(socket, reply, REPLY_BUFFER_SIZE,
                                        ethernetTimeouts.receiveMilliseconds, &error);
    if (*received == 0) {
        debugLogFormat("%s - Connection Closed", exchange.routine);
    } else if (*received < 0) {
        debugLogFailure(exchangeEvent(exchange, "receive", event), nullptr, error);
        debugLogFormat("%s - bytesRecv < 0", exchange.routine);
    }
    return *received > 0;
}

// A device id that filled the receive may go on; left in the connection, its rest would be
// taken for the reply to the status request that follows (258 bytes made a not-ready printer
// ready). Whatever follows a full receive is read and dropped, each receive bounded as every
// other, the whole at most DEVICE_ID_DRAIN_LIMIT bytes: false for a printer that sends more.
static bool drainDeviceIdRest(SocketHandle socket, int32_t received) {
    uint8_t rest[REPLY_BUFFER_SIZE];
    uint32_t drained = 0;
    while (received == static_cast<int32_t>(REPLY_BUFFER_SIZE)) {
        if (drained >= DEVICE_ID_DRAIN_LIMIT) {
            debugLogFormat("GetPrinterIDEthernet - Device id longer than %u bytes: refused",
                           DEVICE_ID_DRAIN_LIMIT);
            return false;
        }
        PlatformError error;
        received = networkService->receive(socket, rest, sizeof rest,
                                           ethernetTimeouts.receiveMilliseconds, &error);
        drained += received > 0 ? static_cast<uint32_t>(received) : 0;
    }
    if (drained > 0) {
        debugLogFormat(
            "GetPrinterIDEthernet - Dropped %u bytes of the device id after the first %u", drained,
            REPLY_BUFFER_SIZE);
    }
    return true;
}

bool GetPrinterIDEthernet(SocketHandle socket, PrinterData* record) {
    static const CommandExchange exchange = {"GetPrinterIDEthernet", DEVICE_ID_REQUEST,
                                             sizeof DEVICE_ID_REQUEST, "<SA08>",
                                             DEVICE_ID_PAUSE_MILLISECONDS};
    uint8_t reply[REPLY_BUFFER_SIZE];
    int32_t received = 0;
    if (!exchangeCommand(socket, exchange, reply, &received) ||
        !drainDeviceIdRest(socket, received)) {
        return false;
    }
    logPrinterTraffic("GetPrinterIDEthernet - reply", reply, static_cast<uint32_t>(received));
    storeDeviceId(record, reply, static_cast<uint32_t>(received));
    return true;
}

bool isPrinterReadyEthernet(SocketHandle socket) {
    static const CommandExchange exchange = {"isPrinterReadyEthernet", STATUS_REQUEST,
                                             sizeof STATUS_REQUEST, "<SS>",
                                             STATUS_PAUSE_MILLISECONDS};
    uint8_t reply[REPLY_BUFFER_SIZE];
    int32_t received = 0;
    if (!exchangeCommand(socket, exchange, reply, &received)) {
        return false;
    }
    debugLogFormat("Status Length = %d, Data = ", received);
    logEachByte(reply, static_cast<uint32_t>(received), true);
    keepStatusReply(reply, static_cast<uint32_t>(received));
    // The whole zeroed buffer is judged: bytes the printer did not send count as zero.
    if (!statusReplyIsReady(reply, REPLY_BUFFER_SIZE)) {
        debugLog("isPrinterReadyEthernet - Returning printer NOT READY");
        return false;
    }
    debugLog("isPrinterReadyEthernet - Returning printer ready");
    return true;
}

bool WriteFileEthernet(SocketHandle socket, const uint8_t* bytes, uint32_t size, int32_t* sent,
                       PlatformError* error) {
    debugLog("WriteFileEthernet - Entry");
    PlatformError failure;
    *sent = networkService->send(socket, bytes, size, ethernetTimeouts.sendMilliseconds, &failure);
    if (*sent < 0) {
        reportPlatformError(error, failure);
        debugLogFailure("WriteFileEthernet - send", nullptr, failure);
        debugLog("WriteFileEthernet - Error sending data");
        return false;
    }
    debugLogFormat("WriteFileEthernet - bytes sent = %d", *sent);
    return true;
}

bool ReadDataEthernet(SocketHandle socket, uint8_t* buffer, uint32_t* size,
                      uint32_t timeoutMilliseconds) {
    static const char FRAME[] = "rrrrrrrrrrrrrrrrrrrrrrrrrrrrrrr";
    debugLog("ReadDataEthernet - Entry");
    uint32_t bound =
        timeoutMilliseconds != 0 ? timeoutMilliseconds : ethernetTimeouts.receiveMilliseconds;
    PlatformError error;
    int32_t received = networkService->receive(socket, buffer, *size, bound, &error);
    if (received < 0) {
        debugLogFailure("ReadDataEthernet - receive", nullptr, error);
    }
    if (received <= 0) {
        debugLog("ReadDataEthernet - Connection Closed");
        return false;
    }
    debugLogFormat("ReadDataEthernet - Read bytes = %d", received);
    *size = static_cast<uint32_t>(received);
    debugLog(FRAME);
    logEachByte(buffer, *size, false);
    debugLog(FRAME);
    return true;
}

void closeSocket(SocketHandle socket) {
    debugLog("closeSocket - Entry");
    if (socket != INVALID_SOCKET_HANDLE) {
        networkService->close(socket);
        if (socket == printerSocket) {
            printerSocket = INVALID_SOCKET_HANDLE;
        }
    }
    debugLog("closeSocket - Complete");
}
