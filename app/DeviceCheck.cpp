#include "app/MainComponent.h"

#include "app/DeviceProtocol.h"
#include "update/UpdateFile.h"

#include <algorithm>

using namespace devproto;

namespace
{
constexpr int AREA2_SHORT_SIZE = 0x1000; // area 2's span when the device has the file's build

int32_t ModeRefusalStatus (uint8_t reason)
{
    switch (reason)
    {
        case 1: return ERR_DEV_NG1;
        case 2: return ERR_DEV_NG2;
        case 3: return ERR_DEV_NG3;
        case 4: return ERR_DEV_NG4;
        default: return ERR_PROTOCOL;
    }
}
} // namespace

// Asks whether the device takes an update; then, with a valid update file, its version.
bool MainComponent::CheckDeviceMode()
{
    FillCommand (TARGET_DEVICE, CMD_GET_MODE);
    const auto answer = Exchange();
    if (! answer)
        return false;

    switch ((*answer)[POS_CODE])
    {
        case RSP_NG:
            StoreStatus (ModeRefusalStatus ((*answer)[POS_PARAM]));
            return false;
        case RSP_ACK:
            return m_fileState != FILE_STATE_VALID || CheckDeviceVersion();
        default:
            StoreStatus (ERR_PROTOCOL);
            return false;
    }
}

// Reads the device's build date and version text and marks the areas to write: area 0
// only when the device's build date differs from the file's.
bool MainComponent::CheckDeviceVersion()
{
    FillCommand (TARGET_DEVICE, CMD_GET_VERSION);
    auto exchanged = Exchange();
    if (! exchanged)
        return false;

    auto& answer = *exchanged;
    if (answer[POS_CODE] != RSP_VERSION)
    {
        StoreStatus (ERR_PROTOCOL);
        return false;
    }

    const uint8_t* date = answer.data() + POS_VERSION_DATE;
    m_devDate = static_cast<uint32_t> (date[0]) << 24 | static_cast<uint32_t> (date[1]) << 16
              | static_cast<uint32_t> (date[2]) << 8 | date[3];
    // The device's date follows the same rule as the update file's.
    if (! IsDateWordInRange (m_devDate))
    {
        StoreStatus (ERR_DEV_VERSION);
        return false;
    }

    if (m_devDate == m_fileDate)
    {
        m_updKindInfo[0].status = KIND_SAME;
        m_updKindInfo[2].size = AREA2_SHORT_SIZE;
    }
    else
    {
        m_updKindInfo[0].status = KIND_WRITE;
    }

    // A device without a version reports 0xFF in all four places; it counts as "0.00".
    uint8_t* text = answer.data() + POS_VERSION_TEXT;
    if (text[0] == 0xFF && text[1] == 0xFF && text[2] == 0xFF && text[3] == 0xFF)
        std::copy_n ("0.00", 4, text);
    m_devVersion = VersionTextOf (text);

    if (! CheckSysVer (m_devVersion))
    {
        StoreStatus (ERR_DEV_VERSION);
        return false;
    }
    m_updKindInfo[1].status = KIND_WRITE;
    m_updKindInfo[2].status = KIND_WRITE;
    return true;
}
