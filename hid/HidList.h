#pragma once

#include "hid/HidPlatform.h"

#include <cstdint>
#include <memory>
#include <vector>

// The program's one HID manager and the list of the HID devices it sees, sorted by
// location id. Not thread-safe: the program calls these on the message thread only.

using UInt32 = uint32_t;
using HidDeviceArray = std::vector<HidDeviceRef>;

// The one HID manager, created by the first HIDBuildMultiDeviceList.
extern HidManagerRef gIOHIDManagerRef;
// The device list, ascending location id; null when there is none.
extern std::unique_ptr<HidDeviceArray> gDeviceCFArrayRef;
// Position of the device last returned by the walk; -1 after a failed search.
extern int64_t gDeviceIndex;

// Sets the criteria to the first count pairs of usage page and usage (none at all when a
// pointer is null or count is 0: every device) and rebuilds the list.
bool HIDBuildMultiDeviceList (const UInt32* usagePages, const UInt32* usages, int count);
bool HIDBuildDeviceList (UInt32 usagePage, UInt32 usage);
// Refreshes the list from the manager; keeps the previous list when the manager has none.
void HIDRebuildDevices();
void HIDReleaseDeviceList();

void CFSetApplierFunctionCopyToCFArray (const HidDeviceRef& value, HidDeviceArray* context);
// Ascending location id: -1, 0 or 1.
int CFDeviceArrayComparatorFunction (const HidDeviceRef& a, const HidDeviceRef& b, void* context);

HidDeviceRef HIDGetFirstDevice();
HidDeviceRef HIDGetNextDevice (const HidDeviceRef& device);

// A property as unsigned 32-bit value in a signed 64-bit result; 0 for a null device or
// a missing property.
int64_t IOHIDDevice_GetVendorID (const HidDeviceRef& device);
int64_t IOHIDDevice_GetProductID (const HidDeviceRef& device);
int64_t IOHIDDevice_GetVersionNumber (const HidDeviceRef& device);
int64_t IOHIDDevice_GetLocationID (const HidDeviceRef& device);
