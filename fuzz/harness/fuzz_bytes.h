// Reading a fuzzer's input bytes as the choices of a scenario: each read
// takes the next bytes, and an input that has run out reads as zeros, so a
// short input still makes a whole scenario (its zero choices are the plain,
// well-formed ones).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace keelmark::fuzz {

class FuzzBytes {
public:
    FuzzBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool exhausted() const { return pos_ >= size_; }
    std::size_t remaining() const { return exhausted() ? 0 : size_ - pos_; }

    std::uint8_t u8() { return exhausted() ? 0 : data_[pos_++]; }
    // Multi-byte reads are little-endian; each byte is read in its own
    // statement, since the operands of one expression have no fixed order.
    std::uint16_t u16() {
        const std::uint16_t low = u8();
        const std::uint16_t high = u8();
        return static_cast<std::uint16_t>(low | (high << 8));
    }
    std::uint32_t u32() {
        const std::uint32_t low = u16();
        const std::uint32_t high = u16();
        return low | (high << 16);
    }
    std::uint64_t u64() {
        const std::uint64_t low = u32();
        const std::uint64_t high = u32();
        return low | (high << 32);
    }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    std::int64_t i64() { return static_cast<std::int64_t>(u64()); }
    bool flag() { return (u8() & 1) != 0; }
    float floatBits() { return std::bit_cast<float>(u32()); }
    double doubleBits() { return std::bit_cast<double>(u64()); }

    // A number in 0 .. n - 1 (n > 0).
    std::uint32_t below(std::uint32_t n) { return n <= 256 ? u8() % n : u32() % n; }

    // One of the values of a table, chosen by the next byte.
    template <typename T, std::size_t N>
    T pick(const T (&table)[N]) {
        return table[u8() % N];
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace keelmark::fuzz
