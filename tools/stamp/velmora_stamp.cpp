// velmora-stamp IN.exe OUT.exe ADDRESS [--publisher PIN]... [--publisher-cert FILE]...: makes a
// copy of a Velmora_Setup build that starts in automatic mode with ADDRESS (host or host:port,
// http) and runs only programs signed by a pinned publisher. IN is only read; on any refusal
// nothing is written. A signed IN is refused: the stamp changes signed bytes, so copies are
// stamped first and signed afterwards.
// velmora-stamp --pin-of FILE: prints the pin and subject of every certificate in FILE (a
// certificate, or a signed program with its signer's chain).
//
// Files are read and written with the C runtime alone: the tool stays small enough to hand
// around, and a path given on the command line reaches the system as it was typed.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>

#include "sys/scoped_handle.h"
#else
#include <unistd.h>
#endif

#include "certificate_file.h"
#include "stamp_image.h"

namespace {

constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;
constexpr int kExitIo = 3;

// Write permission for the owner, the group or anyone; the Windows runtime sets all three from
// the read-only attribute.
constexpr unsigned kAnyWrite = 0222;

#ifdef _WIN32
using FileStatus = struct _stat64;
int StatusOf(const char* path, FileStatus& status) { return _stat64(path, &status); }
// Windows has no symbolic links in the runtime's view: the status of the name is the status.
int NameStatusOf(const char* path, FileStatus& status) { return _stat64(path, &status); }
int OpenForAppending(const char* path) { return _open(path, _O_WRONLY | _O_APPEND | _O_BINARY); }
int CloseDescriptor(int descriptor) { return _close(descriptor); }
void CopyPermissions(const char* path, const FileStatus& from) {
    _chmod(path, from.st_mode & (_S_IREAD | _S_IWRITE));
}
// Replaces an existing file in one step; rename() refuses to.
bool MoveInPlace(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != FALSE;
}
#else
using FileStatus = struct stat;
int StatusOf(const char* path, FileStatus& status) { return stat(path, &status); }
int NameStatusOf(const char* path, FileStatus& status) { return lstat(path, &status); }
int OpenForAppending(const char* path) { return open(path, O_WRONLY | O_APPEND); }
int CloseDescriptor(int descriptor) { return close(descriptor); }
void CopyPermissions(const char* path, const FileStatus& from) {
    chmod(path, from.st_mode & 07777);
}
bool MoveInPlace(const char* from, const char* to) { return std::rename(from, to) == 0; }
#endif

bool IsNotFound(int error) { return error == ENOENT || error == ENOTDIR; }

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using ScopedFile = std::unique_ptr<std::FILE, FileCloser>;

// The whole file, or false when it cannot be opened or read to its end (a directory, too).
bool ReadImage(const char* path, std::vector<unsigned char>& image) {
    ScopedFile in(std::fopen(path, "rb"));
    if (!in) return false;
    image.clear();
    unsigned char chunk[64 * 1024];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, in.get())) > 0)
        image.insert(image.end(), chunk, chunk + got);
    return std::ferror(in.get()) == 0;
}

// A file of this name did not exist and is now this run's own, or null. Exclusive creation
// keeps the tool from ever truncating a file that happens to carry the name.
ScopedFile CreateNewFile(const std::string& path) {
#ifdef _WIN32
    int descriptor =
        _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    return ScopedFile(descriptor < 0 ? nullptr : _fdopen(descriptor, "wb"));
#else
    int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    return ScopedFile(descriptor < 0 ? nullptr : fdopen(descriptor, "wb"));
#endif
}

enum class NewFile { NameTaken, NotCreated, Incomplete, Written };

NewFile WriteNewFile(const std::string& path, const std::vector<unsigned char>& image) {
    ScopedFile out = CreateNewFile(path);
    if (!out) return errno == EEXIST ? NewFile::NameTaken : NewFile::NotCreated;
    bool written = std::fwrite(image.data(), 1, image.size(), out.get()) == image.size();
    // Closing flushes: a full disk shows only here.
    bool closed = std::fclose(out.release()) == 0;
    return written && closed ? NewFile::Written : NewFile::Incomplete;
}

