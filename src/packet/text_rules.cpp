#include "text_rules.h"

#include <cstdint>
#include <cstring>

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

// One pass from the caller's text into the result, which is sized up front:
// the same bytes as EraseChar and ReplaceAll in turn, without their passes
// over the text. Only break and drop bytes take the slow path.
void WriteBreaks(std::string_view text, char break_byte, char drop_byte,
                 char *out) {
  const char *in = text.data();
  const std::size_t size = text.size();
  std::size_t i = 0;
  std::size_t w = 0;
#if defined(__SSE2__)
  const __m128i breaks = _mm_set1_epi8(break_byte);
  const __m128i drops = _mm_set1_epi8(drop_byte);
  while (size - i >= 16) {
    const __m128i block =
        _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
    const int special = _mm_movemask_epi8(_mm_or_si128(
        _mm_cmpeq_epi8(block, breaks), _mm_cmpeq_epi8(block, drops)));
    if (special == 0) {
      // Sixteen plain bytes still to come: the output has room for them.
      _mm_storeu_si128(reinterpret_cast<__m128i *>(out + w), block);
      i += 16;
      w += 16;
      continue;
    }
    const auto plain =
        static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(special)));
    std::memcpy(out + w, in + i, plain);
    w += plain;
    i += plain;
    if (in[i] == break_byte) {
      out[w++] = '\r';
      out[w++] = '\n';
    }
    ++i;
  }
#endif
  for (; i < size; ++i) {
    if (in[i] == break_byte) {
      out[w++] = '\r';
      out[w++] = '\n';
    } else if (in[i] != drop_byte) {
      out[w++] = in[i];
    }
  }
}

}  // namespace

std::size_t CountChar(std::string_view text, char c) {
  const char *data = text.data();
  const std::size_t size = text.size();
  std::size_t count = 0;
  std::size_t i = 0;
#if defined(__SSE2__)
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
    count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
  }
#endif
  for (; i < size; ++i) count += data[i] == c ? 1u : 0u;
  return count;
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

std::string NormalizeLineBreaks(std::string_view text) {
  const std::size_t lf = CountChar(text, '\n');
  const std::size_t cr = CountChar(text, '\r');
  // With LF: every CR goes and each LF gains one. Without: each CR gains an
  // LF. (In the second case the drop byte is the break byte, so it never
  // applies.)
  const bool lf_delimited = lf != 0;
  std::string out(lf_delimited ? text.size() - cr + lf : text.size() + cr,
                  '\0');
  WriteBreaks(text, lf_delimited ? '\n' : '\r', '\r', out.data());
  return out;
}

std::string FormatRecipient(const MapiRecipDesc &recipient) {
  // Presence is the pointer's alone: an empty name still gets its quotes.
  const bool has_name = recipient.lpszName != nullptr;
  const bool has_address = recipient.lpszAddress != nullptr;
  const std::string_view name = has_name ? recipient.lpszName : "";
  const std::string_view address = has_address ? recipient.lpszAddress : "";
  std::string out;
  out.reserve((has_name ? name.size() + 3 : 0) +
              (has_address ? address.size() + 2 : 0));
  if (has_name) {
    out += '"';
    out += name;
    out += "\" ";
  }
  if (has_address) {
    out += '<';
    out += address;
    out += '>';
  }
  return out;
}

}  // namespace quillory
