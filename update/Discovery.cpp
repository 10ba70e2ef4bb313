#include "update/Discovery.h"

#include "app/MainComponent.h"
#include "update/UpdateFile.h"

int UpdFileNumber (const juce::String& fileName)
{
    if (fileName.length() != UPD_FILE_NAME_LENGTH)
        return 0;
    return fileName.substring (9, 12).getIntValue();
}

juce::File ChooseUpdFile (const juce::Array<juce::File>& listedInOrder)
{
    juce::File chosen;
    int best = 0;
    for (const auto& file : listedInOrder)
    {
        const auto number = UpdFileNumber (file.getFileName());
        if (number > best)
        {
            chosen = file;
            best = number;
        }
    }
    return chosen;
}

void MainComponent::CheckUpdFile()
{
    CheckUpdFile (juce::File::getSpecialLocation (juce::File::currentExecutableFile).getParentDirectory());
}

void MainComponent::CheckUpdFile (const juce::File& folder)
{
    // Files only, hidden ones included, in the order the folder yields them.
    const auto chosen = ChooseUpdFile (folder.findChildFiles (juce::File::findFiles, false, UPD_FILE_PATTERN));
    if (! chosen.exists())
    {
        m_fileState = 0;
        StoreStatus (ERR_FILE_MISSING);
        return;
    }

    const auto result = ParseUpdFile (chosen, UPD_FILE_SIZE, &m_fileDate, m_fileVersion);
    for (auto& kind : m_updKindInfo)
        kind.status = static_cast<int32_t> (result);

    if (result != KIND_VALID)
    {
        // A file that vanished between the listing and the check is not a file error.
        StoreStatus (result == ERR_FILE_MISSING ? ERR_PROTOCOL : static_cast<int32_t> (result));
        return;
    }

    for (size_t i = 0; i < std::size (UPD_AREAS); ++i)
    {
        auto& kind = m_updKindInfo[i];
        kind.file = chosen;
        kind.size = UPD_AREAS[i].size;
        kind.offset = UPD_AREAS[i].offset;
        kind.address = UPD_AREAS[i].address;
        kind.target = UPD_AREAS[i].target;
    }
    m_fileState = FILE_STATE_VALID;
}
