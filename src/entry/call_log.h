#ifndef QUILLORY_CALL_LOG_H
#define QUILLORY_CALL_LOG_H

#include <stddef.h>
#include <stdint.h>

#include "entry/send_mail.h"

namespace quillory {

// The Application log's source; its messages are the DLL's message table
// (quillory_events.mc), which the installers register.
inline constexpr wchar_t EVENT_SOURCE[] = L"Quillory MAPI";
// A program that keeps failing writes at most this many events a minute;
// the next event after such a minute says how many were left out.
inline constexpr uint32_t EVENTS_PER_MINUTE = 5;
inline constexpr uint32_t LEFT_OUT_EVENT_ID = 100;
// A failure's event strings, numbered as its message numbers them: what
// failed, system error code and text, milliseconds, client path and
// process, program path and process, provider version and architecture.
inline constexpr uint16_t EVENT_STRING_COUNT = 10;

enum class EventType { kError, kWarning };

// Where a call's report goes: the Application log and the debug output in
// the library, a recording fake in the tests.
struct LogPlatform {
  void *context;
  const wchar_t *version;
  const wchar_t *architecture;
  uint64_t (*now_ms)(void *context);
  // One event under EVENT_SOURCE. Whether it was written is not reported:
  // an unregistered source or a caller that may not write the log changes
  // nothing about the call.
  void (*write_event)(void *context, EventType type, uint32_t event_id,
                      const wchar_t *const *strings, uint16_t count);
  void (*write_debug_line)(void *context, const wchar_t *line);
  // Whether anything reads the debug output: a debugger attached (asked
  // at every success), or a listener of the kind DebugView is (a look at
  // named objects, as dear as the send itself under Wine: asked at most
  // once a second).
  bool (*debugger_attached)(void *context);
  bool (*debug_listener)(void *context);
  // The system's text for code into buffer, zero-terminated; its length,
  // 0 when there is none that fits.
  size_t (*error_text)(void *context, uint32_t code, wchar_t *buffer,
                       size_t capacity);
  // The calling program's path into buffer, cut to fit; its length.
  size_t (*program_path)(void *context, wchar_t *buffer, size_t capacity);
  uint32_t (*process_id)(void *context);
};

// Per process, shared by every thread, all zero at the start: the minute
// of the last event (upper 24 bits) with the events written in it (lower
// 8); the failures left out since the last event; and the second of the
// last look for a debug listener (upper 30 bits), with whether it was
// made (bit 1) and found one (bit 0).
struct LogState {
  uint32_t minute_and_count;
  uint32_t left_out;
  uint32_t listener_look;
};

// The event a failure writes, and what failed in words; 0 and null for
// kDelivered.
uint32_t EventIdOf(Outcome outcome);
const wchar_t *OutcomeWords(Outcome outcome);

// A line in the debug output for every failed call, and for every
// delivery while anything reads it; an error event for a failed call,
// within the cap. Never anything of the message's content, and no storage
// from the heap.
void LogCall(const LogPlatform &platform, LogState *state,
             const SendMailResult &result, uint32_t elapsed_ms);

}  // namespace quillory

#endif
