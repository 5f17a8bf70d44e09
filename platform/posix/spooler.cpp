// Spooler service on Linux: the queues of the CUPS server, through libcups. A queue's port is
// its device URI; the device URI file:/dev/null is the port "FILE:". A queue is taken off its
// port by holding it, never by changing its device, so that no job is lost meanwhile.
//
// libcups is loaded by the first call that asks the server, not when the program starts: a run
// over TCP never asks it, and a fleet starts one such run per printer, each of which would
// otherwise map and relocate libcups and the thirty libraries behind it before its first byte
// to the printer.
#include "platform/spooler.h"

#include "platform/posix/errno_error.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cups/cups.h>
#include <dlfcn.h>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace {

// The calls of libcups that the service makes, bound when the library is loaded.
struct Libcups {
    decltype(&::cupsDoRequest) cupsDoRequest;
    decltype(&::cupsLastError) cupsLastError;
    decltype(&::cupsSetPasswordCB2) cupsSetPasswordCB2;
    decltype(&::httpAssembleURIf) httpAssembleURIf;
    decltype(&::ippAddInteger) ippAddInteger;
    decltype(&::ippAddString) ippAddString;
    decltype(&::ippAddStrings) ippAddStrings;
    decltype(&::ippDelete) ippDelete;
    decltype(&::ippFindAttribute) ippFindAttribute;
    decltype(&::ippFirstAttribute) ippFirstAttribute;
    decltype(&::ippGetGroupTag) ippGetGroupTag;
    decltype(&::ippGetInteger) ippGetInteger;
    decltype(&::ippGetName) ippGetName;
    decltype(&::ippGetString) ippGetString;
    decltype(&::ippNewRequest) ippNewRequest;
    decltype(&::ippNextAttribute) ippNextAttribute;
};

Libcups libcups;

template <typename Function> bool bind(void* library, const char* name, Function* function) {
    *function = reinterpret_cast<Function>(dlsym(library, name));
    return *function != nullptr;
}

bool loadLibcups() {
    void* library = dlopen("libcups.so.2", RTLD_NOW | RTLD_LOCAL);
    return library != nullptr && bind(library, "cupsDoRequest", &libcups.cupsDoRequest) &&
           bind(library, "cupsLastError", &libcups.cupsLastError) &&
           bind(library, "cupsSetPasswordCB2", &libcups.cupsSetPasswordCB2) &&
           bind(library, "httpAssembleURIf", &libcups.httpAssembleURIf) &&
           bind(library, "ippAddInteger", &libcups.ippAddInteger) &&
           bind(library, "ippAddString", &libcups.ippAddString) &&
           bind(library, "ippAddStrings", &libcups.ippAddStrings) &&
           bind(library, "ippDelete", &libcups.ippDelete) &&
           bind(library, "ippFindAttribute", &libcups.ippFindAttribute) &&
           bind(library, "ippFirstAttribute", &libcups.ippFirstAttribute) &&
           bind(library, "ippGetGroupTag", &libcups.ippGetGroupTag) &&
           bind(library, "ippGetInteger", &libcups.ippGetInteger) &&
           bind(library, "ippGetName", &libcups.ippGetName) &&
           bind(library, "ippGetString", &libcups.ippGetString) &&
           bind(library, "ippNewRequest", &libcups.ippNewRequest) &&
           bind(library, "ippNextAttribute", &libcups.ippNextAttribute);
}

// Loads libcups once; false, with the error, when it is not there or lacks a call.
bool libcupsLoaded(PlatformError* error) {
    static std::once_flag once;
    static bool loaded = false;
    std::call_once(once, [] { loaded = loadLibcups(); });
    if (!loaded) {
        reportPlatformError(error, {PLATFORM_ERROR_NOT_SUPPORTED, 0});
    }
    return loaded;
}

} // namespace

// The record of a block on Linux: the texts, stored after the records, and whether the queue
// is stopped. A record taken off its port has the port "FILE:".
struct CupsPrinterRecord {
    char* printerName;
    char* portName;
    char* stateMessage;
    bool stopped;
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
    std::string stateMessage;
    bool stopped;
};

static std::string portOfDeviceUri(const char* deviceUri) {
    return strcmp(deviceUri, FILE_DEVICE_URI) == 0 ? SPOOLER_FILE_PORT : deviceUri;
}

// One queue's attributes as they come in an answer.
struct QueueAttributes {
    const char* name;
    const char* deviceUri;
    const char* stateMessage;
    int type;
    int state;
};

// Keeps a queue of this server (not a class, not another server's queue) and starts afresh.
static void keepLocalQueue(QueueAttributes* found, std::vector<CupsQueue>* queues) {
    if (found->name != nullptr && found->deviceUri != nullptr &&
        (found->type & (CUPS_PRINTER_CLASS | CUPS_PRINTER_REMOTE)) == 0) {
        queues->push_back({found->name, portOfDeviceUri(found->deviceUri),
                           found->stateMessage != nullptr ? found->stateMessage : "",
                           found->state == IPP_PSTATE_STOPPED});
    }
    *found = {};
}

