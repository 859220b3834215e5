#pragma once

// Byte helpers and the no-link mark shared by the decoder (idxcodec.cpp) and the encoder
// (idxcodec_encode.cpp).

#include <cstdint>
#include <string>
#include <utility>

namespace xb::idxcodec {

constexpr uint32_t kNoLink = 0xFFFFFFFFu;

inline uint16_t le16(const uint8_t* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint32_t be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline void putLe16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void putLe32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
inline void putBe32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (24 - 8 * i));
}

inline bool fail(std::string* err, std::string msg)
{
    if (err)
        *err = std::move(msg);
    return false;
}

}  // namespace xb::idxcodec
