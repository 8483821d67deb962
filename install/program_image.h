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
