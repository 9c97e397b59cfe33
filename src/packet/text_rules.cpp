#include "text_rules.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillory {

namespace {

struct ByteCounts {
  size_t first;
  size_t second;
};

// Both counts in one pass over the text.
ByteCounts CountTwo(TextView text, char first, char second) {
  const char *data = text.data();
  const size_t size = text.size();
  ByteCounts counts{0, 0};
  size_t i = 0;
#if defined(__SSE2__)
  // Byte-wide tallies, folded into the totals before any can overflow.
  const __m128i firsts = _mm_set1_epi8(first);
  const __m128i seconds = _mm_set1_epi8(second);
  const auto fold = [](__m128i tally) {
    const __m128i sums = _mm_sad_epu8(tally, _mm_setzero_si128());
    return static_cast<size_t>(_mm_cvtsi128_si32(sums)) +
           static_cast<size_t>(_mm_extract_epi16(sums, 4));
  };
  while (size - i >= 16) {
    __m128i tally_first = _mm_setzero_si128();
    __m128i tally_second = _mm_setzero_si128();
    for (int round = 0; round < 255 && size - i >= 16; ++round, i += 16) {
      const __m128i block =
          _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i));
      tally_first = _mm_sub_epi8(tally_first, _mm_cmpeq_epi8(block, firsts));
      tally_second = _mm_sub_epi8(tally_second, _mm_cmpeq_epi8(block, seconds));
    }
    counts.first += fold(tally_first);
    counts.second += fold(tally_second);
  }
#endif
  for (; i < size; ++i) {
    counts.first += data[i] == first ? 1u : 0u;
    counts.second += data[i] == second ? 1u : 0u;
  }
  return counts;
}

// The CR, LF and zero bytes of one 64-byte block, a bit per byte (bit j:
// byte j). SSE2 where the compiler may use it; a byte loop elsewhere, which
// QUILLORY_PORTABLE_TEXT forces so that tests can cover it anywhere.
struct BlockMasks {
  uint64_t cr;
  uint64_t lf;
  uint64_t zero;
};

// Always inlined, so that the scan that reads whole aligned blocks can
// keep AddressSanitizer out of them (it decides per function).
#define QUILLORY_BLOCK_INLINE inline __attribute__((always_inline))

#if defined(__SSE2__) && !defined(QUILLORY_PORTABLE_TEXT)
QUILLORY_BLOCK_INLINE uint64_t Mask16(__m128i bytes, __m128i wanted) {
  return static_cast<uint16_t>(
      _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)));
}

QUILLORY_BLOCK_INLINE BlockMasks MasksOf(const char *block) {
  const __m128i crs = _mm_set1_epi8('\r');
  const __m128i lfs = _mm_set1_epi8('\n');
  const __m128i zeros = _mm_setzero_si128();
  BlockMasks masks{0, 0, 0};
  for (size_t part = 0; part < 4; ++part) {
    const __m128i bytes =
        _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 16 * part));
    const size_t shift = 16 * part;
    masks.cr |= Mask16(bytes, crs) << shift;
    masks.lf |= Mask16(bytes, lfs) << shift;
    masks.zero |= Mask16(bytes, zeros) << shift;
  }
  return masks;
}

// A run of at most 64 bytes, in 16-byte pieces: reads and writes up to 15
// bytes past it, which the callers leave room for.
inline void CopyRun(char *to, const char *from, size_t size) {
  for (size_t at = 0; at < size; at += 16) {
    _mm_storeu_si128(
        reinterpret_cast<__m128i *>(to + at),
        _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + at)));
  }
}
#else
QUILLORY_BLOCK_INLINE BlockMasks MasksOf(const char *block) {
  BlockMasks masks{0, 0, 0};
  for (int j = 0; j < 64; ++j) {
    const uint64_t bit = uint64_t{1} << j;
    if (block[j] == '\r') masks.cr |= bit;
    if (block[j] == '\n') masks.lf |= bit;
    if (block[j] == '\0') masks.zero |= bit;
  }
  return masks;
}

inline void CopyRun(char *to, const char *from, size_t size) {
  memcpy(to, from, size);
}
#endif

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

