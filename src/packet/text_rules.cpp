#include "packet/text_rules.h"

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
// The portable path where the processor may lack SSE2: elsewhere than x86
// and x64, and on 32-bit x86.
#if !defined(QUILLORY_SSE2_TEXT) || !defined(__SSE2__)
#define QUILLORY_PORTABLE_TEXT_PATH 1
#endif

namespace quillory {

namespace {

struct BlockMasks {
  uint64_t cr;
  uint64_t lf;
  uint64_t zero;
};

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

#if defined(QUILLORY_PORTABLE_TEXT_PATH)
namespace portable {
#define QUILLORY_TEXT_VECTOR 0
#include "packet/text_paths.inc"
}  // namespace portable
#endif

#if defined(QUILLORY_SSE2_TEXT)
namespace sse2 {
#define QUILLORY_TEXT_VECTOR 1
#include "packet/text_paths.inc"
}  // namespace sse2
#endif

#if defined(QUILLORY_AVX2_TEXT)
namespace avx2 {
#define QUILLORY_TEXT_VECTOR 2
#include "packet/text_paths.inc"
}  // namespace avx2
#endif

// The note's two passes at one vector width.
struct TextPath {
  NoteScan (*scan)(const char *text);
  size_t (*write)(TextView text, bool lf_delimited, char *out, size_t out_size);
};

#if defined(QUILLORY_PORTABLE_TEXT_PATH)
constexpr TextPath PORTABLE_PATH{portable::ScanNote, portable::WriteBreaks};
#endif
#if defined(QUILLORY_SSE2_TEXT)
constexpr TextPath SSE2_PATH{sse2::ScanNote, sse2::WriteBreaks};
#endif
#if defined(QUILLORY_AVX2_TEXT)
constexpr TextPath AVX2_PATH{avx2::ScanNote, avx2::WriteBreaks};
#endif

// The widest the processor has, asked at each call: the DLL keeps no state
// and runs no initialiser.
const TextPath &ChooseTextPath() {
#if defined(QUILLORY_SSE2_TEXT)
  __builtin_cpu_init();
#if defined(QUILLORY_AVX2_TEXT)
  if (__builtin_cpu_supports("avx2")) return AVX2_PATH;
#endif
    // Every x64 processor has SSE2; a 32-bit one may not.
#if !defined(__SSE2__)
  if (!__builtin_cpu_supports("sse2")) return PORTABLE_PATH;
#endif
  return SSE2_PATH;
#else
  return PORTABLE_PATH;
#endif
}

}  // namespace

NoteScan ScanNote(const char *text) { return ChooseTextPath().scan(text); }

void WriteLineBreaks(TextView text, const LineBreakPlan &plan, char *out) {
  const auto size = static_cast<size_t>(plan.size);
  size_t written = 0;
  if (plan.unchanged) {
    written = text.size() < size ? text.size() : size;
    if (written != 0) memcpy(out, text.data(), written);
  } else {
    written = ChooseTextPath().write(text, plan.lf_delimited, out, size);
  }
  // A text changed since it was planned leaves zeros, never stale storage.
  if (written < size) memset(out + written, 0, size - written);
}

}  // namespace quillory
