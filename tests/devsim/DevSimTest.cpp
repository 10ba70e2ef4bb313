// The device emulator on its own: options, the transport contract, its answers, its
// fault injection and its results, seen from a raw socket client.

#include "support/DevSim.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <numeric>
#include <thread>

using testsupport::DevSim;

namespace
{
using Bytes = std::vector<uint8_t>;

// A host end of the virtual transport, without the program's HID layer.
class RawHost
{
public:
    ~RawHost() { close(); }

    // Connects (retrying while the socket is not there yet) and reads the descriptor.
    bool connect (const juce::File& socket, int timeoutMs = 3000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);
        while (std::chrono::steady_clock::now() < end)
        {
            m_fd = ::socket (AF_UNIX, SOCK_SEQPACKET, 0);
            sockaddr_un address {};
            address.sun_family = AF_UNIX;
            std::strncpy (address.sun_path, socket.getFullPathName().toRawUTF8(), sizeof address.sun_path - 1);
            if (::connect (m_fd, reinterpret_cast<sockaddr*> (&address), sizeof address) == 0)
            {
                descriptor = receive (1000);
                return descriptor.size() == 24;
            }
            close();
            std::this_thread::sleep_for (std::chrono::milliseconds (5));
        }
        return false;
    }

    void close()
    {
        if (m_fd >= 0)
            ::close (m_fd);
        m_fd = -1;
    }

    void send (Bytes report)
    {
        report.resize (64, 0);
        ASSERT_EQ (::send (m_fd, report.data(), report.size(), MSG_NOSIGNAL), 64);
    }

    // One message; empty after timeoutMs without one; {0xEE} at end of file.
    Bytes receive (int timeoutMs = 2000)
    {
        pollfd fd { m_fd, POLLIN, 0 };
        if (::poll (&fd, 1, timeoutMs) <= 0)
            return {};
        Bytes buffer (8192);
        const auto length = ::recv (m_fd, buffer.data(), buffer.size(), 0);
        if (length <= 0)
            return { 0xEE };
        buffer.resize (static_cast<size_t> (length));
        return buffer;
    }

    Bytes exchange (Bytes report, int timeoutMs = 2000)
    {
        send (std::move (report));
        return receive (timeoutMs);
    }

    Bytes descriptor;

private:
    int m_fd = -1;
};

class DevSimTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
#ifndef NUBLA_DEVSIM_PATH
        GTEST_SKIP() << "nubla-devsim is not built";
#endif
        folder = juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("nubla-devsim", "");
        ASSERT_TRUE (folder.createDirectory());
    }

    void TearDown() override
    {
        devsim.stop();
        folder.deleteRecursively();
    }

    void startAndConnect (const std::vector<std::string>& args)
    {
        ASSERT_TRUE (devsim.start (folder, args));
        ASSERT_TRUE (host.connect (devsim.socketFile()));
    }

    juce::File folder;
    DevSim devsim;
    RawHost host;
};

Bytes Report (std::initializer_list<uint8_t> head)
{
    Bytes report (head);
    report.resize (64, 0);
    return report;
}

Bytes Range (uint8_t target, uint8_t code, uint32_t address, uint32_t length)
{
    auto report = Report ({ target, code });
    for (int i = 0; i < 4; ++i)
    {
        report[2 + static_cast<size_t> (i)] = static_cast<uint8_t> (address >> (8 * i));
        report[7 + static_cast<size_t> (i)] = static_cast<uint8_t> (length >> (8 * i));
    }
    report[6] = 0xFF;
    return report;
}

Bytes Head (const Bytes& answer, size_t count = 3)
{
    return Bytes (answer.begin(), answer.begin() + static_cast<std::ptrdiff_t> (std::min (count, answer.size())));
}
} // namespace

