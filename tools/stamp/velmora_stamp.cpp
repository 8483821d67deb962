// velmora-stamp IN.exe OUT.exe ADDRESS [--publisher PIN]... [--publisher-cert FILE]...: makes a
// copy of a Velmora_Setup build that starts in automatic mode with ADDRESS (host or host:port,
// http) and runs only programs signed by a pinned publisher. IN is only read; on any refusal
// nothing is written. A signed IN is refused: the stamp changes signed bytes, so copies are
// stamped first and signed afterwards.
// velmora-stamp --pin-of FILE: prints the pin and subject of every certificate in FILE (a
// certificate, or a signed program with its signer's chain).

#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "certificate_file.h"
#include "stamp_image.h"

namespace {

constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;
constexpr int kExitIo = 3;

bool ReadImage(const std::filesystem::path& path, std::vector<unsigned char>& image) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// A file of this name did not exist and is now this run's own, or null. Exclusive creation
// keeps the tool from ever truncating a file that happens to carry the name.
std::FILE* CreateNewFile(const std::filesystem::path& path) {
#ifdef _WIN32
    int descriptor =
        _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    return descriptor < 0 ? nullptr : _fdopen(descriptor, "wb");
#else
    int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    return descriptor < 0 ? nullptr : fdopen(descriptor, "wb");
#endif
}

enum class NewFile { NameTaken, NotCreated, Incomplete, Written };

NewFile WriteNewFile(const std::filesystem::path& path, const std::vector<unsigned char>& image) {
    std::FILE* out = CreateNewFile(path);
    if (out == nullptr) return errno == EEXIST ? NewFile::NameTaken : NewFile::NotCreated;
    bool written = std::fwrite(image.data(), 1, image.size(), out) == image.size();
    bool closed = std::fclose(out) == 0;
    return written && closed ? NewFile::Written : NewFile::Incomplete;
}

// Why an OUT that stands there cannot be replaced, or null when it can: only a regular file
// that this user may write is ever replaced, and only once the new copy is whole.
const char* WhyOutCannotBeReplaced(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::symlink_status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) return nullptr;
    if (error || status.type() != std::filesystem::file_type::regular) return "not a regular file";
    using std::filesystem::perms;
    const perms anyWrite = perms::owner_write | perms::group_write | perms::others_write;
    if ((status.permissions() & anyWrite) == perms::none) return "read-only";
    // Opening for appending writes nothing, but fails where writing would.
    std::ofstream probe(path, std::ios::binary | std::ios::app);
    return probe ? nullptr : "not writable";
}

// The new copy, complete, under a name of its own beside OUT; empty with why set otherwise.
std::filesystem::path WriteBeside(const std::filesystem::path& path,
                                  const std::vector<unsigned char>& image, const char*& why) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path candidate = path;
        candidate += ".stamping" + std::to_string(attempt);
        switch (WriteNewFile(candidate, image)) {
            case NewFile::Written:
                return candidate;
            case NewFile::NameTaken:
                continue;
            case NewFile::Incomplete: {
                std::error_code ignored;
                std::filesystem::remove(candidate, ignored);
                why = "cannot write the new copy beside it";
                return {};
            }
            case NewFile::NotCreated:
                why = "cannot create a new file beside it";
                return {};
        }
    }
    why = "no free name for the new copy beside it";
    return {};
}

// Puts the new copy in OUT's place in one step, so that OUT is either the whole stamped copy or
// what stood there before. The only file ever removed is this run's own new one, on failure.
const char* WriteImage(const std::filesystem::path& path, const std::vector<unsigned char>& image) {
    if (const char* why = WhyOutCannotBeReplaced(path)) return why;
    const char* why = nullptr;
    std::filesystem::path partial = WriteBeside(path, image, why);
    if (partial.empty()) return why;
    std::error_code error;
    std::filesystem::file_status out = std::filesystem::status(path, error);
    if (!error) std::filesystem::permissions(partial, out.permissions(), error);
    std::filesystem::rename(partial, path, error);
    if (!error) return nullptr;
    std::filesystem::remove(partial, error);
    return "cannot put the new copy in its place";
}

void PrintUsage() {
    std::fprintf(stderr,
                 "usage: velmora-stamp IN.exe OUT.exe ADDRESS [--publisher PIN]... "
                 "[--publisher-cert FILE]...\n"
                 "       velmora-stamp --pin-of FILE\n"
                 "  ADDRESS is host or host:port; the copy uses http. With a pin it may be \"\".\n"
                 "  PIN is the SHA-256 of a certificate's SubjectPublicKeyInfo, 64 hex digits;\n"
                 "  up to four pins, for a key rollover.\n");
}

