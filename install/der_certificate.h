#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Just enough DER to find the parts of an X.509 certificate that a publisher pin is made of
// and named by, and the certificates inside an Authenticode signature. Plain C++ on bytes that
// may come from anyone: every length is checked against what is left, nothing is trusted.

struct DerSpan {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

struct DerElement {
    unsigned char tag = 0;
    DerSpan whole;    // tag, length and content
    DerSpan content;  // the content alone
};

// Takes the first element off rest; false (rest unchanged) when rest does not start with a
// whole element of single-byte tag and definite length.
bool ReadDerElement(DerSpan& rest, DerElement& element);

// The subject name and the SubjectPublicKeyInfo of the certificate that fills der exactly,
// each whole with its tag and length.
struct CertificateParts {
    DerSpan subject;
    DerSpan publicKeyInfo;
};
bool ReadCertificateParts(DerSpan der, CertificateParts& parts);

// A name as "CN=..., O=...", in the order it is encoded. Control characters become '?', so
// the text can go into a log line whoever chose the name.
std::string DescribeName(DerSpan name);

// The certificates of a PKCS #7 SignedData (as an Authenticode signature holds it), each whole;
// empty when der is no SignedData or carries none.
std::vector<DerSpan> SignedDataCertificates(DerSpan der);
