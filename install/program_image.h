#pragma once

#include <cstddef>
#include <cstdint>

// Whether a file holds a whole Windows program image: "MZ", a PE header with a known optional
// header, and every section's raw data and the certificate table (when there is one) inside
// the file. A download cut short after its headers fails it, whatever the server announced.
// Needs nothing of Windows, so it runs on any bytes.

// Reads size bytes at offset of the file being judged into out; false when it cannot.
class ImageReader {
  public:
    virtual bool Read(uint64_t offset, void* out, size_t size) = 0;

  protected:
    ~ImageReader() = default;
};

// The rule over a file of fileSize bytes, read through reader (only the headers, the section
// table and nothing else are read).
bool IsWholeProgramImage(uint64_t fileSize, ImageReader& reader);

// The same rule over a file held whole in memory.
bool IsWholeProgramImage(const unsigned char* bytes, size_t size);

// Where the headers of a PE32 or PE32+ image lie in its file: the one parse of the MZ, PE,
// optional-header and data-directory layout, for the rule above and for the stamping tool
// (tools/stamp), which looks at the certificate table.
struct ProgramImageHeaders {
    uint64_t optionalOffset = 0;  // the optional header, after "PE\0\0" and the file header
    uint64_t optionalSize = 0;    // as the file header gives it
    uint32_t sectionCount = 0;
    // The certificate-table entry (the security data directory: address, then size), whole
    // inside the optional header and the file; 0 when the header counts no such directory.
    uint64_t certificateEntry = 0;
};

// Reads "MZ", the PE signature, the file header, the optional header's magic and directory
// count, and finds the certificate-table entry; false when any of them is not there, not
// inside the file or not inside the optional header, or the magic is unknown. Says nothing
// about the section table and the rest of the optional header.
bool ReadProgramImageHeaders(uint64_t fileSize, ImageReader& reader, ProgramImageHeaders& headers);
bool ReadProgramImageHeaders(const unsigned char* bytes, size_t size, ProgramImageHeaders& headers);
