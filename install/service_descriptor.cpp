#include "install/service_descriptor.h"

#include "sys/text_convert.h"

namespace {

// The start tag holds a single "<", at its front, so a mismatch only ever has to look at
// whether the byte itself starts the tag again.
constexpr char kStartTag[] = "<servicename>";
constexpr size_t kStartTagLength = sizeof(kStartTag) - 1;
constexpr char kEndOfFileByte = 0x1A;

}  // namespace

bool ServiceDescriptorScanner::Feed(const char* data, size_t size) {
    for (size_t i = 0; i < size && m_state != State::Settled && !m_endOfFile; ++i) {
        char byte = data[i];
        if (m_pendingCr) {
            m_pendingCr = false;
            if (byte == '\n') {
                TakeLineByte('\n');
                continue;
            }
            TakeLineByte('\r');
            if (m_state == State::Settled) break;
        }
        if (byte == kEndOfFileByte) {
            m_endOfFile = true;
        } else if (byte == '\r') {
            m_pendingCr = true;
        } else {
            TakeLineByte(byte);
        }
    }
    return m_state != State::Settled && !m_endOfFile;
}

DescriptorReading ServiceDescriptorScanner::Finish() {
    if (m_pendingCr) {
        m_pendingCr = false;
        TakeLineByte('\r');
    }
    // The end of the file also ends the line the name was being collected from.
    if (m_state == State::CollectingName) m_outcome = DescriptorOutcome::WrongXml;
    m_state = State::Settled;
    DescriptorReading reading{m_outcome, std::wstring()};
    if (m_outcome == DescriptorOutcome::Found) reading.siteName = CodePageToWide(CP_UTF8, m_name);
    return reading;
}

void ServiceDescriptorScanner::TakeLineByte(char byte) {
    if (m_state == State::SearchingTag) {
        TakeTagByte(byte);
    } else if (m_state == State::CollectingName) {
        TakeNameByte(byte);
    }
}

void ServiceDescriptorScanner::TakeTagByte(char byte) {
    if (byte == kStartTag[m_tagMatched]) {
        if (++m_tagMatched == kStartTagLength) m_state = State::CollectingName;
    } else {
        m_tagMatched = (byte == kStartTag[0]) ? 1 : 0;
    }
}

void ServiceDescriptorScanner::TakeNameByte(char byte) {
    if (byte == '\n') {
        m_state = State::Settled;
        m_outcome = DescriptorOutcome::WrongXml;
    } else if (byte == '<') {
        m_state = State::Settled;
        m_outcome = DescriptorOutcome::Found;
    } else if (byte == '\0') {
        // The name ends at a zero byte, but the line still has to close the element.
        m_nameCutByZero = true;
    } else if (!m_nameCutByZero) {
        m_name.push_back(byte);
    }
}

DescriptorReading ParseServiceDescriptor(const char* data, size_t size) {
    ServiceDescriptorScanner scanner;
    scanner.Feed(data, size);
    return scanner.Finish();
}
