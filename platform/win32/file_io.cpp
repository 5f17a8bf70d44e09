#include "platform/win32/file_io.h"

#include "platform/win32/win32_error.h"

PlatformError readWhole(HANDLE file, char* buffer, uint32_t size, uint32_t* length) {
    LARGE_INTEGER fileSize;
    if (!GetFileSizeEx(file, &fileSize)) {
        return win32Error(GetLastError());
    }
    if (fileSize.QuadPart > size) {
        return {PLATFORM_ERROR_TOO_LARGE, 0};
    }
    DWORD got = 0;
    if (!ReadFile(file, buffer, static_cast<DWORD>(fileSize.QuadPart), &got, nullptr)) {
        return win32Error(GetLastError());
    }
    if (got != fileSize.QuadPart) {
        return {PLATFORM_ERROR_OTHER, 0};
    }
    *length = got;
    return {};
}
