#include "install/download_check.h"

#include "install/program_image.h"

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
