#include "image/image_crc_fold.h"

#if defined(__x86_64__) && defined(__GNUC__)
#define TARVEX_CRC32_FOLD 1
#include <cpuid.h>
#include <immintrin.h>
#else
#define TARVEX_CRC32_FOLD 0
#endif

namespace tarvex {

#if TARVEX_CRC32_FOLD

namespace {

// Powers of x modulo the CRC-32 polynomial, bit-reflected and shifted left by one, as a
// carry-less product of a reflected 64-bit half needs them: x^(512+32) and x^(512-32) move a
// 16-byte lane 64 bytes on, x^(128+32) and x^(128-32) move it 16 bytes on, x^64 takes 96 bits to
// 64. Then the reflected polynomial with its x^32 term and floor(x^64 / P) for the Barrett step.
constexpr std::uint64_t X544 = 0x154442BD4, X480 = 0x1C6E41596;
constexpr std::uint64_t X160 = 0x1751997D0, X96 = 0x0CCAA009E;
constexpr std::uint64_t X64 = 0x163CD6124;
constexpr std::uint64_t POLY = 0x1DB710641, MU = 0x1F7011641;

#define TARVEX_FOLD_TARGET __attribute__((target("pclmul")))

TARVEX_FOLD_TARGET inline __m128i Pair(std::uint64_t low, std::uint64_t high) {
  return _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low));
}

TARVEX_FOLD_TARGET inline __m128i Load(const std::uint8_t* bytes) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}

// A lane moved on by the distance `k` stands for, added to the lane that lies there.
TARVEX_FOLD_TARGET inline __m128i Fold(__m128i lane, __m128i k, __m128i there) {
  const __m128i low = _mm_clmulepi64_si128(lane, k, 0x00);
  const __m128i high = _mm_clmulepi64_si128(lane, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), there);
}

// The 128-bit remainder brought down to the 32-bit register.
TARVEX_FOLD_TARGET inline std::uint32_t Reduce(__m128i value) {
  const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);
  // 128 to 96 bits: the low half, times x^96, added to the high half.
  value =
      _mm_xor_si128(_mm_srli_si128(value, 8), _mm_clmulepi64_si128(value, Pair(X160, X96), 0x10));
  // 96 to 64 bits.
  value = _mm_xor_si128(_mm_srli_si128(value, 4),
                        _mm_clmulepi64_si128(_mm_and_si128(value, low32), Pair(X64, 0), 0x00));
  // Barrett: the quotient from floor(x^64 / P), times P, leaves the remainder in bits 32..63.
  const __m128i poly = Pair(POLY, MU);
  __m128i quotient = _mm_clmulepi64_si128(_mm_and_si128(value, low32), poly, 0x10);
  quotient = _mm_clmulepi64_si128(_mm_and_si128(quotient, low32), poly, 0x00);
  return static_cast<std::uint32_t>(
      _mm_cvtsi128_si32(_mm_srli_si128(_mm_xor_si128(value, quotient), 4)));
}

}  // namespace

// Asked on first use with one CPUID: __builtin_cpu_supports would link a constructor that
// queries every feature at each start, and CPUID is slow under a hypervisor.
bool CanFoldCrc32() {
  static const bool can = [] {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (ecx & bit_PCLMUL) != 0;
  }();
  return can;
}

TARVEX_FOLD_TARGET std::uint32_t FoldCrc32(std::uint32_t reg, const std::uint8_t* bytes,
                                           std::size_t length) {
  // Four lanes side by side keep the multiplier busy; the register enters with the first bytes.
  __m128i lanes[4] = {_mm_xor_si128(Load(bytes), _mm_cvtsi32_si128(static_cast<int>(reg))),
                      Load(bytes + 16), Load(bytes + 32), Load(bytes + 48)};
  const std::uint8_t* const end = bytes + length;
  bytes += 64;
  const __m128i by64 = Pair(X544, X480);
  for (; end - bytes >= 64; bytes += 64) {
    for (int i = 0; i < 4; ++i) {
      lanes[i] = Fold(lanes[i], by64, Load(bytes + 16 * i));
    }
  }
  const __m128i by16 = Pair(X160, X96);
  __m128i value = lanes[0];
  for (int i = 1; i < 4; ++i) {
    value = Fold(value, by16, lanes[i]);
  }
  for (; bytes != end; bytes += 16) {
    value = Fold(value, by16, Load(bytes));
  }
  return Reduce(value);
}

#else

bool CanFoldCrc32() {
  return false;
}

std::uint32_t FoldCrc32(std::uint32_t reg, const std::uint8_t*, std::size_t) {
  return reg;  // never called: CanFoldCrc32() is false
}

#endif

}  // namespace tarvex
