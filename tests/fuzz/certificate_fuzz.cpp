// The certificate and signature reading of the publisher pins: any bytes, as a certificate, a
// signature, a program's certificate table or a stamped pin layout, are read inside their
// bounds, and whatever is found is whole and consistent.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_text.h"
#include "install/der_certificate.h"
#include "install/publisher_pins.h"
#include "tools/stamp/certificate_file.h"

using fuzztext::Require;

namespace {

bool Inside(DerSpan part, const uint8_t* data, size_t size) {
    return part.data >= data && part.size <= size &&
           static_cast<size_t>(part.data - data) <= size - part.size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CertificateParts parts;
    if (ReadCertificateParts({data, size}, parts)) {
        Require(Inside(parts.subject, data, size) && Inside(parts.publicKeyInfo, data, size),
                "a certificate part lies outside the certificate");
        DescribeName(parts.subject);
        PublisherPin pin;
        Require(PinOfCertificate(data, size, pin), "a readable certificate has no pin");
    }
    for (DerSpan certificate : SignedDataCertificates({data, size}))
        Require(Inside(certificate, data, size), "a certificate lies outside the signature");
    DescribeName({data, size});

    std::vector<unsigned char> file(data, data + size);
    std::vector<velmora_stamp::Bytes> certificates;
    if (velmora_stamp::ReadCertificateFile(file, certificates) ==
        velmora_stamp::CertificateFile::Certificates) {
        for (const velmora_stamp::Bytes& certificate : certificates)
            Require(ReadCertificateParts({certificate.data(), certificate.size()}, parts),
                    "a certificate that was returned cannot be read");
    }

    std::vector<uint16_t> units(size / 2);
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<uint16_t>(data[i * 2] | (data[i * 2 + 1] << 8));
    PublisherPins pins = DecodeStampedPins(units.data(), units.size());
    Require(pins.keys.size() <= kMaxPublisherPins, "more pins read than a stamp holds");
    Require(!pins.unreadable || pins.keys.empty(), "unreadable pins that hold keys");
    if (!pins.keys.empty())
        Require(EncodeStampedPins(pins.keys) ==
                    std::vector<uint16_t>(units.begin(),
                                          units.begin() + 2 + pins.keys.size() * kPinUnits),
                "pins read back differ from their layout");
    return 0;
}
