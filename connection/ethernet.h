#pragma once

// The printer over TCP: connecting, the device id ("<SA08>") and status ("<SS>") exchanges, and
// the raw send and receive that the flash-mode entry and the flash writer use.
//
// Every operation blocks the calling thread. Each command is followed by a fixed pause before
// its one receive; the connect and every receive are bounded by ethernetTimeouts, so a printer
// that accepts the connection and then stays silent costs a failed receive, not a frozen dialog.

#include "identity/printer_data.h"
#include "platform/network.h"

#include <cstdint>

// The socket of the current TCP connection, INVALID_SOCKET_HANDLE when there is none.
// connectEthernet sets it; closeSocket marks it closed when it closes the socket it holds.
extern SocketHandle printerSocket;

// Bounds of the waits on the network, in milliseconds.
struct EthernetTimeouts {
    uint32_t connectMilliseconds;
    uint32_t receiveMilliseconds;
    uint32_t sendMilliseconds; // a send the printer takes nothing of in this time fails
};

// 10 s for a connection (the dialog promises an answer within 30 s), 5 s for each receive, and
// 30 s for a send: a printer that stops reading mid-image is a write error, not a hang.
constexpr EthernetTimeouts DEFAULT_ETHERNET_TIMEOUTS = {10000, 5000, 30000};

// The bounds in force; tests shorten them.
extern EthernetTimeouts ethernetTimeouts;

// Connects to the printer at the address given as four decimal octet texts and a decimal port
// text (1 to 65535). Any other text is refused before a socket is made. On success stores the
// socket in *socket, sets the route (setPrinterRoute) to PORT_TYPE_ETHERNET and leaves the socket
// library started (one start-up per successful connection); on failure sets the route to
// PORT_TYPE_NONE and leaves *socket and the socket library as they were.
bool connectEthernet(SocketHandle* socket, const char* ipOctet1, const char* ipOctet2,
                     const char* ipOctet3, const char* ipOctet4, const char* tcpPort,
                     PrinterData* record);

// The printer's address as "A.B.C.D:PORT" in canonical numbers (so "010001" is "10001"), from
// the texts connectEthernet takes; false, with text emptied, for texts it would refuse.
bool formatEthernetAddress(const char* ipOctet1, const char* ipOctet2, const char* ipOctet3,
                           const char* ipOctet4, const char* tcpPort, char* text, size_t size);

// Sends "<SA08>", waits 300 ms and stores the first receive of the reply (up to 256 bytes, cut
// at its first zero byte) as record->deviceId. The rest of a longer reply is read and dropped,
// so that the next command's receive gets that command's reply; each receive waits at most
// the receive bound. False, with deviceId unchanged, when nothing was received or the reply
// went on beyond 64 KiB.
bool GetPrinterIDEthernet(SocketHandle socket, PrinterData* record);

// Sends "<SS>", waits 200 ms, logs the reply byte by byte and judges it by the readiness rule.
bool isPrinterReadyEthernet(SocketHandle socket);

// One send. *sent receives the count accepted, or -1 when the send failed; a failure leaves its
// error in *error when one is asked for. A send that took fewer bytes than asked is a success;
// the caller goes on from the count.
bool WriteFileEthernet(SocketHandle socket, const uint8_t* bytes, uint32_t size, int32_t* sent,
                       PlatformError* error = nullptr);

// One receive of at most *size bytes into buffer (neither cleared nor terminated), waiting at
// most timeoutMilliseconds (0: the receive bound of ethernetTimeouts). On success *size is the
// count received; on a closed connection, a failure or a time-out it is unchanged.
bool ReadDataEthernet(SocketHandle socket, uint8_t* buffer, uint32_t* size,
                      uint32_t timeoutMilliseconds = 0);

// Closes the socket. An invalid handle is left alone, and closing the socket that printerSocket
// holds marks printerSocket invalid, so that no later caller closes the same value again.
void closeSocket(SocketHandle socket);
