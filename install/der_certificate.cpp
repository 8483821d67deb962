#include "install/der_certificate.h"

namespace {

constexpr unsigned char kSequence = 0x30;
constexpr unsigned char kSet = 0x31;
constexpr unsigned char kOid = 0x06;
constexpr unsigned char kContextZero = 0xA0;
constexpr unsigned char kBmpString = 0x1E;

// 1.2.840.113549.1.7.2, signedData
const unsigned char kSignedDataOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};

bool ReadTagged(DerSpan& rest, unsigned char tag, DerElement& element) {
    DerSpan before = rest;
    if (!ReadDerElement(rest, element)) return false;
    if (element.tag == tag) return true;
    rest = before;
    return false;
}

bool Skip(DerSpan& rest, int count) {
    DerElement ignored;
    for (int i = 0; i < count; ++i) {
        if (!ReadDerElement(rest, ignored)) return false;
    }
    return true;
}

bool SameBytes(DerSpan span, const unsigned char* bytes, std::size_t size) {
    if (span.size != size) return false;
    for (std::size_t i = 0; i < size; ++i) {
        if (span.data[i] != bytes[i]) return false;
    }
    return true;
}

std::string OidText(DerSpan oid) {
    std::string text;
    unsigned long value = 0;
    bool first = true;
    for (std::size_t i = 0; i < oid.size; ++i) {
        if (value > 0x00FFFFFFUL) return "?";
        value = (value << 7) | (oid.data[i] & 0x7F);
        if (oid.data[i] & 0x80) continue;
        if (first) {
            unsigned long top = value < 40 ? 0 : value < 80 ? 1 : 2;
            text = std::to_string(top) + "." + std::to_string(value - top * 40);
            first = false;
        } else {
            text += "." + std::to_string(value);
        }
        value = 0;
    }
    return text.empty() ? "?" : text;
}

std::string AttributeName(DerSpan oid) {
    // 2.5.4.x, the attribute types of directory names
    if (oid.size == 3 && oid.data[0] == 0x55 && oid.data[1] == 0x04) {
        switch (oid.data[2]) {
            case 3:
                return "CN";
            case 6:
                return "C";
            case 7:
                return "L";
            case 8:
                return "ST";
            case 10:
                return "O";
            case 11:
                return "OU";
        }
    }
    return OidText(oid);
}

char Printable(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F ? '?' : static_cast<char>(byte);
}

std::string ValueText(const DerElement& value) {
    std::string text;
    if (value.tag == kBmpString) {
        for (std::size_t i = 0; i + 1 < value.content.size; i += 2) {
            bool narrow = value.content.data[i] == 0 && value.content.data[i + 1] < 0x80;
            text += narrow ? Printable(value.content.data[i + 1]) : '?';
        }
        return text;
    }
    for (std::size_t i = 0; i < value.content.size; ++i) text += Printable(value.content.data[i]);
    return text;
}

}  // namespace

bool ReadDerElement(DerSpan& rest, DerElement& element) {
    if (rest.size < 2) return false;
    unsigned char tag = rest.data[0];
    // Tags of more than one byte appear in none of the structures read here.
    if ((tag & 0x1F) == 0x1F) return false;
    std::size_t header = 2;
    std::size_t length = rest.data[1];
    if (length & 0x80) {
        std::size_t count = length & 0x7F;
        if (count == 0 || count > 4 || rest.size < 2 + count) return false;
        length = 0;
        for (std::size_t i = 0; i < count; ++i) length = (length << 8) | rest.data[2 + i];
        header += count;
    }
    if (length > rest.size - header) return false;
    element.tag = tag;
    element.whole = {rest.data, header + length};
    element.content = {rest.data + header, length};
    rest = {rest.data + header + length, rest.size - header - length};
    return true;
}

bool ReadCertificateParts(DerSpan der, CertificateParts& parts) {
    DerElement certificate;
    if (!ReadTagged(der, kSequence, certificate) || der.size != 0) return false;
    DerSpan inCertificate = certificate.content;
    DerElement toBeSigned;
    if (!ReadTagged(inCertificate, kSequence, toBeSigned)) return false;
    DerSpan fields = toBeSigned.content;
    DerElement element;
    ReadTagged(fields, kContextZero, element);  // the version, when not the first one
    // serial number, signature algorithm, issuer, validity
    if (!Skip(fields, 4)) return false;
    DerElement subject;
    DerElement publicKeyInfo;
    if (!ReadTagged(fields, kSequence, subject) || !ReadTagged(fields, kSequence, publicKeyInfo))
        return false;
    parts.subject = subject.whole;
    parts.publicKeyInfo = publicKeyInfo.whole;
    return true;
}

std::string DescribeName(DerSpan name) {
    DerElement sequence;
    if (!ReadTagged(name, kSequence, sequence)) return "?";
    std::string text;
    DerSpan names = sequence.content;
    DerElement relative;
    while (ReadTagged(names, kSet, relative)) {
        DerSpan attributes = relative.content;
        DerElement attribute;
        while (ReadTagged(attributes, kSequence, attribute)) {
            DerSpan parts = attribute.content;
            DerElement type;
            DerElement value;
            if (!ReadTagged(parts, kOid, type) || !ReadDerElement(parts, value)) continue;
            if (!text.empty()) text += ", ";
            text += AttributeName(type.content) + "=" + ValueText(value);
        }
    }
    return text;
}

std::vector<DerSpan> SignedDataCertificates(DerSpan der) {
    std::vector<DerSpan> certificates;
    DerElement contentInfo;
    DerElement type;
    DerElement explicitContent;
    DerElement signedData;
    if (!ReadTagged(der, kSequence, contentInfo)) return certificates;
    DerSpan info = contentInfo.content;
    if (!ReadTagged(info, kOid, type) ||
        !SameBytes(type.content, kSignedDataOid, sizeof(kSignedDataOid)) ||
        !ReadTagged(info, kContextZero, explicitContent))
        return certificates;
    DerSpan inner = explicitContent.content;
    if (!ReadTagged(inner, kSequence, signedData)) return certificates;
    DerSpan fields = signedData.content;
    // version, digest algorithms, the signed content
    if (!Skip(fields, 3)) return certificates;
    DerElement set;
    if (!ReadTagged(fields, kContextZero, set)) return certificates;
    DerSpan each = set.content;
    DerElement certificate;
    while (ReadDerElement(each, certificate)) {
        if (certificate.tag == kSequence) certificates.push_back(certificate.whole);
    }
    return certificates;
}