// Takes in one attribute of a queue that the program reads.
static void readQueueAttribute(ipp_attribute_t* attribute, QueueAttributes* found) {
    const char* name = libcups.ippGetName(attribute);
    if (strcmp(name, "printer-name") == 0) {
        found->name = libcups.ippGetString(attribute, 0, nullptr);
    } else if (strcmp(name, "device-uri") == 0) {
        found->deviceUri = libcups.ippGetString(attribute, 0, nullptr);
    } else if (strcmp(name, "printer-state-message") == 0) {
        found->stateMessage = libcups.ippGetString(attribute, 0, nullptr);
    } else if (strcmp(name, "printer-type") == 0) {
        found->type = libcups.ippGetInteger(attribute, 0);
    } else if (strcmp(name, "printer-state") == 0) {
        found->state = libcups.ippGetInteger(attribute, 0);
    }
}

// The local queues of one CUPS-Get-Printers answer, in the server's order.
static std::vector<CupsQueue> localQueues(ipp_t* response) {
    std::vector<CupsQueue> queues;
    QueueAttributes found = {};
    for (ipp_attribute_t* attribute = libcups.ippFirstAttribute(response); attribute != nullptr;
         attribute = libcups.ippNextAttribute(response)) {
        if (libcups.ippGetGroupTag(attribute) != IPP_TAG_PRINTER) {
            keepLocalQueue(&found, &queues);
        } else {
            readQueueAttribute(attribute, &found);
        }
    }
    keepLocalQueue(&found, &queues);
    return queues;
}

// Asks the server for its queues. False when the server cannot be asked; a server without
// queues answers "not found", which is an empty list.
static bool askForQueues(std::vector<CupsQueue>* queues, PlatformError* error) {
    if (!libcupsLoaded(error)) {
        return false;
    }
    static const char* const wanted[] = {"printer-name", "device-uri", "printer-type",
                                         "printer-state", "printer-state-message"};
    ipp_t* request = libcups.ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    libcups.ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                          sizeof wanted / sizeof wanted[0], nullptr, wanted);
    ipp_t* response = libcups.cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    if (response == nullptr) {
        bool empty = libcups.cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND;
        if (!empty) {
            reportErrno(error, errno);
        }
        return empty;
    }
    *queues = localQueues(response);
    libcups.ippDelete(response);
    return true;
}

