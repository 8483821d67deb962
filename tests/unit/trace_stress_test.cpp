// The log under load: the trace probe writes from two threads in append mode, which opens and
// closes the file for every line, while this process keeps reading the file as it grows, the
// way a log viewer would. Every line that shows up must be whole, with a well-formed header,
// and each thread's lines must come in their order with none missing.
#include <gtest/gtest.h>

#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "log/trace_sink.h"
#include "sys/scoped_handle.h"
#include "tests/support/child_process.h"
#include "tests/support/trace_files.h"

namespace {

using trace_test::EntryText;
using trace_test::ExitText;

// Each scope of the probe's workers writes three lines: entry, one message, exit. 33,334
// scopes make 100,002 lines per thread.
constexpr int kScopesPerThread = 33334;
constexpr DWORD kWriterTimeoutMs = 240000;
const char kProbeName[] = "trace_probe.exe";
const char kWorkerScope[] = "TraceProbe::Worker";
const char kFiller[] = "abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz0123456789";

bool IsDigits(const std::string& text, size_t from, size_t count) {
    if (from + count > text.size()) return false;
    for (size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

// "[YYYY-MM-DD hh:mm:ss.mmm]": positions of the digits and of the separators between them.
bool IsTimeStamp(const std::string& line) {
    static const char kShape[] = "[0000-00-00 00:00:00.000]";
    if (line.size() < sizeof(kShape) - 1) return false;
    for (size_t i = 0; i + 1 < sizeof(kShape); ++i) {
        if (kShape[i] == '0' ? !IsDigits(line, i, 1) : line[i] != kShape[i]) return false;
    }
    return true;
}

// Takes the log's bytes as they arrive and checks every line once it is complete.
class LogFollower {
  public:
    explicit LogFollower(DWORD processId)
        : m_namePart(std::string("[") + kProbeName + "(" + std::to_string(processId) + "), T:") {}

    void Take(const char* data, size_t size) {
        m_pending.append(data, size);
        size_t start = 0;
        for (size_t end = m_pending.find('\n'); end != std::string::npos;
             end = m_pending.find('\n', start)) {
            if (end == start || m_pending[end - 1] != '\r') {
                Broken("line without CR LF", m_pending.substr(start, end - start));
            } else {
                Check(m_pending.substr(start, end - 1 - start));
            }
            start = end + 1;
        }
        m_pending.erase(0, start);
    }

    size_t Lines() const { return m_lines; }
    size_t Broken() const { return m_broken; }
    const std::string& Pending() const { return m_pending; }
    const std::map<unsigned long, size_t>& PerThread() const { return m_perThread; }

  private:
    void Check(const std::string& line) {
        ++m_lines;
        constexpr size_t kStampLength = 25;
        if (!IsTimeStamp(line) || line.compare(kStampLength, m_namePart.size(), m_namePart) != 0)
            return Broken("header", line);
        size_t idStart = kStampLength + m_namePart.size();
        size_t idEnd = line.find(']', idStart);
        if (idEnd == std::string::npos || idEnd == idStart ||
            !IsDigits(line, idStart, idEnd - idStart))
            return Broken("thread id", line);
        std::string stamp = line.substr(0, kStampLength);
        if (stamp < m_lastStamp) return Broken("time going back", line);
        m_lastStamp = stamp;

        unsigned long thread = strtoul(line.c_str() + idStart, nullptr, 10);
        size_t n = m_perThread[thread]++;
        std::string rest = line.substr(idEnd + 1);
        std::string expected;
        if (n % 3 == 0) {
            expected = EntryText(kWorkerScope);
        } else if (n % 3 == 2) {
            expected = ExitText(kWorkerScope);
        } else {
            // The worker's number is the same on every line of one thread.
            int worker = rest.size() > 12 ? rest[12] - '0' : 0;
            auto known = m_workerOf.emplace(thread, worker).first;
            expected = ":    thread " + std::to_string(known->second) + " line " +
                       std::to_string(n / 3) + " " + kFiller;
        }
        if (rest != expected) Broken("out of sequence, expected \"" + expected + "\"", line);
    }

    void Broken(const std::string& what, const std::string& line) {
        if (++m_broken <= 5) ADD_FAILURE() << "broken line (" << what << "): " << line;
    }

    std::string m_namePart;
    std::string m_pending;
    std::string m_lastStamp;
    std::map<unsigned long, size_t> m_perThread;
    std::map<unsigned long, int> m_workerOf;
    size_t m_lines = 0;
    size_t m_broken = 0;
};

// Reads whatever the file has gained since the last call.
size_t ReadNewBytes(HANDLE file, LogFollower& follower) {
    static char buffer[1 << 16];
    size_t total = 0;
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        follower.Take(buffer, got);
        total += got;
    }
    return total;
}

TEST(TraceStressTest, TwoThreadsAppendLineByLineWhileAnotherProcessReads) {
    TempFolder dir(L"velmora_trace");
    std::wstring log = dir.File(L"stress.log");
    ChildProcess writer;
    DWORD started = GetTickCount();
    ASSERT_TRUE(writer.Start(trace_test::ProbePath(),
                             L"threads " + std::to_wstring(TraceFileAppend) + L" \"" + log +
                                 L"\" " + std::to_wstring(kScopesPerThread)));
    LogFollower follower(writer.ProcessId());

    // A reader shares everything, as a viewer does, so that it never stands in the way of the
    // writer's reopening.
    ScopedKernelHandle file;
    int readsWithData = 0;
    size_t linesWhileWriting = 0;
    long exitCode = -1;
    for (;;) {
        exitCode = writer.WaitForExit(0);
        if (!file) {
            file.Reset(CreateFileW(log.c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        }
        if (file && ReadNewBytes(file.Get(), follower) > 0) ++readsWithData;
        if (exitCode != -1) break;
        linesWhileWriting = follower.Lines();
        ASSERT_LT(GetTickCount() - started, kWriterTimeoutMs) << "hang: the writer did not end";
        Sleep(1);
    }
    DWORD elapsedMs = GetTickCount() - started;

    EXPECT_EQ(static_cast<DWORD>(exitCode), trace_test::kRanToEnd);
    ASSERT_TRUE(file.IsValid());
    EXPECT_EQ(follower.Broken(), 0u);
    EXPECT_EQ(follower.Pending(), "") << "the log ends inside a line";
    ASSERT_EQ(follower.PerThread().size(), 2u);
    for (const auto& [thread, lines] : follower.PerThread()) {
        EXPECT_EQ(lines, static_cast<size_t>(3 * kScopesPerThread)) << "thread " << thread;
    }
    // The reading went on while the lines were written, in many small steps, not once after.
    EXPECT_GT(readsWithData, 100);
    EXPECT_GT(linesWhileWriting, 0u);
    printf(
        "trace stress: %zu lines from 2 threads in %lu ms, %d reads with new data, %zu lines "
        "seen while writing\n",
        follower.Lines(), static_cast<unsigned long>(elapsedMs), readsWithData, linesWhileWriting);
}

}  // namespace