NoteCounts CountNote(TextView text) {
  const char *data = text.data();
  const size_t size = text.size();
  NoteCounts counts;
  size_t i = 0;
  for (; size - i >= 64; i += 64) {
    const BlockMasks masks = MasksOf(data + i);
    counts.Add(masks.cr, masks.lf, 64);
  }
  if (i < size) {
    uint64_t cr = 0;
    uint64_t lf = 0;
    for (size_t j = 0; i + j < size; ++j) {
      if (data[i + j] == '\r') cr |= uint64_t{1} << j;
      if (data[i + j] == '\n') lf |= uint64_t{1} << j;
    }
    counts.Add(cr, lf, size - i);
  }
  return counts;
}

LineBreakPlan PlanFrom(const NoteCounts &counts, uint64_t size) {
  // With LF: every CR goes and each LF gains one. Without: each CR gains an
  // LF.
  if (counts.lf != 0) {
    return {size - counts.cr + counts.lf, true, counts.Unchanged()};
  }
  return {size + counts.cr, false, counts.Unchanged()};
}

// One pass from the caller's text into out, the same bytes as EraseChar and
// ReplaceAll in turn without their passes over the text; at most out_size
// bytes, and the number written. Blocks without a break or a dropped byte
// go out whole; the runs between them go out in wide pieces.
size_t WriteBreaks(TextView text, bool lf_delimited, char *out,
                   size_t out_size) {
  const char break_byte = lf_delimited ? '\n' : '\r';
  const char *in = text.data();
  const size_t size = text.size();
  size_t i = 0;
  size_t w = 0;
  // Room for a block that doubles, and for the pieces' overreach.
  while (size - i >= 64 + 16 && out_size - w >= 2 * 64 + 16) {
    const BlockMasks masks = MasksOf(in + i);
    uint64_t special = lf_delimited ? (masks.cr | masks.lf) : masks.cr;
    if (special == 0) {
      CopyRun(out + w, in + i, 64);
      i += 64;
      w += 64;
      continue;
    }
    size_t from = 0;
    do {
      const size_t at = LowestBit(special);
      CopyRun(out + w, in + i + from, at - from);
      w += at - from;
      if (in[i + at] == break_byte) {
        out[w++] = '\r';
        out[w++] = '\n';
      }
      from = at + 1;
      special &= special - 1;
    } while (special != 0);
    CopyRun(out + w, in + i + from, 64 - from);
    w += 64 - from;
    i += 64;
  }
  const char drop_byte = '\r';
  for (; i < size && w < out_size; ++i) {
    if (in[i] == break_byte) {
      out[w++] = '\r';
      if (w < out_size) out[w++] = '\n';
    } else if (in[i] != drop_byte) {
      out[w++] = in[i];
    }
  }
  return w;
}

}  // namespace

size_t CountByte(TextView text, char c) { return CountTwo(text, c, c).first; }

LineBreakPlan PlanLineBreaks(TextView text) {
  return PlanFrom(CountNote(text), text.size());
}

// Whole 64-byte blocks from a 64-byte boundary, which never cross into
// another page: the bytes before the text and after its terminator are
// read but never used. AddressSanitizer would call that an overflow, so it
// is told not to look here.
__attribute__((no_sanitize("address"))) NoteScan ScanNote(const char *text) {
  if (text == nullptr) return {TextView(), {0, false, true}};
  NoteCounts counts;
  auto skip = static_cast<size_t>(reinterpret_cast<uintptr_t>(text) & 63u);
  const char *block = text - skip;
  for (;; block += 64, skip = 0) {
    const BlockMasks masks = MasksOf(block);
    const uint64_t valid = ~Below(skip);
    const uint64_t zero = masks.zero & valid;
    const size_t end = zero != 0 ? LowestBit(zero) : 64;
    const uint64_t keep = valid & Below(end);
    if (end > skip) {
      counts.Add((masks.cr & keep) >> skip, (masks.lf & keep) >> skip,
                 end - skip);
    }
    if (zero != 0) {
      const auto size = static_cast<size_t>(block + end - text);
      return {TextView(text, size), PlanFrom(counts, size)};
    }
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