// Why an OUT that stands there cannot be replaced, or null when it can: only a regular file
// that this user may write is ever replaced, and only once the new copy is whole.
const char* WhyOutCannotBeReplaced(const char* path) {
    FileStatus status;
    if (NameStatusOf(path, status) != 0) return IsNotFound(errno) ? nullptr : "not a regular file";
    if ((status.st_mode & S_IFMT) != S_IFREG) return "not a regular file";
    if ((status.st_mode & kAnyWrite) == 0) return "read-only";
    // Opening for appending writes nothing, but fails where writing would.
    int probe = OpenForAppending(path);
    if (probe < 0) return "not writable";
    CloseDescriptor(probe);
    return nullptr;
}

// The new copy, complete, under a name of its own beside OUT; empty with why set otherwise.
std::string WriteBeside(const std::string& path, const std::vector<unsigned char>& image,
                        const char*& why) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = path + ".stamping" + std::to_string(attempt);
        switch (WriteNewFile(candidate, image)) {
            case NewFile::Written:
                return candidate;
            case NewFile::NameTaken:
                continue;
            case NewFile::Incomplete:
                std::remove(candidate.c_str());
                why = "cannot write the new copy beside it";
                return {};
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
const char* WriteImage(const char* path, const std::vector<unsigned char>& image) {
    if (const char* why = WhyOutCannotBeReplaced(path)) return why;
    const char* why = nullptr;
    std::string partial = WriteBeside(path, image, why);
    if (partial.empty()) return why;
    FileStatus out;
    if (StatusOf(path, out) == 0) CopyPermissions(partial.c_str(), out);
    if (MoveInPlace(partial.c_str(), path)) return nullptr;
    std::remove(partial.c_str());
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
    if (!ReadImage(path, file)) return "cannot read the file";
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

#ifdef _WIN32
// Two names for one file share the volume and the file index; false when it cannot be read.
bool ReadFileIdentity(const char* path, BY_HANDLE_FILE_INFORMATION& identity) {
    ScopedKernelHandle file(
        CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file.IsValid() && GetFileInformationByHandle(file.Get(), &identity);
}

bool IsSameObject(const char* a, const char* b, const FileStatus&, const FileStatus&) {
    BY_HANDLE_FILE_INFORMATION first = {};
    BY_HANDLE_FILE_INFORMATION second = {};
    // Whatever cannot be told apart counts as the same: IN is never written.
    if (!ReadFileIdentity(a, first) || !ReadFileIdentity(b, second)) return true;
    return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}
#else
bool IsSameObject(const char*, const char*, const FileStatus& a, const FileStatus& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
#endif

// Whether b names the file a names. A b that does not exist is another file; an a that does not
// exist is left to the reading to report.
bool IsSameFile(const char* a, const char* b) {
    FileStatus second;
    if (StatusOf(b, second) != 0) return false;
    FileStatus first;
    if (StatusOf(a, first) != 0) return !IsNotFound(errno);
    return IsSameObject(a, b, first, second);
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
    const char* inPath = arguments[0].c_str();
    const char* outPath = arguments[1].c_str();
    const std::string& address = arguments[2];

    if (IsSameFile(inPath, outPath)) {
        std::fprintf(stderr, "velmora-stamp: OUT must not be IN; the input is never changed\n");
        return kExitUsage;
    }
    std::vector<unsigned char> image;
    if (!ReadImage(inPath, image)) {
        std::fprintf(stderr, "velmora-stamp: cannot read %s\n", inPath);
        return kExitIo;
    }
    velmora_stamp::StampResult result = velmora_stamp::StampImage(image, address, pins);
    if (result != velmora_stamp::StampResult::Stamped) {
        std::fprintf(stderr, "velmora-stamp: refused: %s\n",
                     velmora_stamp::DescribeStampResult(result));
        return kExitRefused;
    }
    if (const char* why = WriteImage(outPath, image)) {
        std::fprintf(stderr, "velmora-stamp: cannot write %s: %s; it is left as it was\n", outPath,
                     why);
        return kExitIo;
    }
    std::printf("velmora-stamp: %s -> %s with address %s\n", inPath, outPath,
                address.empty() ? "(none)" : address.c_str());
    for (const PublisherPin& pin : pins)
        std::printf("velmora-stamp: publisher pin %s\n", PinText(pin).c_str());
    return 0;
}
