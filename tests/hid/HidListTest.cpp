#include "HidTestHelpers.h"

#include <chrono>

namespace
{
std::vector<int64_t> listedLocations()
{
    std::vector<int64_t> locations;
    for (auto d = HIDGetFirstDevice(); d != nullptr; d = HIDGetNextDevice (d))
        locations.push_back (IOHIDDevice_GetLocationID (d));
    return locations;
}

struct ListGuard
{
    ~ListGuard()
    {
        HIDReleaseDeviceList();
        gIOHIDManagerRef.reset();
    }
};
} // namespace

TEST_F (VirtualHidTest, ListsEveryDeviceSortedByLocationWithTopBitLast)
{
    plug ("a", target (0x80000000));
    plug ("b", { 0x1234, 0x0001, 0x0100, 0x14100000 }); // not the target: listed all the same
    plug ("c", target (0x7FFFFFFF));
    plug ("d", { 0xE47A, 0x0026, 0x0100, 0x00000100 });
    ListGuard guard;

    ASSERT_TRUE (HIDBuildDeviceList (0, 0));

    EXPECT_EQ (listedLocations(), (std::vector<int64_t> { 0x100, 0x14100000, 0x7FFFFFFF, 0x80000000 }));
    const auto first = HIDGetFirstDevice();
    EXPECT_EQ (IOHIDDevice_GetVendorID (first), 0xE47A);
    EXPECT_EQ (IOHIDDevice_GetProductID (first), 0x0026);
    EXPECT_EQ (IOHIDDevice_GetVersionNumber (first), 0x0100);
}

TEST_F (VirtualHidTest, WalkHandlesLastAndForeignDevices)
{
    plug ("a", target (0x100));
    plug ("b", target (0x200));
    plug ("c", target (0x300));
    ListGuard guard;
    ASSERT_TRUE (HIDBuildDeviceList (0, 0));

    const auto first = HIDGetFirstDevice();
    const auto second = HIDGetNextDevice (first);
    const auto third = HIDGetNextDevice (second);
    EXPECT_EQ (IOHIDDevice_GetLocationID (second), 0x200);
    EXPECT_EQ (IOHIDDevice_GetLocationID (third), 0x300);
    EXPECT_EQ (HIDGetNextDevice (third), nullptr) << "the last device has no next";
    EXPECT_EQ (HIDGetNextDevice (nullptr), nullptr);

    // Asking again from an earlier device searches the list.
    HIDGetFirstDevice();
    EXPECT_EQ (HIDGetNextDevice (second), third);

    // A device not in the list ends the walk until it starts again.
    HIDGetFirstDevice();
    const auto foreign = std::make_shared<FakeDevice> (HidDevice::Properties { { "LocationID", 0x200 } });
    EXPECT_EQ (HIDGetNextDevice (foreign), nullptr);
    EXPECT_EQ (gDeviceIndex, -1);
    EXPECT_EQ (HIDGetNextDevice (first), nullptr);
    EXPECT_EQ (HIDGetFirstDevice(), first);
    EXPECT_EQ (HIDGetNextDevice (first), second);
}

TEST (HidList, GettersOnNullDeviceAndMissingPropertyGiveZero)
{
    EXPECT_EQ (IOHIDDevice_GetVendorID (nullptr), 0);
    EXPECT_EQ (IOHIDDevice_GetLocationID (nullptr), 0);
    const auto bare = std::make_shared<FakeDevice> (HidDevice::Properties { { "Other", 7 } });
    EXPECT_EQ (IOHIDDevice_GetVendorID (bare), 0);
    EXPECT_EQ (IOHIDDevice_GetProductID (bare), 0);
    EXPECT_EQ (IOHIDDevice_GetVersionNumber (bare), 0);
    EXPECT_EQ (IOHIDDevice_GetLocationID (bare), 0);
    const auto high = std::make_shared<FakeDevice> (HidDevice::Properties { { "LocationID", 0xFFFFFFFF } });
    EXPECT_EQ (IOHIDDevice_GetLocationID (high), 0xFFFFFFFFll) << "read as unsigned, never negative";
}

TEST (HidList, WalkWithoutListGivesNull)
{
    HIDReleaseDeviceList();
    EXPECT_EQ (HIDGetFirstDevice(), nullptr);
    EXPECT_EQ (HIDGetNextDevice (std::make_shared<FakeDevice> (HidDevice::Properties {})), nullptr);
}

