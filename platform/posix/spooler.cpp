// Spooler service on Linux: the queues of the CUPS server, through libcups. A queue's port is
// its device URI; the device URI file:/dev/null is the port "FILE:".
#include "platform/spooler.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cups/cups.h>
#include <string>
#include <vector>

// The record of a block on Linux: the two texts, stored after the records.
struct CupsPrinterRecord {
    char* printerName;
    char* portName;
};

static const char FILE_DEVICE_URI[] = "file:/dev/null";

static CupsPrinterRecord* toRecord(PrinterPortEntry* record) {
    return reinterpret_cast<CupsPrinterRecord*>(record);
}
static const CupsPrinterRecord* toRecord(const PrinterPortEntry* record) {
    return reinterpret_cast<const CupsPrinterRecord*>(record);
}

struct CupsQueue {
    std::string name;
    std::string port;
};

static std::string portOfDeviceUri(const char* deviceUri) {
    return strcmp(deviceUri, FILE_DEVICE_URI) == 0 ? SPOOLER_FILE_PORT : deviceUri;
}

static const char* deviceUriOfPort(const char* port) {
    return strcmp(port, SPOOLER_FILE_PORT) == 0 ? FILE_DEVICE_URI : port;
}

// One queue's attributes as they come in an answer.
struct QueueAttributes {
    const char* name;
    const char* deviceUri;
    int type;
};

// Keeps a queue of this server (not a class, not another server's queue) and starts afresh.
static void keepLocalQueue(QueueAttributes* found, std::vector<CupsQueue>* queues) {
    if (found->name != nullptr && found->deviceUri != nullptr &&
        (found->type & (CUPS_PRINTER_CLASS | CUPS_PRINTER_REMOTE)) == 0) {
        queues->push_back({found->name, portOfDeviceUri(found->deviceUri)});
    }
    *found = {};
}

// The local queues of one CUPS-Get-Printers answer, in the server's order.
static std::vector<CupsQueue> localQueues(ipp_t* response) {
    std::vector<CupsQueue> queues;
    QueueAttributes found = {};
    for (ipp_attribute_t* attribute = ippFirstAttribute(response); attribute != nullptr;
         attribute = ippNextAttribute(response)) {
        if (ippGetGroupTag(attribute) != IPP_TAG_PRINTER) {
            keepLocalQueue(&found, &queues);
        } else if (strcmp(ippGetName(attribute), "printer-name") == 0) {
            found.name = ippGetString(attribute, 0, nullptr);
        } else if (strcmp(ippGetName(attribute), "device-uri") == 0) {
            found.deviceUri = ippGetString(attribute, 0, nullptr);
        } else if (strcmp(ippGetName(attribute), "printer-type") == 0) {
            found.type = ippGetInteger(attribute, 0);
        }
    }
    keepLocalQueue(&found, &queues);
    return queues;
}

// Asks the server for its queues. False when the server cannot be asked; a server without
// queues answers "not found", which is an empty list.
static bool askForQueues(std::vector<CupsQueue>* queues, PlatformError* error) {
    static const char* const wanted[] = {"printer-name", "device-uri", "printer-type"};
    ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  sizeof wanted / sizeof wanted[0], nullptr, wanted);
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    if (response == nullptr) {
        bool empty = cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND;
        if (!empty) {
            reportPlatformError(error, errno != 0 ? errno : EIO);
        }
        return empty;
    }
    *queues = localQueues(response);
    ippDelete(response);
    return true;
}

// Lays the queues out as one block: the records, then each record's two texts.
static void layOut(const std::vector<CupsQueue>& queues, uint8_t* block) {
    char* text = reinterpret_cast<char*>(block + queues.size() * sizeof(CupsPrinterRecord));
    CupsPrinterRecord* record = reinterpret_cast<CupsPrinterRecord*>(block);
    for (const CupsQueue& queue : queues) {
        record->printerName = text;
        text = stpcpy(text, queue.name.c_str()) + 1;
        record->portName = text;
        text = stpcpy(text, queue.port.c_str()) + 1;
        ++record;
    }
}

static bool cupsEnumerate(uint8_t* block, uint32_t size, uint32_t* needed, uint32_t* count,
                          PlatformError* error) {
    *needed = 0;
    *count = 0;
    std::vector<CupsQueue> queues;
    if (!askForQueues(&queues, error)) {
        return false;
    }
    size_t bytes = queues.size() * sizeof(CupsPrinterRecord);
    for (const CupsQueue& queue : queues) {
        bytes += queue.name.size() + 1 + queue.port.size() + 1;
    }
    *needed = static_cast<uint32_t>(bytes);
    if (bytes > size || (bytes > 0 && block == nullptr)) {
        reportPlatformError(error, ENOBUFS);
        return false;
    }
    if (!queues.empty()) {
        layOut(queues, block);
    }
    *count = static_cast<uint32_t>(queues.size());
    return true;
}

static const char* cupsPrinterName(const PrinterPortEntry* record) {
    return toRecord(record)->printerName;
}

static const char* cupsPortName(const PrinterPortEntry* record) {
    return toRecord(record)->portName;
}

static void cupsPointPortAtFile(PrinterPortEntry* record) {
    toRecord(record)->portName = const_cast<char*>(SPOOLER_FILE_PORT);
}

// A request about one queue of the server.
static ipp_t* queueRequest(ipp_op_t operation, const char* printerName) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0,
                     "/printers/%s", printerName);
    ipp_t* request = ippNewRequest(operation);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    return request;
}

// Sends a request and tells whether the server carried it out.
static bool carriedOut(ipp_t* request, const char* resource, PlatformError* error) {
    ippDelete(cupsDoRequest(CUPS_HTTP_DEFAULT, request, resource));
    if (cupsLastError() > IPP_STATUS_OK_CONFLICTING) {
        reportPlatformError(error, cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND ? ENOENT : EIO);
        return false;
    }
    return true;
}

// A queue is open when it exists; the handle carries its name.
static bool cupsOpen(const char* printerName, SpoolerPrinterHandle* printer, PlatformError* error) {
    *printer = 0;
    ipp_t* request = queueRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, printerName);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "printer-name");
    if (!carriedOut(request, "/", error)) {
        return false;
    }
    *printer = reinterpret_cast<SpoolerPrinterHandle>(strdup(printerName));
    return true;
}

static bool cupsSet(SpoolerPrinterHandle printer, const PrinterPortEntry* record,
                    PlatformError* error) {
    if (printer == 0) {
        reportPlatformError(error, EBADF);
        return false;
    }
    ipp_t* request =
        queueRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER, reinterpret_cast<const char*>(printer));
    ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr,
                 deviceUriOfPort(toRecord(record)->portName));
    return carriedOut(request, "/admin/", error);
}

static void cupsClose(SpoolerPrinterHandle printer) {
    free(reinterpret_cast<char*>(printer));
}

static const SpoolerService cupsSpooler = {
    sizeof(CupsPrinterRecord), cupsEnumerate, cupsPrinterName, cupsPortName,
    cupsPointPortAtFile,       cupsOpen,      cupsSet,         cupsClose,
};

const SpoolerService* spoolerService = &cupsSpooler;
