#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "install/program_image.h"

namespace {

void Put16(std::vector<unsigned char>& b, size_t at, uint16_t v) {
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}

void Put32(std::vector<unsigned char>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

// A small image as a linker lays it out: DOS header, PE header at 0x80, optional header with
// 16 directories, then two sections of 0x200 bytes each from 0x200 on.
struct Image {
    static constexpr size_t kPe = 0x80;
    static constexpr size_t kOptional = kPe + 24;
    std::vector<unsigned char> bytes;
    size_t table = 0;
    size_t securityEntry = 0;

    explicit Image(bool plus = false) : bytes(0x600, 0) {
        bytes[0] = 'M';
        bytes[1] = 'Z';
        Put32(bytes, 0x3C, kPe);
        std::memcpy(&bytes[kPe], "PE\0\0", 4);
        uint16_t optionalSize = plus ? 240 : 224;
        Put16(bytes, kPe + 4, plus ? 0x8664 : 0x14C);
        Put16(bytes, kPe + 6, 2);
        Put16(bytes, kPe + 20, optionalSize);
        Put16(bytes, kOptional, plus ? 0x20B : 0x10B);
        size_t count = kOptional + (plus ? 108 : 92);
        Put32(bytes, count, 16);
        securityEntry = count + 4 + 4 * 8;
        table = kOptional + optionalSize;
        Section(0, 0x200, 0x200);
        Section(1, 0x400, 0x200);
    }
    void Section(int index, uint32_t offset, uint32_t size) {
        Put32(bytes, table + index * 40 + 16, size);
        Put32(bytes, table + index * 40 + 20, offset);
    }
    void Certificates(uint32_t offset, uint32_t size) {
        Put32(bytes, securityEntry, offset);
        Put32(bytes, securityEntry + 4, size);
    }
    bool Whole() const { return IsWholeProgramImage(bytes.data(), bytes.size()); }
};

TEST(ProgramImage, ALaidOutImageIsWholeInBothWidths) {
    EXPECT_TRUE(Image(false).Whole());
    EXPECT_TRUE(Image(true).Whole());
}

TEST(ProgramImage, CutAnywhereInsideItsSectionsItIsNot) {
    Image image;
    for (size_t size : std::vector<size_t>{0x5FF, 0x401, 0x400, 0x3FF, 0x201, 0x200, 0x1FF}) {
        std::vector<unsigned char> cut(image.bytes.begin(), image.bytes.begin() + size);
        EXPECT_FALSE(IsWholeProgramImage(cut.data(), cut.size())) << size;
    }
}

TEST(ProgramImage, CutInsideItsHeadersItIsNot) {
    Image image;
    for (size_t size : std::vector<size_t>{0, 1, 2, 63, 64, 0x83, 0x84, 0x97, 0x98, 0x17F,
                                           image.table, image.table + 79}) {
        std::vector<unsigned char> cut(image.bytes.begin(), image.bytes.begin() + size);
        EXPECT_FALSE(IsWholeProgramImage(cut.data(), cut.size())) << size;
    }
}

TEST(ProgramImage, ACertificateTableMustEndInsideTheFile) {
    Image image;
    image.bytes.resize(0x700);
    image.Certificates(0x600, 0x100);
    EXPECT_TRUE(image.Whole());
    image.Certificates(0x600, 0x101);
    EXPECT_FALSE(image.Whole());
    image.Certificates(0xFFFFFF00u, 0x200);
    EXPECT_FALSE(image.Whole());
    // No table at all is fine, also with an address left behind.
    image.Certificates(0x12345678, 0);
    EXPECT_TRUE(image.Whole());
}

TEST(ProgramImage, ASignedImageCutInItsCertificateTableIsNot) {
    Image image;
    image.bytes.resize(0x700);
    image.Certificates(0x600, 0x100);
    image.bytes.resize(0x680);
    EXPECT_FALSE(image.Whole());
}

TEST(ProgramImage, SectionsWithoutRawDataNeedNone) {
    Image image;
    image.Section(1, 0x7FFFFFFF, 0);
    EXPECT_TRUE(image.Whole());
    image.Section(1, 0xFFFFFFFFu, 0xFFFFFFFFu);
    EXPECT_FALSE(image.Whole());
}

TEST(ProgramImage, SectionTableMustFitInTheFile) {
    Image image;
    Put16(image.bytes, Image::kPe + 6, 0xFFFF);
    EXPECT_FALSE(image.Whole());
}

TEST(ProgramImage, HeadersThatAreNoProgramsAreRefused) {
    struct Case {
        const char* label;
        size_t at;
        unsigned char value;
    } cases[] = {
        {"no MZ", 0, 'm'},
        {"no PE signature", Image::kPe + 1, 'X'},
        {"unknown optional header", Image::kOptional, 0x07},
        {"PE header past the end", 0x3E, 0x01},
    };
    for (const Case& c : cases) {
        Image image;
        image.bytes[c.at] = c.value;
        EXPECT_FALSE(image.Whole()) << c.label;
    }
    Image tooSmall;
    Put16(tooSmall.bytes, Image::kPe + 20, 90);
    EXPECT_FALSE(tooSmall.Whole());
    // With four directories or fewer there is no certificate table to look for.
    Image fewDirectories;
    fewDirectories.Certificates(0xFFFFFF00u, 0x200);
    EXPECT_FALSE(fewDirectories.Whole());
    Put32(fewDirectories.bytes, Image::kOptional + 92, 4);
    EXPECT_TRUE(fewDirectories.Whole());
}

TEST(ProgramImage, TextAndErrorPagesAreNoPrograms) {
    const char* texts[] = {"", "M", "MZ", "<html><body>error 404</body></html>",
                           "<service>\n<servicename>Sales</servicename>\n</service>\n"};
    for (const char* text : texts) {
        EXPECT_FALSE(
            IsWholeProgramImage(reinterpret_cast<const unsigned char*>(text), std::strlen(text)))
            << text;
    }
}

}  // namespace
