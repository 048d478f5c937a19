#pragma once
// Integers stored in byte buffers in a fixed byte order, as file formats
// hold them: TIFF and DNG in the order their header names (II or MM), ICC
// profiles big-endian, PE files and our raw image header little-endian.
//
// Every access is checked against the buffer: a read of a field that does
// not lie wholly inside the span yields 0 (Get) or false (Read), a write of
// one changes nothing (Put returns false). The readers still check sizes
// themselves before they parse (and report what was wrong); the check here
// keeps a missed one from ever touching memory outside the buffer.

#include <bit>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>

namespace platform {

// True when `bytes` bytes at `at` lie inside a buffer of `size` bytes
// (written so that at + bytes cannot overflow).
constexpr bool FitsIn(std::size_t size, std::size_t at, std::size_t bytes) noexcept
{
    return at <= size && bytes <= size - at;
}

template <std::unsigned_integral T>
constexpr bool ReadBytes(std::span<const std::uint8_t> data, std::size_t at, std::endian order,
                         T& value) noexcept
{
    if (!FitsIn(data.size(), at, sizeof(T)))
        return false;
    T v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
    {
        const std::size_t k = order == std::endian::big ? i : sizeof(T) - 1 - i;
        v = static_cast<T>(v << 8 | data[at + k]);
    }
    value = v;
    return true;
}

template <std::unsigned_integral T>
constexpr T GetBytes(std::span<const std::uint8_t> data, std::size_t at, std::endian order) noexcept
{
    T value = 0;
    ReadBytes(data, at, order, value);
    return value;
}

template <std::unsigned_integral T>
constexpr bool PutBytes(std::span<std::uint8_t> data, std::size_t at, std::endian order,
                        T value) noexcept
{
    if (!FitsIn(data.size(), at, sizeof(T)))
        return false;
    for (std::size_t i = 0; i < sizeof(T); ++i)
    {
        const std::size_t k = order == std::endian::little ? i : sizeof(T) - 1 - i;
        data[at + k] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    return true;
}

// The named forms the readers and writers use.
constexpr std::uint16_t GetU16(std::span<const std::uint8_t> d, std::size_t at,
                               std::endian o) noexcept
{
    return GetBytes<std::uint16_t>(d, at, o);
}
constexpr std::uint32_t GetU32(std::span<const std::uint8_t> d, std::size_t at,
                               std::endian o) noexcept
{
    return GetBytes<std::uint32_t>(d, at, o);
}
constexpr std::uint16_t GetU16BE(std::span<const std::uint8_t> d, std::size_t at) noexcept
{
    return GetBytes<std::uint16_t>(d, at, std::endian::big);
}
constexpr std::uint32_t GetU32BE(std::span<const std::uint8_t> d, std::size_t at) noexcept
{
    return GetBytes<std::uint32_t>(d, at, std::endian::big);
}
constexpr std::uint16_t GetU16LE(std::span<const std::uint8_t> d, std::size_t at) noexcept
{
    return GetBytes<std::uint16_t>(d, at, std::endian::little);
}
constexpr std::uint32_t GetU32LE(std::span<const std::uint8_t> d, std::size_t at) noexcept
{
    return GetBytes<std::uint32_t>(d, at, std::endian::little);
}
constexpr bool PutU16(std::span<std::uint8_t> d, std::size_t at, std::endian o,
                      std::uint16_t v) noexcept
{
    return PutBytes<std::uint16_t>(d, at, o, v);
}
constexpr bool PutU32(std::span<std::uint8_t> d, std::size_t at, std::endian o,
                      std::uint32_t v) noexcept
{
    return PutBytes<std::uint32_t>(d, at, o, v);
}
constexpr bool PutU16BE(std::span<std::uint8_t> d, std::size_t at, std::uint16_t v) noexcept
{
    return PutBytes<std::uint16_t>(d, at, std::endian::big, v);
}
constexpr bool PutU32BE(std::span<std::uint8_t> d, std::size_t at, std::uint32_t v) noexcept
{
    return PutBytes<std::uint32_t>(d, at, std::endian::big, v);
}
constexpr bool PutU16LE(std::span<std::uint8_t> d, std::size_t at, std::uint16_t v) noexcept
{
    return PutBytes<std::uint16_t>(d, at, std::endian::little, v);
}
constexpr bool PutU32LE(std::span<std::uint8_t> d, std::size_t at, std::uint32_t v) noexcept
{
    return PutBytes<std::uint32_t>(d, at, std::endian::little, v);
}

} // namespace platform
