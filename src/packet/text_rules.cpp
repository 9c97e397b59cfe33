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

// One pass from the caller's text into out, the same bytes as EraseChar and
// ReplaceAll in turn without their passes over the text; at most out_size
// bytes. Only break and drop bytes take the slow path.
void WriteBreaks(TextView text, char break_byte, char drop_byte, char *out,
                 size_t out_size) {
  const char *in = text.data();
  const size_t size = text.size();
  size_t i = 0;
  size_t w = 0;
#if defined(__SSE2__)
  const __m128i breaks = _mm_set1_epi8(break_byte);
  const __m128i drops = _mm_set1_epi8(drop_byte);
  while (size - i >= 16 && out_size - w >= 16) {
    const __m128i block =
        _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
    const int special = _mm_movemask_epi8(_mm_or_si128(
        _mm_cmpeq_epi8(block, breaks), _mm_cmpeq_epi8(block, drops)));
    if (special == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i *>(out + w), block);
      i += 16;
      w += 16;
      continue;
    }
    // The whole block goes out; only its plain head counts.
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + w), block);
    const auto plain =
        static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(special)));
    w += plain;
    i += plain;
    if (in[i] == break_byte) {
      // The loop's check leaves room for the CR; the LF may not fit where
      // the text changed since it was planned.
      out[w++] = '\r';
      if (w == out_size) return;
      out[w++] = '\n';
    }
    ++i;
  }
#endif
  for (; i < size && w < out_size; ++i) {
    if (in[i] == break_byte) {
      out[w++] = '\r';
      if (w < out_size) out[w++] = '\n';
    } else if (in[i] != drop_byte) {
      out[w++] = in[i];
    }
  }
}

}  // namespace

size_t CountByte(TextView text, char c) { return CountTwo(text, c, c).first; }

LineBreakPlan PlanLineBreaks(TextView text) {
  const ByteCounts counts = CountTwo(text, '\n', '\r');
  const size_t lf = counts.first;
  const size_t cr = counts.second;
  // With LF: every CR goes and each LF gains one. Without: each CR gains an
  // LF.
  const uint64_t size = text.size();
  if (lf != 0) return {size - cr + lf, true};
  return {size + cr, false};
}

// (CR-delimited, the drop byte is the break byte, so it never applies.)
void WriteLineBreaks(TextView text, const LineBreakPlan &plan, char *out) {
  WriteBreaks(text, plan.lf_delimited ? '\n' : '\r', '\r', out,
              static_cast<size_t>(plan.size));
}

}  // namespace quillory
