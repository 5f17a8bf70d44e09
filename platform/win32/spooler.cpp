// Spooler service on Windows: the local printers at level 2 (PRINTER_INFO_2).
#include "platform/spooler.h"

#include "platform/win32/win32_error.h"

#include <cstring>
#include <windows.h>

static PRINTER_INFO_2A* toInfo(PrinterPortEntry* record) {
    return reinterpret_cast<PRINTER_INFO_2A*>(record);
}
static const PRINTER_INFO_2A* toInfo(const PrinterPortEntry* record) {
    return reinterpret_cast<const PRINTER_INFO_2A*>(record);
}
static HANDLE toHandle(SpoolerPrinterHandle printer) {
    return reinterpret_cast<HANDLE>(printer);
}

static bool win32Enumerate(uint8_t* block, uint32_t size, uint32_t* needed, uint32_t* count,
                           PlatformError* error) {
    DWORD neededBytes = 0;
    DWORD returned = 0;
    BOOL listed =
        EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, block, size, &neededBytes, &returned);
    *needed = neededBytes;
    *count = listed ? returned : 0;
    if (!listed) {
        reportLastError(error);
    }
    return listed != 0;
}

static const char* win32PrinterName(const PrinterPortEntry* record) {
    return toInfo(record)->pPrinterName;
}

static const char* win32PortName(const PrinterPortEntry* record) {
    return toInfo(record)->pPortName;
}

static bool win32IsOffPort(const PrinterPortEntry* record) {
    return strcmp(toInfo(record)->pPortName, SPOOLER_FILE_PORT) == 0;
}

static void win32TakeOffPort(PrinterPortEntry* record) {
    toInfo(record)->pPortName = const_cast<LPSTR>(SPOOLER_FILE_PORT);
}

static void win32PutBackSetting(PrinterPortEntry* record, const char* setting) {
    toInfo(record)->pPortName = const_cast<LPSTR>(setting);
}

static bool win32Open(const char* printerName, SpoolerPrinterHandle* printer,
                      PlatformError* error) {
    PRINTER_DEFAULTSA defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE handle = nullptr;
    if (!OpenPrinterA(const_cast<LPSTR>(printerName), &handle, &defaults)) {
        reportLastError(error);
        *printer = 0;
        return false;
    }
    *printer = reinterpret_cast<SpoolerPrinterHandle>(handle);
    return true;
}

static bool win32Set(SpoolerPrinterHandle printer, const PrinterPortEntry* record,
                     PlatformError* error) {
    LPBYTE info = reinterpret_cast<LPBYTE>(const_cast<PRINTER_INFO_2A*>(toInfo(record)));
    if (!SetPrinterA(toHandle(printer), 2, info, 0)) {
        reportLastError(error);
        return false;
    }
    return true;
}

static void win32Close(SpoolerPrinterHandle printer) {
    ClosePrinter(toHandle(printer));
}

static bool win32MayChangePrinters() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return false;
    }
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    BOOL read = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    CloseHandle(token);
    return read && elevation.TokenIsElevated != 0;
}

// A printer's original setting is its port.
static const SpoolerService win32Spooler = {
    .recordSize = sizeof(PRINTER_INFO_2A),
    .enumerate = win32Enumerate,
    .printerName = win32PrinterName,
    .portName = win32PortName,
    .isOffPort = win32IsOffPort,
    .takeOffPort = win32TakeOffPort,
    .originalSetting = win32PortName,
    .putBackSetting = win32PutBackSetting,
    .open = win32Open,
    .set = win32Set,
    .close = win32Close,
    .mayChangePrinters = win32MayChangePrinters,
};

const SpoolerService* spoolerService = &win32Spooler;
