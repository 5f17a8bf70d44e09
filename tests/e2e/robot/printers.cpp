// tf-printers: lists the printers Windows' spooler knows (EnumPrintersA, level 2), one
// "name<TAB>port" line each, so that the end-to-end tests can see what a program under Wine
// sees. Exit code 1 when the spooler cannot be listed.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main() {
    _setmode(_fileno(stdout), _O_BINARY);
    DWORD needed = 0;
    DWORD count = 0;
    EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed + 1);
    if (!EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count)) {
        fprintf(stderr, "tf-printers: EnumPrintersA failed with error %lu\n", GetLastError());
        return EXIT_FAILURE;
    }
    const auto* printers = reinterpret_cast<const PRINTER_INFO_2A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        printf("%s\t%s\n", printers[i].pPrinterName, printers[i].pPortName);
    return EXIT_SUCCESS;
}