TEST_F (VirtualHidTest, CriteriaFollowTheUsagePairs)
{
    plug ("a", target (0x100));
    ListGuard guard;
    using Dicts = std::vector<HidMatchingDictionary>;
    struct Case { UInt32 page; UInt32 usage; Dicts expected; };
    const Case cases[] = {
        { 0, 0, { {} } },
        { 0x01, 0, { { { "PrimaryUsagePage", 1 } } } },
        { 0, 0x06, { {} } },
        { 0x01, 0x06, { { { "PrimaryUsagePage", 1 }, { "PrimaryUsage", 6 } } } },
    };
    for (const auto& c : cases)
    {
        ASSERT_TRUE (HIDBuildDeviceList (c.page, c.usage)) << "a second build does not open again";
        EXPECT_EQ (gIOHIDManagerRef->getDeviceMatching(), HidMatchingCriteria (c.expected)) << c.page << "/" << c.usage;
        // A virtual device has no usage page: only the empty dictionary lists it.
        EXPECT_EQ (listedLocations().size(), c.expected.front().empty() ? 1u : 0u) << c.page << "/" << c.usage;
    }

    const auto* manager = gIOHIDManagerRef.get();
    const UInt32 pages[] = { 1, 0 };
    const UInt32 usages[] = { 6, 0 };
    ASSERT_TRUE (HIDBuildMultiDeviceList (pages, usages, 2));
    EXPECT_EQ (gIOHIDManagerRef->getDeviceMatching(), HidMatchingCriteria (Dicts { { { "PrimaryUsagePage", 1 }, { "PrimaryUsage", 6 } }, {} }));
    EXPECT_EQ (listedLocations().size(), 1u) << "any dictionary may match";
    ASSERT_TRUE (HIDBuildMultiDeviceList (nullptr, usages, 2));
    EXPECT_EQ (gIOHIDManagerRef->getDeviceMatching(), std::nullopt);
    ASSERT_TRUE (HIDBuildMultiDeviceList (pages, usages, 0));
    EXPECT_EQ (gIOHIDManagerRef->getDeviceMatching(), std::nullopt);
    EXPECT_EQ (gIOHIDManagerRef.get(), manager) << "the manager is kept";
}

TEST (HidList, FolderThatCannotBeReadFailsToOpenTheManager)
{
    ::setenv ("NUBLA_VHID_DIR", "/nonexistent/nubla-vhid", 1);
    ListGuard guard;
    testing::internal::CaptureStderr();
    EXPECT_FALSE (HIDBuildDeviceList (0, 0));
    EXPECT_EQ (testing::internal::GetCapturedStderr(),
               "Boolean HIDBuildMultiDeviceList(const UInt32 *, const UInt32 *, int): Couldn\u2019t open IOHIDManager.");
    EXPECT_NE (gIOHIDManagerRef, nullptr) << "the manager stays";
    EXPECT_EQ (gDeviceCFArrayRef, nullptr) << "no list is built";
    EXPECT_TRUE (HIDBuildDeviceList (0, 0)) << "a second build does not open again";
    EXPECT_EQ (gDeviceCFArrayRef, nullptr);
    ::unsetenv ("NUBLA_VHID_DIR");
}

TEST_F (VirtualHidTest, BrokenDescriptorIsIgnoredUntilTheFileIsCreatedAgain)
{
    struct Case { const char* what; std::vector<uint8_t> bytes; };
    auto good = testsupport::VirtualDevice::makeDescriptor (target (0x100));
    auto badMagic = good;
    badMagic[0] = 'X';
    auto nonZeroTail = good;
    nonZeroTail[23] = 1;
    auto tooLong = good;
    tooLong.push_back (0);
    const std::vector<Case> cases = {
        { "bad magic", badMagic },
        { "non-zero tail", nonZeroTail },
        { "23 bytes", std::vector<uint8_t> (good.begin(), good.end() - 1) },
        { "25 bytes", tooLong },
    };
    ListGuard guard;
    std::vector<testsupport::VirtualDevice*> broken;
    for (size_t i = 0; i < cases.size(); ++i)
    {
        auto& device = plug ("bad" + std::to_string (i), target (0x200 + uint32_t (i)));
        device.setDescriptor (cases[i].bytes);
        broken.push_back (&device);
    }
    ASSERT_TRUE (HIDBuildDeviceList (0, 0));
    EXPECT_TRUE (listedLocations().empty());

    // Another arrival makes the host look at the folder again; the broken files stay ignored.
    auto& fine = plug ("fine", target (0x100));
    ASSERT_TRUE (testsupport::runUntil ([&] { return fine.isConnected(); }));
    ASSERT_TRUE (testsupport::runUntil ([] { HIDRebuildDevices(); return listedLocations().size() == 1; }));
    for (size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ (broken[i]->connectionCount(), 1) << cases[i].what;

    // Created again with a proper descriptor: a new arrival.
    broken[0]->unplug();
    broken[0]->setDescriptor (testsupport::VirtualDevice::makeDescriptor (target (0x200)));
    ASSERT_TRUE (broken[0]->plug());
    EXPECT_TRUE (testsupport::runUntil ([] { HIDRebuildDevices(); return listedLocations().size() == 2; }));
}

TEST_F (VirtualHidTest, SilentDeviceIsDroppedAfterTheDescriptorTimeOut)
{
    // Two silent devices share the one time-out: the listing does not wait twice.
    plug ("silent1", target (0x100)).setDescriptor ({});
    plug ("silent2", target (0x300)).setDescriptor ({});
    plug ("fine", target (0x200));
    ListGuard guard;

    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE (HIDBuildDeviceList (0, 0));
    const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds> (std::chrono::steady_clock::now() - start).count();

    EXPECT_EQ (listedLocations(), (std::vector<int64_t> { 0x200 }));
    EXPECT_GE (elapsedMs, 990);
    EXPECT_LT (elapsedMs, 1800);
}
