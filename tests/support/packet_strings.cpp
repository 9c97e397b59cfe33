#include "packet_strings.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>

#include "packet/mail_packet.h"
#include "packet/text_rules.h"

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

}  // namespace

std::size_t CountChar(std::string_view text, char c) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), c));
}

// Byte by byte: the DLL's vector passes read zero-terminated notes, and
// this plain count is what the tests hold them to.
LineBreakPlan PlanLineBreaks(std::string_view text) {
  std::size_t cr = 0;
  std::size_t lf = 0;
  bool pairs_only = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      ++cr;
      if (i + 1 == text.size() || text[i + 1] != '\n') pairs_only = false;
    } else if (text[i] == '\n') {
      ++lf;
      if (i == 0 || text[i - 1] != '\r') pairs_only = false;
    }
  }
  const bool unchanged = (cr == 0 && lf == 0) || pairs_only;
  const std::uint64_t size = text.size();
  if (lf != 0) return {size - cr + lf, true, unchanged};
  return {size + cr, false, unchanged};
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

std::optional<std::string> BuildMailPacketBytes(const MapiMessage &message) {
  PacketBuild built = BuildMailPacket(message, SystemAllocator());
  if (built.status == PacketStatus::kOutOfMemory) throw std::bad_alloc();
  if (built.status != PacketStatus::kBuilt) return std::nullopt;
  return std::string(built.packet.data(), built.packet.size());
}

}  // namespace quillory
