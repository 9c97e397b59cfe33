#include "mail_packet.h"

#include <cstdint>
#include <string_view>

#include "packet_writer.h"
#include "text_rules.h"

namespace quillory {

namespace {

std::string_view TextOrEmpty(const char *text) {
  return text != nullptr ? std::string_view(text) : std::string_view();
}

// The packet's length, counted before anything is written. Fails for a
// string too long for its 32-bit length, or a whole too large for memory.
struct PacketSize {
  std::uint64_t bytes = 0;
  bool fits = true;

  void Add(std::uint64_t count) {
    if (count > kLimit - bytes) {
      fits = false;
    } else {
      bytes += count;
    }
  }
  void AddString(std::uint64_t count) {
    if (count > PACKET_MAX_STRING_BYTES) fits = false;
    Add(4);
    Add(count);
  }

  static constexpr std::uint64_t kLimit = PTRDIFF_MAX;
};

// A count without its array is read as an empty array, so that the count
// written always matches the entries that follow.
std::uint32_t RecipientCount(const MapiMessage &message) {
  return message.lpRecips != nullptr ? message.nRecipCount : 0;
}

std::uint32_t FileCount(const MapiMessage &message) {
  return message.lpFiles != nullptr ? message.nFileCount : 0;
}

// An absent path still takes its place, as an empty one.
std::string_view PathOf(const MapiFileDesc &file) {
  return TextOrEmpty(file.lpszPathName);
}

}  // namespace

// Sized first, then every record written straight into one buffer of that
// size: no copy of the note, no string per recipient. The caller's texts
// are read twice, so the second pass trusts only what it reads itself.
std::optional<std::string> BuildMailPacket(const MapiMessage &message) {
  const std::string_view subject = TextOrEmpty(message.lpszSubject);
  const std::string_view note = TextOrEmpty(message.lpszNoteText);
  const LineBreakPlan note_plan = PlanLineBreaks(note);
  const std::uint32_t recip_count = RecipientCount(message);
  const std::uint32_t file_count = FileCount(message);

  PacketSize size;
  size.AddString(subject.size());
  size.AddString(note_plan.size);
  size.Add(4);
  for (std::uint32_t i = 0; i < recip_count && size.fits; ++i) {
    size.AddString(FormattedSize(ReadRecipient(message.lpRecips[i])));
  }
  size.Add(4);
  for (std::uint32_t i = 0; i < file_count && size.fits; ++i) {
    size.AddString(PathOf(message.lpFiles[i]).size());
  }
  // A packet with a record left out would be read out of step.
  if (!size.fits) return std::nullopt;

  PacketWriter writer;
  writer.ReserveExactly(static_cast<std::size_t>(size.bytes));
  writer.PutString(subject);
  WriteLineBreaks(
      note, note_plan,
      writer.PutStringSpace(static_cast<std::size_t>(note_plan.size)));
  writer.PutUInt32(recip_count);
  for (std::uint32_t i = 0; i < recip_count; ++i) {
    const RecipientParts parts = ReadRecipient(message.lpRecips[i]);
    const std::uint64_t entry = FormattedSize(parts);
    if (entry > PACKET_MAX_STRING_BYTES) return std::nullopt;
    WriteRecipient(parts,
                   writer.PutStringSpace(static_cast<std::size_t>(entry)));
  }
  writer.PutUInt32(file_count);
  for (std::uint32_t i = 0; i < file_count; ++i) {
    if (writer.PutString(PathOf(message.lpFiles[i])) == 0) return std::nullopt;
  }
  return writer.Finish();
}

}  // namespace quillory
