// The image CRC on x86-64: folded sixteen bytes at a time with carry-less
// multiplication where the processor has it (every one since about 2010),
// the sliced tables elsewhere. Chosen once, at the first call.
#include <immintrin.h>
#ifdef _MSC_VER
#include <intrin.h>
#define CRCSTAMP_CLMUL_TARGET
#else
#include <cpuid.h>
#define CRCSTAMP_CLMUL_TARGET __attribute__((target("pclmul,ssse3")))
#endif

#include "crc/crc.h"

namespace {

// One question to the processor, asked only when a CRC is computed: in a
// virtual machine each costs a trip to the host (15 us here), and the
// compiler's own detection asks dozens, at every start.
bool has_clmul() {
    unsigned features = 0;
#ifdef _MSC_VER
    int registers[4];
    __cpuid(registers, 1);
    features = static_cast<unsigned>(registers[2]);
#else
    unsigned eax = 0, ebx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &features, &edx)) return false;
#endif
    return (features & (1u << 1)) != 0 && (features & (1u << 9)) != 0;  // PCLMULQDQ, SSSE3
}

// x^n modulo the polynomial: 1 taken n steps through the register.
constexpr std::uint64_t x_to_the(unsigned n) {
    std::uint32_t reg = 1;
    for (unsigned i = 0; i < n; ++i) reg = crc_bit_step(reg);
    return reg;
}

// Folding factors: x^(distance + 64) and x^distance reduced, for the high and the low half.
constexpr std::uint64_t kBy128[] = {x_to_the(192), x_to_the(128)};
constexpr std::uint64_t kBy512[] = {x_to_the(576), x_to_the(512)};

// Shuffles that turn sixteen bytes into a polynomial of degree below 128, the
// first byte fed highest: the bytes in the opposite order, and for low byte
// first each pair swapped as well.
CRCSTAMP_CLMUL_TARGET __m128i fed_highest_first(ByteOrder order) {
    return order == ByteOrder::kHighByteFirst ? _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15)
                                              : _mm_set_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
}

CRCSTAMP_CLMUL_TARGET __m128i block_at(const std::uint8_t* bytes, __m128i shuffle) {
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)), shuffle);
}

// sum x^distance + next, congruent modulo the polynomial: each half of sum
// times x^(distance + 64) and x^distance reduced, which `factors` holds.
CRCSTAMP_CLMUL_TARGET __m128i fold(__m128i sum, __m128i factors, __m128i next) {
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(sum, factors, 0x11), _mm_clmulepi64_si128(sum, factors, 0x00)), next);
}

CRCSTAMP_CLMUL_TARGET std::uint32_t crc_update_clmul(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count,
                                                     ByteOrder order) {
    const __m128i shuffle = fed_highest_first(order);
    const __m128i by_128 = _mm_set_epi64x(static_cast<long long>(kBy128[0]), static_cast<long long>(kBy128[1]));
    const __m128i by_512 = _mm_set_epi64x(static_cast<long long>(kBy512[0]), static_cast<long long>(kBy512[1]));
    // Four blocks in flight, each lane a quarter of every 64 bytes; the
    // register's value enters as the first 32 bits of the message.
    __m128i lanes[4];
    for (int i = 0; i < 4; ++i) lanes[i] = block_at(bytes + 16 * i, shuffle);
    lanes[0] = _mm_xor_si128(lanes[0], _mm_set_epi32(static_cast<int>(crc), 0, 0, 0));
    for (bytes += 64, count -= 64; count >= 64; bytes += 64, count -= 64) {
        for (int i = 0; i < 4; ++i) lanes[i] = fold(lanes[i], by_512, block_at(bytes + 16 * i, shuffle));
    }
    __m128i sum = fold(fold(fold(lanes[0], by_128, lanes[1]), by_128, lanes[2]), by_128, lanes[3]);
    for (; count >= 16; bytes += 16, count -= 16) sum = fold(sum, by_128, block_at(bytes, shuffle));
    // What is left is short: the folded bytes, highest first, then the tail, through the table.
    const __m128i reversal = fed_highest_first(ByteOrder::kHighByteFirst);
    std::uint8_t folded[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(folded), _mm_shuffle_epi8(sum, reversal));
    return crc_update(crc_update(0, folded, sizeof folded), bytes, count, order);
}

}  // namespace

std::uint32_t crc_update_fast(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count, ByteOrder order) {
    static const bool clmul = has_clmul();
    return clmul && count >= 64 ? crc_update_clmul(crc, bytes, count, order)
                                : crc_update_sliced(crc, bytes, count, order);
}
