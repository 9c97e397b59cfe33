#include "text_rules.h"

// On x86 and x64, SSE2 and AVX2 paths built with target attributes (the
// 32-bit target assumes neither), the widest the processor has chosen at
// run time. QUILLORY_PORTABLE_TEXT forces the portable path and
// QUILLORY_NO_AVX2 keeps to SSE2, so that tests can take each anywhere.
#if (defined(__i386__) || defined(__x86_64__)) && \
    !defined(QUILLORY_PORTABLE_TEXT)
#define QUILLORY_SSE2_TEXT 1
#include <immintrin.h>
#if !defined(QUILLORY_NO_AVX2)
#define QUILLORY_AVX2_TEXT 1
#endif
#endif

namespace quillory {

namespace {

// The bytes of text that equal c, in one pass. (Only the string form of
// the rules counts single bytes; the note's own pass counts CR and LF
// itself.)
size_t CountEqual(TextView text, char c) {
  const char *data = text.data();
  const size_t size = text.size();
  size_t count = 0;
  size_t i = 0;
#if defined(__SSE2__) && defined(QUILLORY_SSE2_TEXT)
  // Byte-wide tallies, folded into the total before any can overflow.
  const __m128i wanted = _mm_set1_epi8(c);
  while (size - i >= 16) {
    __m128i tally = _mm_setzero_si128();
    for (int round = 0; round < 255 && size - i >= 16; ++round, i += 16) {
      const __m128i block =
          _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i));
      tally = _mm_sub_epi8(tally, _mm_cmpeq_epi8(block, wanted));
    }
    const __m128i sums = _mm_sad_epu8(tally, _mm_setzero_si128());
    count += static_cast<size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<size_t>(_mm_extract_epi16(sums, 4));
  }
#endif
  for (; i < size; ++i) count += data[i] == c ? 1u : 0u;
  return count;
}

struct BlockMasks {
  uint64_t cr;
  uint64_t lf;
  uint64_t zero;
};

#define QUILLORY_BLOCK_INLINE inline __attribute__((always_inline))

inline size_t CountBits(uint64_t bits) {
  bits = bits - ((bits >> 1) & 0x5555555555555555u);
  bits = (bits & 0x3333333333333333u) + ((bits >> 2) & 0x3333333333333333u);
  bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return static_cast<size_t>((bits * 0x0101010101010101u) >> 56);
}

// The bits of the first `bytes` bytes.
inline uint64_t Below(size_t bytes) {
  return bytes >= 64 ? ~uint64_t{0} : (uint64_t{1} << bytes) - 1;
}

inline size_t LowestBit(uint64_t bits) {
  return static_cast<size_t>(__builtin_ctzll(bits));
}

// What a pass over a note finds: its CRs and LFs, and whether each CR is
// directly followed by an LF and each LF directly preceded by a CR, so
// that the text already is what the rule makes of it.
struct NoteCounts {
  size_t cr = 0;
  size_t lf = 0;
  bool pairs_only = true;
  // The last byte seen was a CR.
  bool open_cr = false;

  void Add(uint64_t cr_bits, uint64_t lf_bits, size_t bytes) {
    cr += CountBits(cr_bits);
    lf += CountBits(lf_bits);
    const uint64_t after_cr =
        ((cr_bits << 1) | (open_cr ? 1u : 0u)) & Below(bytes);
    if (after_cr != lf_bits) pairs_only = false;
    open_cr = ((cr_bits >> (bytes - 1)) & 1u) != 0;
  }
  // A CR at the very end has no LF after it.
  [[nodiscard]] bool Unchanged() const {
    return (cr == 0 && lf == 0) || (pairs_only && !open_cr);
  }
};

LineBreakPlan PlanFrom(const NoteCounts &counts, uint64_t size) {
  // With LF: every CR goes and each LF gains one. Without: each CR gains an
  // LF.
  if (counts.lf != 0) {
    return {size - counts.cr + counts.lf, true, counts.Unchanged()};
  }
  return {size + counts.cr, false, counts.Unchanged()};
}

namespace portable {
#define QUILLORY_TEXT_VECTOR 0
#include "text_paths.inc"
#undef QUILLORY_TEXT_VECTOR
}  // namespace portable

#if defined(QUILLORY_SSE2_TEXT)
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("sse2"))), \
                             apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("sse2")
#endif
namespace sse2 {
#define QUILLORY_TEXT_VECTOR 1
#include "text_paths.inc"
#undef QUILLORY_TEXT_VECTOR
}  // namespace sse2
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif

#if defined(QUILLORY_AVX2_TEXT)
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), \
                             apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
namespace avx2 {
#define QUILLORY_TEXT_VECTOR 2
#include "text_paths.inc"
#undef QUILLORY_TEXT_VECTOR
}  // namespace avx2
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif

enum class TextPath { kPortable, kSse2, kAvx2 };

// Asked at each call: the DLL keeps no state and runs no initialiser.
TextPath ChooseTextPath() {
#if defined(QUILLORY_SSE2_TEXT)
  __builtin_cpu_init();
#if defined(QUILLORY_AVX2_TEXT)
  if (__builtin_cpu_supports("avx2")) return TextPath::kAvx2;
#endif
    // Every x64 processor has SSE2; a 32-bit one may not.
#if !defined(__SSE2__)
  if (!__builtin_cpu_supports("sse2")) return TextPath::kPortable;
#endif
  return TextPath::kSse2;
#else
  return TextPath::kPortable;
#endif
}

NoteCounts CountNote(TextView text) {
  switch (ChooseTextPath()) {
#if defined(QUILLORY_AVX2_TEXT)
    case TextPath::kAvx2:
      return avx2::CountNote(text);
#endif
#if defined(QUILLORY_SSE2_TEXT)
    case TextPath::kSse2:
      return sse2::CountNote(text);
#endif
    default:
      return portable::CountNote(text);
  }
}

size_t WriteBreaks(TextView text, bool lf_delimited, char *out,
                   size_t out_size) {
  switch (ChooseTextPath()) {
#if defined(QUILLORY_AVX2_TEXT)
    case TextPath::kAvx2:
      return avx2::WriteBreaks(text, lf_delimited, out, out_size);
#endif
#if defined(QUILLORY_SSE2_TEXT)
    case TextPath::kSse2:
      return sse2::WriteBreaks(text, lf_delimited, out, out_size);
#endif
    default:
      return portable::WriteBreaks(text, lf_delimited, out, out_size);
  }
}

}  // namespace

size_t CountByte(TextView text, char c) { return CountEqual(text, c); }

LineBreakPlan PlanLineBreaks(TextView text) {
  return PlanFrom(CountNote(text), text.size());
}

NoteScan ScanNote(const char *text) {
  switch (ChooseTextPath()) {
#if defined(QUILLORY_AVX2_TEXT)
    case TextPath::kAvx2:
      return avx2::ScanNote(text);
#endif
#if defined(QUILLORY_SSE2_TEXT)
    case TextPath::kSse2:
      return sse2::ScanNote(text);
#endif
    default:
      return portable::ScanNote(text);
  }
}

void WriteLineBreaks(TextView text, const LineBreakPlan &plan, char *out) {
  const auto size = static_cast<size_t>(plan.size);
  size_t written = 0;
  if (plan.unchanged) {
    written = text.size() < size ? text.size() : size;
    if (written != 0) memcpy(out, text.data(), written);
  } else {
    written = WriteBreaks(text, plan.lf_delimited, out, size);
  }
  // A text changed since it was planned leaves zeros, never stale storage.
  if (written < size) memset(out + written, 0, size - written);
}

}  // namespace quillory