TEST (DevSimOptions, BadOptionsGiveUsageAndExitStatus2)
{
    const std::vector<std::vector<std::string>> cases = {
        { "--dir", "/tmp", "--nosuch" },
        { "--dir", "/tmp", "stray" },
        { "--dir", "/tmp", "--fw-date", "2017053" },
        { "--dir", "/tmp", "--fw-date", "2017053G" },
        { "--dir", "/tmp", "--fw-version", "1.0" },
        { "--dir", "/tmp", "--busy", "many" },
        { "--dir", "/tmp", "--latency", "-1" },
        { "--dir", "/tmp", "--fault", "data:1" },
        { "--dir", "/tmp", "--fault", "flash:1:silent" },
        { "--dir", "/tmp", "--fault", "data:0:silent" },
        { "--dir", "/tmp", "--fault", "data:3-2:silent" },
        { "--dir", "/tmp", "--fault", "data:1:explode" },
        { "--dir", "/tmp", "--fault", "sum:1:ng" },
        { "--dir", "/tmp", "--fault", "sum:1:ng:256" },
        { "--dir", "/tmp", "--fault", "poll:1:long:64" },
        { "--dir", "/tmp", "--fault", "poll:1:short:64" },
        { "--dir", "/tmp", "--fault", "poll:1:echo:0x10" },
        { "--dir", "/tmp", "--name", "a/b" },
        { "--dir" },
    };
    for (const auto& args : cases)
    {
        std::string error;
        EXPECT_EQ (testsupport::runDevSim (args, &error), 2) << args.back();
        EXPECT_NE (error.find ("Usage: nubla-devsim"), std::string::npos) << args.back();
    }
}

TEST (DevSimOptions, HelpExitsWith0)
{
    EXPECT_EQ (testsupport::runDevSim ({ "--help" }), 0);
}

TEST_F (DevSimTest, SendsTheDescriptorAndAnswersTheQueries)
{
    startAndConnect ({ "--fw-date", "20230115", "--fw-version", "2.10", "--location", "0x14200000" });
    EXPECT_EQ (host.descriptor, (Bytes { 'V', 'H', 'I', 'D', 0x7A, 0xE4, 0, 0, 0x25, 0, 0, 0, 0x02, 0x01, 0, 0,
                                         0, 0, 0x20, 0x14, 0, 0, 0, 0 }));
    EXPECT_EQ (host.exchange (Report ({ 0xF0, 0x00 })), Report ({ 0xF0, 0x80 }));
    EXPECT_EQ (host.exchange (Report ({ 0xF0, 0x01 })),
               Report ({ 0xF0, 0x82, 0x20, 0x23, 0x01, 0x15, 0x00, '2', '.', '1', '0' }));
}

TEST_F (DevSimTest, NoVersionIsFourBytes0xFF)
{
    startAndConnect ({ "--no-version" });
    EXPECT_EQ (Head (host.exchange (Report ({ 0xF0, 0x01 })), 11),
               (Bytes { 0xF0, 0x82, 0x20, 0x17, 0x05, 0x30, 0x00, 0xFF, 0xFF, 0xFF, 0xFF }));
}

// One rule per occurrence of the mode query; the answer to each shows the fault.
TEST_F (DevSimTest, InjectsEachFaultAtItsOccurrence)
{
    startAndConnect ({ "--fault", "mode:1:ng:3", "--fault", "mode:2:code:0x99", "--fault", "mode:3:echo",
                       "--fault", "mode:4:echo:0xF5", "--fault", "mode:5:long:100", "--fault", "mode:6:short:10",
                       "--fault", "mode:7:silent", "--fault", "mode:8:delay:150", "--fault", "version:1-:ng:4" });
    const Bytes mode = Report ({ 0xF0, 0x00 });
    EXPECT_EQ (Head (host.exchange (mode)), (Bytes { 0xF0, 0x81, 3 }));
    EXPECT_EQ (Head (host.exchange (mode)), (Bytes { 0xF0, 0x99, 0 }));
    EXPECT_EQ (Head (host.exchange (mode)), (Bytes { 0xF8, 0x80, 0 }));
    EXPECT_EQ (Head (host.exchange (mode)), (Bytes { 0xF5, 0x80, 0 }));

    const auto longAnswer = host.exchange (mode);
    ASSERT_EQ (longAnswer.size(), 100u);
    EXPECT_EQ (Head (longAnswer, 64), Report ({ 0xF0, 0x80 }));
    EXPECT_EQ (longAnswer[64], 0xA5);
    EXPECT_EQ (host.exchange (mode), (Bytes { 0xF0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0 }));

    EXPECT_TRUE (host.exchange (mode, 300).empty()) << "silent";

    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ (Head (host.exchange (mode)), (Bytes { 0xF0, 0x80, 0 }));
    EXPECT_GE (std::chrono::steady_clock::now() - before, std::chrono::milliseconds (150));

    EXPECT_EQ (Head (host.exchange (mode)), (Bytes { 0xF0, 0x80, 0 })) << "no rule for the 9th";
    EXPECT_EQ (Head (host.exchange (Report ({ 0xF0, 0x01 }))), (Bytes { 0xF0, 0x81, 4 }));
    EXPECT_EQ (Head (host.exchange (Report ({ 0xF0, 0x01 }))), (Bytes { 0xF0, 0x81, 4 }));
}

