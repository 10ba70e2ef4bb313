#include "update/UpdateImage.h"

#include "app/MainComponent.h"
#include "update/UpdateFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
juce::Result SystemFailure (const juce::String& what, const juce::File& file)
{
    return juce::Result::fail (what + " " + file.getFullPathName() + ": " + juce::String (std::strerror (errno)));
}

bool WriteAll (int fd, const uint8_t* data, size_t size)
{
    while (size > 0)
    {
        const auto n = ::write (fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t> (n);
    }
    return true;
}
} // namespace

bool DateWordFromText (const juce::String& text, uint32_t& dateWord)
{
    if (text.length() != 8 || ! text.containsOnly ("0123456789"))
        return false;
    uint32_t word = 0;
    for (int i = 0; i < 8; ++i)
        word = (word << 4) | static_cast<uint32_t> (text[i] - '0');
    dateWord = word;
    return true;
}

juce::Result CheckUpdImageParams (const UpdImageParams& params)
{
    if (params.version.length() != 4 || ! MainComponent::CheckSysVer (params.version))
        return juce::Result::fail ("the version \"" + params.version
                                   + "\" is not of the form X.YZ (a digit or letter, a full stop, two digits or letters)");
    if (! IsDateWordInRange (params.dateWord))
        return juce::Result::fail ("the date " + juce::String::toHexString (static_cast<int> (params.dateWord))
                                   + " is out of range (century <= 20, year <= 50, month <= 12, day <= 31)");
    if (params.payload.getSize() > static_cast<size_t> (UPD_AREAS_END))
        return juce::Result::fail ("the payload of " + juce::String (params.payload.getSize())
                                   + " bytes does not fit the update areas (" + juce::String (UPD_AREAS_END) + " bytes)");
    return juce::Result::ok();
}

juce::MemoryBlock BuildUpdImage (const UpdImageParams& params)
{
    juce::MemoryBlock image (static_cast<size_t> (UPD_FILE_SIZE));
    image.fillWith (params.fill);
    image.copyFrom (params.payload.getData(), 0,
                    juce::jmin (params.payload.getSize(), static_cast<size_t> (UPD_AREAS_END)));

    auto* bytes = static_cast<uint8_t*> (image.getData());
    for (int i = 0; i < 4; ++i)
        bytes[UPD_VERSION_OFFSET + i] = static_cast<uint8_t> (i < params.version.length() ? params.version[i] : 0);
    for (int i = 0; i < 4; ++i)
        bytes[UPD_DATE_OFFSET + i] = static_cast<uint8_t> (params.dateWord >> (24 - 8 * i));
    SealUpdImage (image);
    return image;
}

void SealUpdImage (juce::MemoryBlock& image)
{
    const auto size = image.getSize();
    if (size < 2)
        return;
    auto* bytes = static_cast<uint8_t*> (image.getData());
    const auto crc = MainComponent::CalcCRC (bytes, static_cast<int64_t> (size - 2));
    bytes[size - 2] = static_cast<uint8_t> (crc & 0xFF);
    bytes[size - 1] = static_cast<uint8_t> (crc >> 8);
}

juce::Result WriteFileAtomically (const juce::File& target, const void* data, size_t size)
{
    // Hidden and longer than an update file's name, so discovery never picks it up.
    auto tempPath = target.getSiblingFile ("." + target.getFileName() + ".tmp-XXXXXX").getFullPathName();
    juce::HeapBlock<char> pathBuf (tempPath.getNumBytesAsUTF8() + 1, true);
    tempPath.copyToUTF8 (pathBuf.get(), tempPath.getNumBytesAsUTF8() + 1);

    const int fd = ::mkstemp (pathBuf.get());
    if (fd < 0)
        return SystemFailure ("cannot create a file beside", target);
    const juce::File temp (juce::String::fromUTF8 (pathBuf.get()));

    auto result = juce::Result::ok();
    if (! WriteAll (fd, static_cast<const uint8_t*> (data), size) || ::fchmod (fd, 0644) != 0 || ::fsync (fd) != 0)
        result = SystemFailure ("cannot write", temp);
    if (::close (fd) != 0 && result.wasOk())
        result = SystemFailure ("cannot write", temp);
    if (result.wasOk() && ::rename (pathBuf.get(), target.getFullPathName().toRawUTF8()) != 0)
        result = SystemFailure ("cannot replace", target);
    if (result.failed())
        ::unlink (pathBuf.get());
    return result;
}

juce::Result MakeUpdFile (const juce::File& target, const UpdImageParams& params)
{
    const auto check = CheckUpdImageParams (params);
    if (check.failed())
        return check;
    const auto image = BuildUpdImage (params);
    return WriteFileAtomically (target, image.getData(), image.getSize());
}
