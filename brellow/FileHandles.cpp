#include "FileHandles.h"

namespace brellow {

bool WriteAll(HANDLE file, const char* data, DWORD size) {
    while (size) {
        DWORD written = 0;
        if (!WriteFile(file, data, size, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

bool SetDisposition(HANDLE file, bool remove) {
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = remove ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

bool SetAttributes(HANDLE file, DWORD attributes, LARGE_INTEGER created, LARGE_INTEGER written) {
    FILE_BASIC_INFO basic = {};
    basic.CreationTime = created;
    basic.LastWriteTime = written;
    basic.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof(basic)) != FALSE;
}

}  // namespace brellow
