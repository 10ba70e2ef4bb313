#include "hid/HidList.h"

#include <algorithm>
#include <cstdio>

HidManagerRef gIOHIDManagerRef;
std::unique_ptr<HidDeviceArray> gDeviceCFArrayRef;
int64_t gDeviceIndex = 0;

namespace
{
constexpr const char* kBuildFunction = "Boolean HIDBuildMultiDeviceList(const UInt32 *, const UInt32 *, int)";

// Page 0 leaves the dictionary empty; usage 0 leaves out the usage.
HidMatchingDictionary makeMatchingDictionary (UInt32 usagePage, UInt32 usage)
{
    HidMatchingDictionary dictionary;
    if (usagePage != 0)
    {
        dictionary[kHidPrimaryUsagePageKey] = static_cast<int32_t> (usagePage);
        if (usage != 0)
            dictionary[kHidPrimaryUsageKey] = static_cast<int32_t> (usage);
    }
    return dictionary;
}

int64_t getNumberProperty (const HidDeviceRef& device, const char* key)
{
    if (device == nullptr)
        return 0;
    return static_cast<int64_t> (device->getProperty (key).value_or (0));
}
} // namespace

bool HIDBuildMultiDeviceList (const UInt32* usagePages, const UInt32* usages, int count)
{
    const bool existed = gIOHIDManagerRef != nullptr;
    if (! existed)
    {
        gIOHIDManagerRef = HidManager::create();
        if (gIOHIDManagerRef == nullptr)
        {
            std::fprintf (stderr, "%s: Couldn\u2019t create a IOHIDManager.", kBuildFunction);
            return false;
        }
    }

    HidMatchingCriteria criteria;
    if (usagePages != nullptr && usages != nullptr && count > 0)
    {
        criteria.emplace();
        for (int i = 0; i < count; ++i)
            criteria->push_back (makeMatchingDictionary (usagePages[i], usages[i]));
    }
    gIOHIDManagerRef->setDeviceMatching (std::move (criteria));

    if (! existed && ! gIOHIDManagerRef->open())
    {
        std::fprintf (stderr, "%s: Couldn\u2019t open IOHIDManager.", kBuildFunction);
        return false;
    }
    HIDRebuildDevices();
    return true;
}

bool HIDBuildDeviceList (UInt32 usagePage, UInt32 usage)
{
    return HIDBuildMultiDeviceList (&usagePage, &usage, 1);
}

void HIDRebuildDevices()
{
    if (gIOHIDManagerRef == nullptr)
        return;
    const auto devices = gIOHIDManagerRef->copyDevices();
    if (! devices)
        return;
    gDeviceCFArrayRef = std::make_unique<HidDeviceArray>();
    for (const auto& device : *devices)
        CFSetApplierFunctionCopyToCFArray (device, gDeviceCFArrayRef.get());
    std::sort (gDeviceCFArrayRef->begin(), gDeviceCFArrayRef->end(), [] (const auto& a, const auto& b)
    {
        return CFDeviceArrayComparatorFunction (a, b, nullptr) < 0;
    });
}

void HIDReleaseDeviceList()
{
    gDeviceCFArrayRef.reset();
}

void CFSetApplierFunctionCopyToCFArray (const HidDeviceRef& value, HidDeviceArray* context)
{
    if (context != nullptr)
        context->push_back (value);
}

int CFDeviceArrayComparatorFunction (const HidDeviceRef& a, const HidDeviceRef& b, void*)
{
    const auto locationA = IOHIDDevice_GetLocationID (a);
    const auto locationB = IOHIDDevice_GetLocationID (b);
    return locationA < locationB ? -1 : (locationA > locationB ? 1 : 0);
}

HidDeviceRef HIDGetFirstDevice()
{
    gDeviceIndex = 0;
    if (gDeviceCFArrayRef == nullptr || gDeviceCFArrayRef->empty())
        return nullptr;
    return gDeviceCFArrayRef->front();
}

HidDeviceRef HIDGetNextDevice (const HidDeviceRef& device)
{
    if (device == nullptr || gDeviceCFArrayRef == nullptr)
        return nullptr;
    const auto& list = *gDeviceCFArrayRef;
    const auto count = static_cast<int64_t> (list.size());
    if (gDeviceIndex < 0 || gDeviceIndex >= count)
        return nullptr;

    if (list[static_cast<size_t> (gDeviceIndex)] == device)
        ++gDeviceIndex;
    else
    {
        gDeviceIndex = -1;
        const auto it = std::find (list.begin(), list.end(), device);
        if (it != list.end())
            gDeviceIndex = (it - list.begin()) + 1;
    }
    if (gDeviceIndex < 0 || gDeviceIndex >= count)
        return nullptr;
    return list[static_cast<size_t> (gDeviceIndex)];
}

int64_t IOHIDDevice_GetVendorID (const HidDeviceRef& device) { return getNumberProperty (device, kHidVendorIDKey); }
int64_t IOHIDDevice_GetProductID (const HidDeviceRef& device) { return getNumberProperty (device, kHidProductIDKey); }
int64_t IOHIDDevice_GetVersionNumber (const HidDeviceRef& device) { return getNumberProperty (device, kHidVersionNumberKey); }
int64_t IOHIDDevice_GetLocationID (const HidDeviceRef& device) { return getNumberProperty (device, kHidLocationIDKey); }
