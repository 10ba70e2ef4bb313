#pragma once

#include "update/UpdateImage.h"

namespace testsupport
{
// Writes a valid update file whose three areas hold pseudo-random bytes (the same for the
// same seed), so a device's flash can be compared with it byte for byte.
inline bool writeTestUpdateFile (const juce::File& file, const juce::String& version, uint32_t dateWord,
                                 int64_t seed = 12345)
{
    UpdImageParams params;
    params.version = version;
    params.dateWord = dateWord;
    params.payload.setSize (0x1E0000); // all three areas; the version and date fields go over it
    juce::Random random (seed);
    for (size_t i = 0; i < params.payload.getSize(); ++i)
        params.payload[i] = static_cast<char> (random.nextInt (256));
    return MakeUpdFile (file, params).wasOk();
}
} // namespace testsupport