TEST_F (DevSimTest, UnplugsAndPlugsInAgainAsANewDevice)
{
    startAndConnect ({ "--fault", "mode:2:unplug:200" });
    EXPECT_EQ (Head (host.exchange (Report ({ 0xF0, 0x00 }))), (Bytes { 0xF0, 0x80, 0 }));
    EXPECT_EQ (host.exchange (Report ({ 0xF0, 0x00 })), (Bytes { 0xEE })) << "connection closed";
    EXPECT_FALSE (devsim.socketFile().exists());

    RawHost again;
    ASSERT_TRUE (again.connect (devsim.socketFile(), 3000));
    EXPECT_EQ (Head (again.descriptor, 4), (Bytes { 'V', 'H', 'I', 'D' }));
    EXPECT_EQ (Head (again.exchange (Report ({ 0xF0, 0x00 }))), (Bytes { 0xF0, 0x80, 0 }));
}

TEST_F (DevSimTest, EndsCleanlyOnSigtermAndRemovesItsSocket)
{
    startAndConnect ({});
    EXPECT_TRUE (devsim.socketFile().exists());
    EXPECT_EQ (devsim.stop(), 0);
    EXPECT_FALSE (devsim.socketFile().exists());
    EXPECT_EQ (devsim.summary()["violations"], "0");
}

