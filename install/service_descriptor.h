#pragma once

#include <cstddef>
#include <string>

// What reading a service descriptor came to.
enum class DescriptorOutcome {
    Found,       // a line holds the start tag and a "<" after it: the site name is known
    WrongXml,    // the first line with the start tag has no "<" after it
    NoStartTag,  // no line holds the start tag
};

struct DescriptorReading {
    DescriptorOutcome outcome;
    std::string siteNameUtf8;  // the name's bytes, only meaningful when outcome is Found
};

// Reads a descriptor as the C runtime's text mode would hand it over (CR LF as LF, a 0x1A
// byte ends the file), fed in pieces of any size, so a large file never needs to be held
// whole. Only the bytes of the site name are kept.
class ServiceDescriptorScanner {
  public:
    // Takes the next bytes of the file; false once the outcome is settled and the rest of
    // the file no longer matters.
    bool Feed(const char* data, size_t size);

    // Ends the file and gives the outcome.
    DescriptorReading Finish();

  private:
    enum class State { SearchingTag, CollectingName, Settled };

    void TakeLineByte(char byte);
    void TakeTagByte(char byte);
    void TakeNameByte(char byte);

    State m_state = State::SearchingTag;
    DescriptorOutcome m_outcome = DescriptorOutcome::NoStartTag;
    size_t m_tagMatched = 0;
    bool m_pendingCr = false;
    bool m_endOfFile = false;
    bool m_nameCutByZero = false;
    std::string m_name;
};

// The whole reading rule on the bytes of one descriptor.
DescriptorReading ParseServiceDescriptor(const char* data, size_t size);
