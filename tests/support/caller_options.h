#ifndef QUILLORY_CALLER_OPTIONS_H
#define QUILLORY_CALLER_OPTIONS_H

// The test caller's command line as a plain record, parsed without Windows
// so that the native unit tests run every good and bad form of it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillory_test {

// One --to, --cc or --bcc, taken apart as a mail-enabled program fills
// lpszName and lpszAddress: a part not given stays absent.
struct CallerRecipient {
  std::uint32_t recip_class = 0;
  std::optional<std::wstring> name;
  std::optional<std::wstring> address;
};

struct CallerAttachment {
  std::wstring path;
  std::optional<std::wstring> file_name;
};

struct CallerOptions {
  bool help = false;
  std::wstring dll;
  bool mapi32 = false;
  // A sample's name, or "null"; empty when none was named.
  std::wstring message;
  std::uint32_t flags = 0;
  std::uint64_t session = 0;
  std::wstring out = L".";
  bool kill_clients = false;
  int bench = 0;
  int repeat = 0;
  std::uint32_t handoff_timeout_ms = 0;
  bool send_raw = false;
  bool send_empty = false;
  std::uint64_t raw_data_id = 0;
  std::uint32_t busy_client_ms = 0;
  bool own_window = false;
  bool fail_malloc = false;
  // A message of the user's own: any of these set makes one.
  std::optional<std::wstring> subject;
  std::optional<std::wstring> note;
  std::optional<std::wstring> note_file;
  std::vector<CallerRecipient> recipients;
  std::vector<CallerAttachment> attachments;
};

// Whether the command line asks for a message of the user's own.
bool HasOwnMessage(const CallerOptions &options);

// argv[1] on. False with one line in *error (naming the option, ending
// "see --help") for an unknown option, one without its value, a value out
// of form or range, and options that exclude each other.
bool ParseCallerOptions(int argc, const wchar_t *const *argv,
                        CallerOptions *options, std::wstring *error);

// What --help prints: every option and every sample message, one line each.
std::string CallerHelp();

}  // namespace quillory_test

#endif
