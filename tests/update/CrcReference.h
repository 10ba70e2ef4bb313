#pragma once

#include <cstdint>

// CRC-16/XMODEM computed bit by bit in the augmented form: a 24-bit register, each byte
// shifted in from the low end, the polynomial at bits 8..24, two zero bytes to finish.
// Slow and plain on purpose: the reference the fast checksum is held against.
inline uint16_t ReferenceCrc (const uint8_t* data, int64_t length)
{
    uint32_t reg = 0;
    const auto shiftByte = [&reg] (uint8_t byte)
    {
        reg |= byte;
        for (int bit = 0; bit < 8; ++bit)
        {
            reg <<= 1;
            if ((reg & 0x1000000) != 0)
                reg ^= 0x1102100;
        }
    };
    for (int64_t i = 0; i < length; ++i)
        shiftByte (data[i]);
    shiftByte (0);
    shiftByte (0);
    return static_cast<uint16_t> ((reg >> 8) & 0xFFFF);
}
