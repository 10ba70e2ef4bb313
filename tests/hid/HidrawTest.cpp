#include "HidTestHelpers.h"

#include "hid/HidPlatformHidraw.h"

#include <linux/uhid.h>

#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

TEST (Hidraw, ParsesHidId)
{
    struct Case { const char* text; bool valid; uint32_t bus, vendor, product; };
    const Case cases[] = {
        { "0003:0000E47A:00000025", true, 3, 0xE47A, 0x0025 },
        { "0005:0000e47a:00000025", true, 5, 0xE47A, 0x0025 },
        { "0003:FFFFFFFF:80000000", true, 3, 0xFFFFFFFF, 0x80000000 },
        { "0003:0000E47A", false, 0, 0, 0 },
        { "0003:0000E47A:", false, 0, 0, 0 },
        { "0003:0000G47A:00000025", false, 0, 0, 0 },
        { "0003:100000000:00000025", false, 0, 0, 0 },
        { "", false, 0, 0, 0 },
        { nullptr, false, 0, 0, 0 },
    };
    for (const auto& c : cases)
    {
        const auto id = hidraw::parseHidId (c.text);
        const char* shown = c.text != nullptr ? c.text : "(null)";
        ASSERT_EQ (id.has_value(), c.valid) << shown;
        if (id)
        {
            EXPECT_EQ (id->bus, c.bus) << shown;
            EXPECT_EQ (id->vendorId, c.vendor) << shown;
            EXPECT_EQ (id->productId, c.product) << shown;
        }
    }
}

TEST (Hidraw, ParsesBcdDevice)
{
    struct Case { const char* text; uint32_t value; };
    const Case cases[] = { { "0102", 0x0102 }, { "1234\n", 0x1234 }, { "abcd", 0xABCD },
                           { "", 0 }, { "12345", 0 }, { "01x2", 0 }, { nullptr, 0 } };
    for (const auto& c : cases)
        EXPECT_EQ (hidraw::parseBcdDevice (c.text), c.value) << (c.text != nullptr ? c.text : "(null)");
}

TEST (Hidraw, LocationIdsOrderDevicesByWhereTheyAreAttached)
{
    struct Case { const char* busnum; const char* devpath; std::optional<uint32_t> location; };
    const Case cases[] = {
        { "1", "2", 0x01200000 },
        { "1", "2.3", 0x01230000 },
        { "1", "4.1.2", 0x01412000 },
        { "2", "1", 0x02100000 },
        { "3", "1.2.3.4.5.6", 0x03123456 },
        { "3", "1.2.3.4.5.6.7", 0x03123456 }, // deeper ports do not fit
        { "1", "20", 0x01F00000 },
        { "1", "0", 0x01000000 },
        { "256", "1", std::nullopt },
        { "1", "1..2", std::nullopt },
        { "1", "", std::nullopt },
        { "x", "1", std::nullopt },
        { nullptr, "1", std::nullopt },
        { "1", nullptr, std::nullopt },
    };
    for (const auto& c : cases)
        EXPECT_EQ (hidraw::makeLocationId (c.busnum, c.devpath), c.location)
            << (c.busnum ? c.busnum : "(null)") << " " << (c.devpath ? c.devpath : "(null)");

    // A port before its sub-ports; bus before port; no USB parent after everything.
    EXPECT_LT (*hidraw::makeLocationId ("1", "2"), *hidraw::makeLocationId ("1", "2.1"));
    EXPECT_LT (*hidraw::makeLocationId ("1", "2.9"), *hidraw::makeLocationId ("1", "3"));
    EXPECT_LT (*hidraw::makeLocationId ("1", "9.9"), *hidraw::makeLocationId ("2", "1"));
    EXPECT_LT (*hidraw::makeLocationId ("254", "15.15.15.15.15.15"), hidraw::kNoUsbLocationId + 0ull);
}

TEST (Hidraw, OutputReportGetsReportNumberZeroInFront)
{
    uint8_t data[64];
    for (int i = 0; i < 64; ++i)
        data[i] = static_cast<uint8_t> (0xF1 + i);
    uint8_t frame[hidraw::kMaxOutputReport + 1];
    std::memset (frame, 0xEE, sizeof frame);

    ASSERT_EQ (hidraw::frameOutputReport (data, 64, frame, sizeof frame), 65u);
    EXPECT_EQ (frame[0], 0);
    EXPECT_EQ (std::memcmp (frame + 1, data, 64), 0);
    EXPECT_EQ (frame[65], 0xEE) << "nothing beyond the report";

    EXPECT_EQ (hidraw::frameOutputReport (data, 0, frame, sizeof frame), 0u);
    EXPECT_EQ (hidraw::frameOutputReport (nullptr, 64, frame, sizeof frame), 0u);
    EXPECT_EQ (hidraw::frameOutputReport (data, 64, frame, 64), 0u) << "does not fit";
}

TEST (Hidraw, PermissionMessageNamesTheNodeAndTheRule)
{
    const auto message = hidraw::permissionMessage ("/dev/hidraw3");
    EXPECT_NE (message.find ("/dev/hidraw3"), std::string::npos);
    EXPECT_NE (message.find ("resources/linux/70-marvek-nubla.rules"), std::string::npos);
    EXPECT_EQ (message.back(), '\n');
}

