#include "HidTestHelpers.h"

namespace
{
struct UtilGuard
{
    ~UtilGuard() { util.finalize(); }
    HidUtil& util;
};
} // namespace

TEST (HidUtil, DeviceVersionReadsTheNibblesAsDecimalDigits)
{
    struct Case { uint32_t bcd; int32_t decimal; };
    const Case cases[] = { { 0x0102, 102 }, { 0x1234, 1234 }, { 0x0000, 0 }, { 0x9999, 9999 }, { 0x00AF, 115 } };
    for (const auto& c : cases)
    {
        HidUtil util;
        EXPECT_EQ (util.deviceVersion(), 0) << "no device";
        util.m_deviceType = 1;
        ASSERT_TRUE (util.marvekqx51Matching (std::make_shared<FakeDevice> (HidDevice::Properties {
            { "VendorID", 0xE47A }, { "ProductID", 0x0025 }, { "VersionNumber", c.bcd } })));
        EXPECT_EQ (util.deviceVersion(), c.decimal) << std::hex << c.bcd;
        util.finalize();
    }
}

TEST (HidUtil, IdentityTestUsesVendorAndTheTypesProduct)
{
    struct Case { uint32_t vendor; uint32_t product; int type; bool taken; };
    const Case cases[] = {
        { 0xE47A, 0x0025, 1, true },  { 0xE47A, 0x0026, 1, false }, { 0xE47B, 0x0025, 1, false },
        { 0xE47A, 0x0000, 0, true },  { 0xE47A, 0x0025, 2, false }, { 0xE47A, 0x0025, -1, false },
    };
    for (const auto& c : cases)
    {
        HidUtil util;
        util.m_deviceType = c.type;
        EXPECT_EQ (util.marvekqx51Matching (std::make_shared<FakeDevice> (HidDevice::Properties {
                       { "VendorID", c.vendor }, { "ProductID", c.product } })), c.taken)
            << std::hex << c.vendor << ":" << c.product << " type " << c.type;
        util.finalize();
    }
}

TEST (HidUtil, SecondDeviceIsNotTakenWhileOneIsHeld)
{
    HidUtil util;
    util.m_deviceType = 1;
    const HidDevice::Properties target { { "VendorID", 0xE47A }, { "ProductID", 0x0025 } };
    ASSERT_TRUE (util.marvekqx51Matching (std::make_shared<FakeDevice> (target)));
    EXPECT_FALSE (util.marvekqx51Matching (std::make_shared<FakeDevice> (target)));
    util.finalize();
}

TEST (HidUtil, DeviceInputMisuseIsReported)
{
    HidUtil util;
    unsigned char buffer[64];

    testing::internal::CaptureStderr();
    EXPECT_EQ (util.deviceInput (nullptr, 64, 0), 0);
    EXPECT_EQ (testing::internal::GetCapturedStderr(), "deviceInput failed. pdata:(nil) length:64\r\n");

    testing::internal::CaptureStderr();
    EXPECT_EQ (util.deviceInput (buffer, 0, 0), 0);
    EXPECT_EQ (testing::internal::GetCapturedStderr().rfind ("deviceInput failed. pdata:0x", 0), 0u);

    testing::internal::CaptureStderr();
    EXPECT_EQ (util.deviceInput (buffer, 64, 0), 0);
    EXPECT_EQ (testing::internal::GetCapturedStderr(), "deviceInput failed. m_pDevice:(nil)\r\n");
}

TEST (HidUtil, DeviceOutputRefusesMisuse)
{
    HidUtil util;
    unsigned char buffer[64] {};
    EXPECT_FALSE (util.deviceOutput (buffer, 64)) << "no device";
    util.m_deviceType = 1;
    ASSERT_TRUE (util.marvekqx51Matching (std::make_shared<FakeDevice> (HidDevice::Properties {
        { "VendorID", 0xE47A }, { "ProductID", 0x0025 } })));
    EXPECT_FALSE (util.deviceOutput (nullptr, 64));
    EXPECT_FALSE (util.deviceOutput (buffer, 0));
    EXPECT_TRUE (util.deviceOutput (buffer, 64));
    util.finalize();
}

TEST_F (VirtualHidTest, WithoutTargetDeviceMatchingIsFalseAndArrivalIsWatched)
{
    RecordingHandler handler;
    HidUtil util;
    UtilGuard guard { util };
    ASSERT_TRUE (util.initialize (&handler, 1));
    EXPECT_FALSE (util.deviceMatching());
    EXPECT_TRUE (util.m_matchingScheduled);
    EXPECT_FALSE (util.initialize (&handler, 1)) << "registered already";

    plug ("dev0", target (0x100));
    ASSERT_TRUE (testsupport::runUntil ([&] { return handler.matches == 1; }));
    EXPECT_TRUE (util.deviceMatching()) << "held already";
    EXPECT_FALSE (handler.offMessageThread);
}
