#pragma once

#include "app/MainComponent.h"
#include "update/UpdateFile.h"
#include "update/UpdateImage.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <sys/statfs.h>

namespace fixtures
{
// A fresh folder of its own (tests run in parallel processes), removed with what it holds
// when the test ends.
class TempFolder
{
public:
    explicit TempFolder (const juce::File& parent = juce::File::getSpecialLocation (juce::File::tempDirectory))
        : m_folder (MakeUnique (parent))
    {
    }
    ~TempFolder() { if (m_folder.isDirectory()) m_folder.deleteRecursively(); }

    const juce::File& get() const { return m_folder; }
    juce::File operator/ (const juce::String& name) const { return m_folder.getChildFile (name); }

private:
    static juce::File MakeUnique (const juce::File& parent)
    {
        auto pattern = parent.getChildFile ("nubla-update-test-XXXXXX").getFullPathName().toStdString();
        const char* made = ::mkdtemp (pattern.data());
        EXPECT_NE (made, nullptr) << "cannot make a folder in " << parent.getFullPathName();
        return made != nullptr ? juce::File (made) : juce::File();
    }

    juce::File m_folder;
    JUCE_DECLARE_NON_COPYABLE (TempFolder)
};

// tmpfs lists a folder newest entry first, so the order of creation sets the listing order.
inline juce::File FolderListedByCreation()
{
    struct statfs fs {};
    constexpr long tmpfsMagic = 0x01021994;
    if (::statfs ("/dev/shm", &fs) == 0 && fs.f_type == tmpfsMagic && juce::File ("/dev/shm").hasWriteAccess())
        return juce::File ("/dev/shm");
    return juce::File::getSpecialLocation (juce::File::tempDirectory);
}

constexpr uint32_t VALID_DATE = 0x20170530;

// A payload that differs from byte to byte, so swapped or altered bytes change the checksum.
inline juce::MemoryBlock PatternPayload()
{
    juce::MemoryBlock payload (static_cast<size_t> (UPD_AREAS_END));
    auto* bytes = static_cast<uint8_t*> (payload.getData());
    for (size_t i = 0; i < payload.getSize(); ++i)
        bytes[i] = static_cast<uint8_t> ((i * 131) ^ (i >> 9));
    return payload;
}

inline UpdImageParams ValidParams()
{
    UpdImageParams params;
    params.version = "1.05";
    params.dateWord = VALID_DATE;
    params.payload = PatternPayload();
    return params;
}

inline juce::MemoryBlock ValidImage() { return BuildUpdImage (ValidParams()); }

inline uint8_t* Bytes (juce::MemoryBlock& block) { return static_cast<uint8_t*> (block.getData()); }

inline juce::File Write (const juce::File& file, const juce::MemoryBlock& bytes)
{
    const auto result = WriteFileAtomically (file, bytes.getData(), bytes.getSize());
    EXPECT_TRUE (result.wasOk()) << result.getErrorMessage();
    return file;
}

inline juce::File WriteValid (const juce::File& file) { return Write (file, ValidImage()); }
} // namespace fixtures