// With the real system: a uhid-made device with the target's ids is listed, taken,
// answers reports and is removed. Needs /dev/uhid (write access) and a running udev.
namespace
{
bool writeUhid (int fd, const uhid_event& event)
{
    return ::write (fd, &event, sizeof event) == static_cast<ssize_t> (sizeof event);
}
} // namespace

TEST (Hidraw, UhidDeviceIsTakenAndExchangesReports)
{
    if (::access ("/dev/uhid", F_OK) != 0)
        GTEST_SKIP() << "/dev/uhid is missing: no uhid-made hidraw node can be made here";
    if (::access ("/run/udev/control", F_OK) != 0)
        GTEST_SKIP() << "udev is not running: hidraw nodes are neither named nor announced";
    const int uhid = ::open ("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (uhid < 0)
        GTEST_SKIP() << "/dev/uhid cannot be opened (needs write access)";
    ::unsetenv ("NUBLA_VHID_DIR");

    RecordingHandler handler;
    HidCtrl ctrl;
    EXPECT_FALSE (ctrl.initialize (&handler, 1));

    // Vendor-defined page, one 64-byte input and one 64-byte output report, no report ids.
    static const uint8_t descriptor[] = { 0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00,
                                          0x75, 0x08, 0x95, 0x40, 0x09, 0x01, 0x81, 0x02, 0x95, 0x40, 0x09, 0x01,
                                          0x91, 0x02, 0xC0 };
    uhid_event create {};
    create.type = UHID_CREATE2;
    std::strcpy (reinterpret_cast<char*> (create.u.create2.name), "nubla-uhid-test");
    create.u.create2.rd_size = sizeof descriptor;
    create.u.create2.bus = 0x03;
    create.u.create2.vendor = 0xE47A;
    create.u.create2.product = 0x0025;
    std::memcpy (create.u.create2.rd_data, descriptor, sizeof descriptor);
    ASSERT_TRUE (writeUhid (uhid, create));

    ASSERT_TRUE (testsupport::runUntil ([&] { return handler.matches == 1; }, 5000));
    EXPECT_EQ (ctrl.m_deviceVersion, 0) << "no USB parent";

    std::vector<uint8_t> out (64, 0xF1);
    ASSERT_TRUE (ctrl.sendData (out.data(), out.size()));
    uhid_event event {};
    bool gotOutput = false;
    for (int i = 0; i < 10 && ! gotOutput; ++i)
    {
        pollfd pfd { uhid, POLLIN, 0 };
        if (::poll (&pfd, 1, 500) <= 0 || ::read (uhid, &event, sizeof event) <= 0)
            break;
        gotOutput = event.type == UHID_OUTPUT;
    }
    ASSERT_TRUE (gotOutput);
    EXPECT_EQ (event.u.output.size, 64u) << "the report-number byte is not part of the report";
    EXPECT_EQ (event.u.output.data[0], 0xF1);

    uhid_event input {};
    input.type = UHID_INPUT2;
    input.u.input2.size = 64;
    std::memset (input.u.input2.data, 0xF2, 64);
    ASSERT_TRUE (writeUhid (uhid, input));
    ASSERT_TRUE (testsupport::runUntil ([&] { return handler.inputs == 1; }));
    EXPECT_EQ (ctrl.m_inputData[0], 0xF2);

    uhid_event destroy {};
    destroy.type = UHID_DESTROY;
    ASSERT_TRUE (writeUhid (uhid, destroy));
    EXPECT_TRUE (testsupport::runUntil ([&] { return handler.removals == 1; }));
    EXPECT_FALSE (ctrl.sendData (out.data(), out.size()));
    EXPECT_FALSE (handler.offMessageThread);
    ::close (uhid);
}

TEST (Hidraw, PrimaryUsageIsTheOneWhereTheFirstCollectionOpens)
{
    using Bytes = std::vector<uint8_t>;
    struct Case { const char* what; Bytes descriptor; std::optional<std::pair<uint32_t, uint32_t>> usage; };
    const Case cases[] = {
        { "keyboard", { 0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x09, 0x01 }, std::make_pair (1u, 6u) },
        { "vendor page, two bytes", { 0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0xC0 }, std::make_pair (0xFF00u, 1u) },
        { "extended usage", { 0x0B, 0x02, 0x00, 0x0C, 0x00, 0xA1, 0x01 }, std::make_pair (0x0Cu, 2u) },
        { "long item skipped", { 0xFE, 0x01, 0x00, 0x09, 0x05, 0x01, 0x09, 0x02, 0xA1, 0x01 }, std::make_pair (1u, 2u) },
        { "no collection", { 0x05, 0x01, 0x09, 0x06 }, std::nullopt },
        { "no usage", { 0x05, 0x01, 0xA1, 0x01 }, std::nullopt },
        { "truncated item", { 0x05, 0x01, 0x0A, 0x06 }, std::nullopt },
        { "empty", {}, std::nullopt },
    };
    for (const auto& c : cases)
    {
        const auto usage = hidraw::parsePrimaryUsage (c.descriptor.data(), c.descriptor.size());
        ASSERT_EQ (usage.has_value(), c.usage.has_value()) << c.what;
        if (usage)
        {
            EXPECT_EQ (usage->page, c.usage->first) << c.what;
            EXPECT_EQ (usage->usage, c.usage->second) << c.what;
        }
    }
}