// A 124-byte chunk into area 1: stored, summed, polled busy twice, written; the flash,
// the verify against a file and the log show it.
TEST_F (DevSimTest, StoresAChunkAndVerifiesItAgainstAFile)
{
    juce::MemoryBlock image (0x200000, true);
    auto* bytes = static_cast<uint8_t*> (image.getData());
    for (int i = 0; i < 124; ++i)
        bytes[0x90000 + i] = static_cast<uint8_t> (i * 7 + 1);
    const auto imageFile = folder.getChildFile ("image.bin");
    ASSERT_TRUE (imageFile.replaceWithData (image.getData(), image.getSize()));
    const auto flashFile = folder.getChildFile ("flash.bin");
    startAndConnect ({ "--busy", "2", "--flash-out", flashFile.getFullPathName().toStdString(), "--verify",
                       imageFile.getFullPathName().toStdString() });

    std::vector<Bytes> sent = { Range (0xF2, 0x08, 0x1D0000, 0x1000), Range (0xF2, 0x02, 0x90000, 124) };
    auto data = Report ({ 0xF2, 0x03 });
    std::copy (bytes + 0x90000, bytes + 0x90000 + 62, data.begin() + 2);
    sent.push_back (data);
    sent.push_back (Report ({ 0xF2, 0x07, 62 }));
    std::copy (bytes + 0x90000 + 62, bytes + 0x90000 + 124, data.begin() + 2);
    sent.push_back (data);
    const auto sum = std::accumulate (bytes + 0x90000, bytes + 0x90000 + 124, 0u);
    sent.push_back (Report ({ 0xF2, 0x04, static_cast<uint8_t> (sum), static_cast<uint8_t> (sum >> 8) }));
    for (const auto& report : sent)
        EXPECT_EQ (Head (host.exchange (report)), (Bytes { 0xF2, 0x80, 0 }));
    EXPECT_EQ (Head (host.exchange (Report ({ 0xF2, 0x05 }))), (Bytes { 0xF2, 0x83, 0 }));
    EXPECT_EQ (Head (host.exchange (Report ({ 0xF2, 0x05 }))), (Bytes { 0xF2, 0x84, 0 }));
    EXPECT_EQ (Head (host.exchange (Report ({ 0xF2, 0x05 }))), (Bytes { 0xF2, 0x85, 0 }));
    host.close();

    EXPECT_EQ (devsim.stop(), 0);
    auto summary = devsim.summary();
    EXPECT_EQ (summary["written"], "0x090000-0x09007C");
    EXPECT_EQ (summary["verify"], "ok 124 bytes");
    EXPECT_EQ (summary["violations"], "0");

    juce::MemoryBlock flash;
    ASSERT_TRUE (flashFile.loadFileAsData (flash));
    ASSERT_EQ (flash.getSize(), 0x200000u);
    EXPECT_EQ (std::memcmp (static_cast<uint8_t*> (flash.getData()) + 0x90000, bytes + 0x90000, 124), 0);
    EXPECT_EQ (static_cast<uint8_t> (flash[0x9007C]), 0xFF) << "unwritten flash stays erased";

    const auto log = devsim.log();
    ASSERT_EQ (log.size(), sent.size() + 3);
    for (size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ (log[i], testsupport::hexLine (sent[i]));
}

// Reports out of the protocol's order are refused with reason 5 and make the exit status 1;
// a wrong sum is refused with reason 2 and nothing is written.
TEST_F (DevSimTest, RefusesReportsOutOfOrderAndWrongSums)
{
    startAndConnect ({});
    EXPECT_EQ (Head (host.exchange (Report ({ 0xF2, 0x03, 1 }))), (Bytes { 0xF2, 0x81, 5 })) << "data before a chunk";
    EXPECT_EQ (Head (host.exchange (Range (0xF2, 0x02, 0x90000, 62))), (Bytes { 0xF2, 0x81, 5 })) << "chunk before begin";
    EXPECT_EQ (Head (host.exchange (Range (0xF2, 0x08, 0x1D0000, 0x1000))), (Bytes { 0xF2, 0x80, 0 }));
    EXPECT_EQ (Head (host.exchange (Range (0xF2, 0x02, 0x90010, 62))), (Bytes { 0xF2, 0x81, 5 })) << "not at the area's start";
    EXPECT_EQ (Head (host.exchange (Range (0xF2, 0x02, 0x90000, 0x20001))), (Bytes { 0xF2, 0x81, 5 })) << "too long";
    EXPECT_EQ (Head (host.exchange (Range (0xF2, 0x02, 0x90000, 62))), (Bytes { 0xF2, 0x80, 0 }));
    EXPECT_EQ (Head (host.exchange (Report ({ 0xF2, 0x03, 1 }))), (Bytes { 0xF2, 0x81, 5 })) << "last-size report due";
    EXPECT_EQ (Head (host.exchange (Report ({ 0xF2, 0x07, 62 }))), (Bytes { 0xF2, 0x80, 0 }));
    EXPECT_EQ (Head (host.exchange (Report ({ 0xF2, 0x03, 9 }))), (Bytes { 0xF2, 0x80, 0 }));
    EXPECT_EQ (Head (host.exchange (Report ({ 0xF2, 0x04, 10 }))), (Bytes { 0xF2, 0x81, 2 })) << "wrong sum";
    EXPECT_EQ (Head (host.exchange (Report ({ 0xF7, 0x0A }))), (Bytes { 0xF7, 0x81, 5 })) << "finish, chunk not written";
    host.close();

    EXPECT_EQ (devsim.stop(), 1);
    auto summary = devsim.summary();
    EXPECT_EQ (summary["violations"], "6");
    EXPECT_EQ (summary["written"], "");
}
