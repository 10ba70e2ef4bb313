#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The hidraw provider's own logic, kept apart from its system calls so it can be checked
// without hardware.
namespace hidraw
{
struct HidId
{
    uint32_t bus;
    uint32_t vendorId;
    uint32_t productId;
};

// The HID_ID property of a HID device, "bbbb:vvvvvvvv:pppppppp" in hexadecimal.
std::optional<HidId> parseHidId (const char* text);

// The bcdDevice attribute of a USB device ("0102" gives 0x0102); 0 when absent or invalid.
uint32_t parseBcdDevice (const char* text);

// A location id that orders devices by where they are attached: the USB bus number in the
// top byte, then one nibble per port of the port path ("1.4.2"), first port highest; ports
// above 15 count as 15. None when busnum or devpath is missing or malformed.
std::optional<uint32_t> makeLocationId (const char* busnum, const char* devpath);

// The primary usage page and usage of a report descriptor: those in force where its first
// collection opens. None when the descriptor opens no collection with both known.
struct PrimaryUsage
{
    uint32_t page;
    uint32_t usage;
};
std::optional<PrimaryUsage> parsePrimaryUsage (const uint8_t* descriptor, size_t length);

// Location id of a device without a USB parent: after every USB device.
constexpr uint32_t kNoUsbLocationId = 0xFFFFFFFF;

// Largest output report sent, without the report-number byte.
constexpr size_t kMaxOutputReport = 4096;

// Writes the report as hidraw expects it for devices without numbered reports: report
// number 0, then the bytes. Returns the size written, 0 when it does not fit or is empty.
size_t frameOutputReport (const uint8_t* data, size_t length, uint8_t* out, size_t capacity);

// The message printed once when a target node cannot be opened for lack of permission.
std::string permissionMessage (const std::string& node);
} // namespace hidraw
