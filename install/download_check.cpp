#include "install/download_check.h"

#include "install/program_image.h"
#include "sys/scoped_handle.h"

namespace {

class HandleReader : public ImageReader {
  public:
    explicit HandleReader(HANDLE file) : m_file(file) {}

    bool Read(uint64_t offset, void* out, size_t size) override {
        LARGE_INTEGER position;
        position.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(m_file, position, nullptr, FILE_BEGIN)) return false;
        char* at = static_cast<char*>(out);
        while (size > 0) {
            DWORD got = 0;
            if (!ReadFile(m_file, at, static_cast<DWORD>(size), &got, nullptr) || got == 0)
                return false;
            at += got;
            size -= got;
        }
        return true;
    }

  private:
    HANDLE m_file;
};

}  // namespace

bool IsWholeWindowsProgram(HANDLE file) {
    LARGE_INTEGER size;
    if (file == INVALID_HANDLE_VALUE || file == nullptr || !GetFileSizeEx(file, &size))
        return false;
    HandleReader reader(file);
    return IsWholeProgramImage(static_cast<uint64_t>(size.QuadPart), reader);
}

bool IsWindowsProgramFile(const std::wstring& path) {
    ScopedKernelHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && IsWholeWindowsProgram(file.Get());
}

unsigned long long LogicalFileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}