// Lays the queues out as one block: the records, then each record's texts.
static void layOut(const std::vector<CupsQueue>& queues, uint8_t* block) {
    char* text = reinterpret_cast<char*>(block + queues.size() * sizeof(CupsPrinterRecord));
    CupsPrinterRecord* record = reinterpret_cast<CupsPrinterRecord*>(block);
    for (const CupsQueue& queue : queues) {
        record->printerName = text;
        text = stpcpy(text, queue.name.c_str()) + 1;
        record->portName = text;
        text = stpcpy(text, queue.port.c_str()) + 1;
        record->stateMessage = text;
        text = stpcpy(text, queue.stateMessage.c_str()) + 1;
        record->stopped = queue.stopped;
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
        bytes += queue.name.size() + 1 + queue.port.size() + 1 + queue.stateMessage.size() + 1;
    }
    *needed = static_cast<uint32_t>(bytes);
    if (bytes > size || (bytes > 0 && block == nullptr)) {
        reportPlatformError(error, {PLATFORM_ERROR_TOO_LARGE, 0});
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

static bool cupsIsOffPort(const PrinterPortEntry* record) {
    return toRecord(record)->stopped || strcmp(toRecord(record)->portName, SPOOLER_FILE_PORT) == 0;
}

static void cupsTakeOffPort(PrinterPortEntry* record) {
    toRecord(record)->portName = const_cast<char*>(SPOOLER_FILE_PORT);
}

static const char* cupsOriginalSetting(const PrinterPortEntry* record) {
    return toRecord(record)->stateMessage;
}

static void cupsPutBackSetting(PrinterPortEntry* record, const char* setting) {
    toRecord(record)->stateMessage = const_cast<char*>(setting);
}

// libcups would ask for a password on the terminal when the server wants one for a change: a
// user without the right to change a queue gets a refusal instead, which is reported.
static const char* noPassword(const char*, http_t*, const char*, const char*, void*) {
    return nullptr;
}

// A request about one queue of the server.
static ipp_t* queueRequest(ipp_op_t operation, const char* printerName) {
    libcups.cupsSetPasswordCB2(noPassword, nullptr);
    char uri[HTTP_MAX_URI];
    libcups.httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 0,
                             "/printers/%s", printerName);
    ipp_t* request = libcups.ippNewRequest(operation);
    libcups.ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    return request;
}

// The server's refusal of a request: an IPP status, which carries no number of the system's.
static PlatformErrorKind refusalKind(ipp_status_t status) {
    switch (status) {
    case IPP_STATUS_ERROR_NOT_FOUND:
        return PLATFORM_ERROR_NOT_FOUND;
    case IPP_STATUS_ERROR_FORBIDDEN:
    case IPP_STATUS_ERROR_NOT_AUTHENTICATED:
    case IPP_STATUS_ERROR_NOT_AUTHORIZED:
        return PLATFORM_ERROR_PERMISSION_DENIED;
    default:
        return PLATFORM_ERROR_OTHER;
    }
}

static bool failedRequest(PlatformError* error) {
    if (libcups.cupsLastError() <= IPP_STATUS_OK_CONFLICTING) {
        return false;
    }
    reportPlatformError(error, {refusalKind(libcups.cupsLastError()), 0});
    return true;
}

// Sends a request and tells whether the server carried it out.
static bool carriedOut(ipp_t* request, const char* resource, PlatformError* error) {
    libcups.ippDelete(libcups.cupsDoRequest(CUPS_HTTP_DEFAULT, request, resource));
    return !failedRequest(error);
}

// An open queue: its name, and whether this program held it when it was opened.
struct CupsOpenQueue {
    char* name;
    bool held;
};

// Whether an answer about one queue says that this program holds it.
static bool heldByThisProgram(ipp_t* response) {
    ipp_attribute_t* state = libcups.ippFindAttribute(response, "printer-state", IPP_TAG_ENUM);
    ipp_attribute_t* message =
        libcups.ippFindAttribute(response, "printer-state-message", IPP_TAG_TEXT);
    return state != nullptr && libcups.ippGetInteger(state, 0) == IPP_PSTATE_STOPPED &&
           message != nullptr &&
           strcmp(libcups.ippGetString(message, 0, nullptr), SPOOLER_HOLD_MESSAGE) == 0;
}

static void cupsClose(SpoolerPrinterHandle printer) {
    CupsOpenQueue* queue = reinterpret_cast<CupsOpenQueue*>(printer);
    if (queue != nullptr) {
        free(queue->name);
        delete queue;
    }
}

// A queue is open when it exists.
static bool cupsOpen(const char* printerName, SpoolerPrinterHandle* printer, PlatformError* error) {
    *printer = 0;
    if (!libcupsLoaded(error)) {
        return false;
    }
    static const char* const wanted[] = {"printer-name", "printer-state", "printer-state-message"};
    ipp_t* request = queueRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, printerName);
    libcups.ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                          sizeof wanted / sizeof wanted[0], nullptr, wanted);
    ipp_t* response = libcups.cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    if (failedRequest(error)) {
        libcups.ippDelete(response);
        return false;
    }
    CupsOpenQueue* queue =
        new (std::nothrow) CupsOpenQueue{strdup(printerName), heldByThisProgram(response)};
    libcups.ippDelete(response);
    if (queue == nullptr || queue->name == nullptr) {
        cupsClose(reinterpret_cast<SpoolerPrinterHandle>(queue));
        reportErrno(error, ENOMEM);
        return false;
    }
    *printer = reinterpret_cast<SpoolerPrinterHandle>(queue);
    return true;
}

// Stops the queue with the program's message; its jobs wait, and new ones are still taken.
static bool holdQueue(const CupsOpenQueue* queue, PlatformError* error) {
    ipp_t* request = queueRequest(IPP_OP_PAUSE_PRINTER, queue->name);
    libcups.ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_TEXT, "printer-state-message", nullptr,
                         SPOOLER_HOLD_MESSAGE);
    return carriedOut(request, "/admin/", error);
}

// Back to idle with the state message it had, in one request, so that no moment leaves the
// queue running with the program's message or stopped with its own.
static bool releaseQueue(const CupsOpenQueue* queue, const char* stateMessage,
                         PlatformError* error) {
    ipp_t* request = queueRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER, queue->name);
    libcups.ippAddInteger(request, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_IDLE);
    libcups.ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-state-message", nullptr,
                         stateMessage);
    return carriedOut(request, "/admin/", error);
}

static bool cupsSet(SpoolerPrinterHandle printer, const PrinterPortEntry* record,
                    PlatformError* error) {
    const CupsOpenQueue* queue = reinterpret_cast<const CupsOpenQueue*>(printer);
    if (queue == nullptr) {
        reportPlatformError(error, {PLATFORM_ERROR_INVALID, 0});
        return false;
    }
    if (strcmp(toRecord(record)->portName, SPOOLER_FILE_PORT) == 0) {
        return holdQueue(queue, error);
    }
    // A queue that someone else stopped or released meanwhile is theirs now.
    return !queue->held || releaseQueue(queue, toRecord(record)->stateMessage, error);
}

static bool cupsMayChangePrinters() {
    return true;
}

static const SpoolerService cupsSpooler = {
    .recordSize = sizeof(CupsPrinterRecord),
    .enumerate = cupsEnumerate,
    .printerName = cupsPrinterName,
    .portName = cupsPortName,
    .isOffPort = cupsIsOffPort,
    .takeOffPort = cupsTakeOffPort,
    .originalSetting = cupsOriginalSetting,
    .putBackSetting = cupsPutBackSetting,
    .open = cupsOpen,
    .set = cupsSet,
    .close = cupsClose,
    .mayChangePrinters = cupsMayChangePrinters,
};

const SpoolerService* spoolerService = &cupsSpooler;
