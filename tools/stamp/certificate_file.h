#pragma once

// The certificates in a file an administrator hands the stamping tool: a PEM file (one or more
// certificates), one DER certificate, or a program signed with Authenticode, whose signature
// carries its signer's chain. Plain standard C++, like stamp_image.h.

#include <cstddef>
#include <string>
#include <vector>

#include "install/der_certificate.h"
#include "install/program_image.h"

namespace velmora_stamp {

using Bytes = std::vector<unsigned char>;

inline int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// The base64 text between the markers; white space is skipped, anything else but the final
// '=' padding makes it unreadable.
inline bool DecodeBase64(const std::string& text, Bytes& out) {
    unsigned long bits = 0;
    int bitCount = 0;
    bool padding = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        if (c == '=') {
            padding = true;
            continue;
        }
        int value = Base64Value(c);
        if (value < 0 || padding) return false;
        bits = ((bits << 6) | static_cast<unsigned long>(value)) & 0xFFFFFF;
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            out.push_back(static_cast<unsigned char>(bits >> bitCount));
        }
    }
    return !out.empty();
}

// Every "CERTIFICATE" block of a PEM text; false when one of them cannot be decoded.
inline bool ReadPemCertificates(const std::string& text, std::vector<Bytes>& certificates) {
    const std::string begin = "-----BEGIN CERTIFICATE-----";
    const std::string end = "-----END CERTIFICATE-----";
    for (std::size_t at = text.find(begin); at != std::string::npos; at = text.find(begin, at)) {
        std::size_t body = at + begin.size();
        std::size_t stop = text.find(end, body);
        if (stop == std::string::npos) return false;
        Bytes der;
        if (!DecodeBase64(text.substr(body, stop - body), der)) return false;
        certificates.push_back(der);
        at = stop + end.size();
    }
    return true;
}

inline unsigned long ReadLittle(const Bytes& bytes, std::size_t offset, int size) {
    unsigned long value = 0;
    for (int i = size - 1; i >= 0; --i) value = (value << 8) | bytes[offset + i];
    return value;
}

// The certificates of every PKCS #7 entry in the certificate table of a signed program.
inline void ReadSignatureCertificates(const Bytes& image, std::vector<Bytes>& certificates) {
    ProgramImageHeaders headers;
    if (!ReadProgramImageHeaders(image.data(), image.size(), headers) ||
        headers.certificateEntry == 0)
        return;
    std::size_t entry = static_cast<std::size_t>(headers.certificateEntry);
    std::size_t table = ReadLittle(image, entry, 4);
    std::size_t size = ReadLittle(image, entry + 4, 4);
    if (table > image.size() || size > image.size() - table) return;
    const std::size_t kHeader = 8;        // length, revision, type
    const unsigned long kSignedData = 2;  // WIN_CERT_TYPE_PKCS_SIGNED_DATA
    std::size_t at = table;
    while (at + kHeader <= table + size) {
        std::size_t length = ReadLittle(image, at, 4);
        if (length < kHeader || length > table + size - at) return;
        if (ReadLittle(image, at + 6, 2) == kSignedData) {
            for (DerSpan certificate :
                 SignedDataCertificates({image.data() + at + kHeader, length - kHeader}))
                certificates.emplace_back(certificate.data, certificate.data + certificate.size);
        }
        at += (length + 7) / 8 * 8;
    }
}

enum class CertificateFile { Certificates, Unreadable, Empty };

// The certificates in file: PEM, else a signed program, else one DER certificate. Every one
// returned is a certificate whose parts can be read.
inline CertificateFile ReadCertificateFile(const Bytes& file, std::vector<Bytes>& certificates) {
    certificates.clear();
    const std::string text(file.begin(), file.end());
    if (text.find("-----BEGIN ") != std::string::npos) {
        if (!ReadPemCertificates(text, certificates)) return CertificateFile::Unreadable;
    } else if (file.size() >= 2 && file[0] == 'M' && file[1] == 'Z') {
        ReadSignatureCertificates(file, certificates);
    } else {
        certificates.push_back(file);
    }
    if (certificates.empty()) return CertificateFile::Empty;
    for (const Bytes& certificate : certificates) {
        CertificateParts parts;
        if (!ReadCertificateParts({certificate.data(), certificate.size()}, parts))
            return CertificateFile::Unreadable;
    }
    return CertificateFile::Certificates;
}

}  // namespace velmora_stamp
