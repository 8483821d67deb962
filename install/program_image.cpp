#include "install/program_image.h"

#include <cstring>
#include <vector>

namespace {

constexpr uint64_t kDosHeaderSize = 64;
constexpr uint64_t kNewHeaderOffsetField = 0x3C;
constexpr uint64_t kFileHeaderSize = 20;
constexpr uint64_t kSectionHeaderSize = 40;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
// Where the directory count sits in the optional header, and where the directories begin.
constexpr uint64_t kDirectoryCountPe32 = 92;
constexpr uint64_t kDirectoryCountPe32Plus = 108;
constexpr uint64_t kDirectoryEntrySize = 8;
constexpr uint32_t kSecurityDirectory = 4;
// The section's raw size and file offset within its header.
constexpr uint64_t kRawSizeField = 16;

uint16_t Little16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Little32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// A range of the file, checked against its size before it is read.
bool ReadInside(ImageReader& reader, uint64_t fileSize, uint64_t offset, void* out, size_t size) {
    if (offset > fileSize || size > fileSize - offset) return false;
    return reader.Read(offset, out, size);
}

// Whether offset + size stays inside the file, without overflow.
bool RangeInside(uint64_t fileSize, uint64_t offset, uint64_t size) {
    return offset <= fileSize && size <= fileSize - offset;
}

class MemoryReader : public ImageReader {
  public:
    MemoryReader(const unsigned char* bytes, size_t size) : m_bytes(bytes), m_size(size) {}
    bool Read(uint64_t offset, void* out, size_t size) override {
        if (offset > m_size || size > m_size - offset) return false;
        if (size != 0) std::memcpy(out, m_bytes + offset, size);
        return true;
    }

  private:
    const unsigned char* m_bytes;
    size_t m_size;
};

}  // namespace

bool ReadProgramImageHeaders(uint64_t fileSize, ImageReader& reader, ProgramImageHeaders& headers) {
    unsigned char dos[kDosHeaderSize];
    if (!ReadInside(reader, fileSize, 0, dos, sizeof(dos))) return false;
    if (dos[0] != 'M' || dos[1] != 'Z') return false;

    uint64_t peOffset = Little32(dos + kNewHeaderOffsetField);
    unsigned char head[4 + kFileHeaderSize];
    if (!ReadInside(reader, fileSize, peOffset, head, sizeof(head))) return false;
    if (std::memcmp(head, "PE\0\0", 4) != 0) return false;
    const unsigned char* fileHeader = head + 4;
    headers.sectionCount = Little16(fileHeader + 2);
    headers.optionalSize = Little16(fileHeader + 16);
    headers.optionalOffset = peOffset + sizeof(head);

    unsigned char field[4];
    if (!ReadInside(reader, fileSize, headers.optionalOffset, field, 2)) return false;
    uint16_t magic = Little16(field);
    uint64_t countField;
    if (magic == kMagicPe32) {
        countField = kDirectoryCountPe32;
    } else if (magic == kMagicPe32Plus) {
        countField = kDirectoryCountPe32Plus;
    } else {
        return false;
    }
    if (headers.optionalSize < countField + 4) return false;
    if (!ReadInside(reader, fileSize, headers.optionalOffset + countField, field, 4)) return false;
    headers.certificateEntry = 0;
    if (Little32(field) <= kSecurityDirectory) return true;
    uint64_t entry = countField + 4 + kSecurityDirectory * kDirectoryEntrySize;
    if (headers.optionalSize < entry + kDirectoryEntrySize ||
        !RangeInside(fileSize, headers.optionalOffset + entry, kDirectoryEntrySize))
        return false;
    headers.certificateEntry = headers.optionalOffset + entry;
    return true;
}

bool ReadProgramImageHeaders(const unsigned char* bytes, size_t size,
                             ProgramImageHeaders& headers) {
    MemoryReader reader(bytes, size);
    return ReadProgramImageHeaders(size, reader, headers);
}

bool IsWholeProgramImage(uint64_t fileSize, ImageReader& reader) {
    ProgramImageHeaders headers;
    if (!ReadProgramImageHeaders(fileSize, reader, headers)) return false;
    if (headers.certificateEntry != 0) {
        unsigned char entry[kDirectoryEntrySize];
        if (!reader.Read(headers.certificateEntry, entry, sizeof(entry))) return false;
        // The certificate table's address is a file offset, not an address in memory.
        uint64_t offset = Little32(entry);
        uint64_t size = Little32(entry + 4);
        if (size != 0 && !RangeInside(fileSize, offset, size)) return false;
    }

    // The whole optional header, then the section table, inside the file.
    uint64_t tableOffset = headers.optionalOffset + headers.optionalSize;
    uint64_t tableSize = headers.sectionCount * kSectionHeaderSize;
    if (!RangeInside(fileSize, tableOffset, tableSize)) return false;
    std::vector<unsigned char> table(static_cast<size_t>(tableSize));
    if (!reader.Read(tableOffset, table.data(), table.size())) return false;
    for (uint32_t i = 0; i < headers.sectionCount; ++i) {
        const unsigned char* section = table.data() + i * kSectionHeaderSize;
        uint64_t rawSize = Little32(section + kRawSizeField);
        uint64_t rawOffset = Little32(section + kRawSizeField + 4);
        if (rawSize != 0 && !RangeInside(fileSize, rawOffset, rawSize)) return false;
    }
    return true;
}

bool IsWholeProgramImage(const unsigned char* bytes, size_t size) {
    MemoryReader reader(bytes, size);
    return IsWholeProgramImage(size, reader);
}
