#include "text_rules.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillory {

namespace {

std::size_t CountOccurrences(std::string_view text, std::string_view needle) {
  std::size_t count = 0;
  for (std::size_t at = text.find(needle); at != std::string_view::npos;
       at = text.find(needle, at + needle.size())) {
    ++count;
  }
  return count;
}

struct ByteCounts {
  std::size_t first;
  std::size_t second;
};

// Both counts in one pass over the text.
ByteCounts CountTwo(std::string_view text, char first, char second) {
  const char *data = text.data();
  const std::size_t size = text.size();
  ByteCounts counts{0, 0};
  std::size_t i = 0;
#if defined(__SSE2__)
  // Byte-wide tallies, folded into the totals before any can overflow.
  const __m128i firsts = _mm_set1_epi8(first);
  const __m128i seconds = _mm_set1_epi8(second);
  const auto fold = [](__m128i tally) {
    const __m128i sums = _mm_sad_epu8(tally, _mm_setzero_si128());
    return static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
           static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
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

// Moves text[read, size) to the front, replacing each needle on the way,
// and cuts the text after it. With the original text moved up by exactly
// the growth its replacements need, the writer never overtakes the reader,
// so one forward pass works inside the text's own storage.
void ReplaceToFront(std::string &text, std::size_t read,
                    std::string_view needle, std::string_view replacement) {
  char *data = text.data();
  const std::string_view source(data, text.size());
  std::size_t write = 0;
  for (std::size_t at = source.find(needle, read); at != std::string_view::npos;
       at = source.find(needle, read)) {
    std::memmove(data + write, data + read, at - read);
    write += at - read;
    std::memcpy(data + write, replacement.data(), replacement.size());
    write += replacement.size();
    read = at + needle.size();
  }
  std::memmove(data + write, data + read, text.size() - read);
  text.resize(write + text.size() - read);
}

// One pass from the caller's text into out, the same bytes as EraseChar and
// ReplaceAll in turn without their passes over the text; at most out_size
// bytes. Only break and drop bytes take the slow path.
void WriteBreaks(std::string_view text, char break_byte, char drop_byte,
                 char *out, std::size_t out_size) {
  const char *in = text.data();
  const std::size_t size = text.size();
  std::size_t i = 0;
  std::size_t w = 0;
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
        static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(special)));
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

std::size_t CountChar(std::string_view text, char c) {
  return CountTwo(text, c, c).first;
}

void EraseChar(std::string &text, char c) {
  char *data = text.data();
  const std::size_t size = text.size();
  const auto *first = static_cast<char *>(std::memchr(data, c, size));
  if (first == nullptr) return;
  auto write = static_cast<std::size_t>(first - data);
  std::size_t read = write + 1;
  while (read < size) {
    const void *next = std::memchr(data + read, c, size - read);
    const std::size_t end =
        next != nullptr
            ? static_cast<std::size_t>(static_cast<const char *>(next) - data)
            : size;
    std::memmove(data + write, data + read, end - read);
    write += end - read;
    read = end + 1;
  }
  text.resize(write);
}

std::size_t ReplaceAll(std::string &text, std::string_view needle,
                       std::string_view replacement) {
  if (needle.empty()) return 0;
  const std::size_t count = CountOccurrences(text, needle);
  if (count == 0) return 0;
  std::size_t read = 0;
  if (replacement.size() > needle.size()) {
    const std::size_t old_size = text.size();
    read = count * (replacement.size() - needle.size());
    text.resize(old_size + read);
    std::memmove(&text[read], text.data(), old_size);
  }
  ReplaceToFront(text, read, needle, replacement);
  return count;
}

LineBreakPlan PlanLineBreaks(std::string_view text) {
  const ByteCounts counts = CountTwo(text, '\n', '\r');
  const std::size_t lf = counts.first;
  const std::size_t cr = counts.second;
  // With LF: every CR goes and each LF gains one. Without: each CR gains an
  // LF.
  const std::uint64_t size = text.size();
  if (lf != 0) return {size - cr + lf, true};
  return {size + cr, false};
}

// (CR-delimited, the drop byte is the break byte, so it never applies.)
void WriteLineBreaks(std::string_view text, const LineBreakPlan &plan,
                     char *out) {
  WriteBreaks(text, plan.lf_delimited ? '\n' : '\r', '\r', out,
              static_cast<std::size_t>(plan.size));
}

std::string NormalizeLineBreaks(std::string_view text) {
  const LineBreakPlan plan = PlanLineBreaks(text);
  std::string out;
  if (plan.size > out.max_size()) throw std::length_error("text too long");
  out.resize(static_cast<std::size_t>(plan.size));
  WriteLineBreaks(text, plan, out.data());
  return out;
}

std::string FormatRecipient(const MapiRecipDesc &recipient) {
  const RecipientParts parts = ReadRecipient(recipient);
  const std::uint64_t size = FormattedSize(parts);
  std::string out;
  // As the string itself would refuse it, before a 32-bit size wraps.
  if (size > out.max_size()) throw std::length_error("recipient too long");
  out.resize(static_cast<std::size_t>(size));
  WriteRecipient(parts, out.data());
  return out;
}

}  // namespace quillory