// The certificates of the file at path, or why there are none.
const char* ReadCertificates(const char* path, std::vector<velmora_stamp::Bytes>& certificates) {
    std::vector<unsigned char> file;
    if (!ReadImage(std::filesystem::path(path), file)) return "cannot read the file";
    switch (velmora_stamp::ReadCertificateFile(file, certificates)) {
        case velmora_stamp::CertificateFile::Certificates:
            return nullptr;
        case velmora_stamp::CertificateFile::Empty:
            return "no certificate in the file";
        case velmora_stamp::CertificateFile::Unreadable:
            break;
    }
    return "not a readable PEM or DER certificate";
}

int PrintPins(const char* path) {
    std::vector<velmora_stamp::Bytes> certificates;
    if (const char* why = ReadCertificates(path, certificates)) {
        std::fprintf(stderr, "velmora-stamp: refused: %s: %s\n", path, why);
        return kExitRefused;
    }
    for (const velmora_stamp::Bytes& certificate : certificates) {
        PublisherPin pin;
        CertificateParts parts;
        PinOfCertificate(certificate.data(), certificate.size(), pin);
        ReadCertificateParts({certificate.data(), certificate.size()}, parts);
        std::printf("%s  %s\n", PinText(pin).c_str(), DescribeName(parts.subject).c_str());
    }
    return 0;
}

void AddPin(std::vector<PublisherPin>& pins, const PublisherPin& pin) {
    for (const PublisherPin& held : pins) {
        if (held == pin) return;
    }
    pins.push_back(pin);
}

// The pin of the one certificate in the file at path, or why there is none.
const char* PinOfCertificateFile(const char* path, PublisherPin& pin) {
    std::vector<velmora_stamp::Bytes> certificates;
    if (const char* why = ReadCertificates(path, certificates)) return why;
    if (certificates.size() != 1)
        return "more than one certificate in the file; take the pin with --pin-of";
    PinOfCertificate(certificates[0].data(), certificates[0].size(), pin);
    return nullptr;
}

bool IsSameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    if (!std::filesystem::exists(b, error)) return false;
    return std::filesystem::equivalent(a, b, error) || error;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--pin-of") return PrintPins(argv[2]);

    std::vector<std::string> arguments;
    std::vector<PublisherPin> pins;
    for (int i = 1; i < argc; ++i) {
        const std::string argument(argv[i]);
        bool publisher = argument == "--publisher";
        bool publisherCert = argument == "--publisher-cert";
        if (!publisher && !publisherCert) {
            if (argument.size() > 2 && argument.compare(0, 2, "--") == 0) {
                PrintUsage();
                return kExitUsage;
            }
            arguments.push_back(argument);
            continue;
        }
        if (i + 1 >= argc) {
            PrintUsage();
            return kExitUsage;
        }
        const char* value = argv[++i];
        PublisherPin pin;
        if (publisher && !ParsePinText(value, pin)) {
            std::fprintf(stderr,
                         "velmora-stamp: refused: the pin %s is not 64 hex digits (the SHA-256 "
                         "of a SubjectPublicKeyInfo)\n",
                         value);
            return kExitRefused;
        }
        if (publisherCert) {
            if (const char* why = PinOfCertificateFile(value, pin)) {
                std::fprintf(stderr, "velmora-stamp: refused: %s: %s\n", value, why);
                return kExitRefused;
            }
        }
        AddPin(pins, pin);
    }
    if (arguments.size() != 3) {
        PrintUsage();
        return kExitUsage;
    }
    const std::filesystem::path inPath(arguments[0]);
    const std::filesystem::path outPath(arguments[1]);
    const std::string& address = arguments[2];

    if (IsSameFile(inPath, outPath)) {
        std::fprintf(stderr, "velmora-stamp: OUT must not be IN; the input is never changed\n");
        return kExitUsage;
    }
    std::vector<unsigned char> image;
    if (!ReadImage(inPath, image)) {
        std::fprintf(stderr, "velmora-stamp: cannot read %s\n", arguments[0].c_str());
        return kExitIo;
    }
    velmora_stamp::StampResult result = velmora_stamp::StampImage(image, address, pins);
    if (result != velmora_stamp::StampResult::Stamped) {
        std::fprintf(stderr, "velmora-stamp: refused: %s\n",
                     velmora_stamp::DescribeStampResult(result));
        return kExitRefused;
    }
    if (const char* why = WriteImage(outPath, image)) {
        std::fprintf(stderr, "velmora-stamp: cannot write %s: %s; it is left as it was\n",
                     arguments[1].c_str(), why);
        return kExitIo;
    }
    std::printf("velmora-stamp: %s -> %s with address %s\n", arguments[0].c_str(),
                arguments[1].c_str(), address.empty() ? "(none)" : address.c_str());
    for (const PublisherPin& pin : pins)
        std::printf("velmora-stamp: publisher pin %s\n", PinText(pin).c_str());
    return 0;
}
