#include "entry/call_log.h"

namespace quillory {

namespace {

struct OutcomeEvent {
  uint32_t event_id;
  const wchar_t *words;
};

// By Outcome's value; the ids are the message table's and never change.
constexpr OutcomeEvent OUTCOME_EVENTS[] = {
    {0, nullptr},
    {1, L"the calling program passed no message"},
    {2,
     L"the message is too large to hand over: a text or the whole packet is "
     L"4 GiB or more"},
    {3, L"there was no memory for the message's packet"},
    {4,
     L"the provider could not read its own path, so it did not start "
     L"Quillory.exe"},
    {5,
     L"Quillory.exe was not started: its path is not a full path, is 260 "
     L"characters or longer, or holds %"},
    {6,
     L"Quillory.exe beside the provider is a folder or a device, not a "
     L"program"},
    {7,
     L"Quillory.exe could not be started, and no client window appeared "
     L"in 30 s"},
    {8,
     L"Quillory.exe was started, but no client window "
     L"(class " QUILLORY_WINDOW_CLASS_W L") "
     L"appeared in 30 s"},
    {9, L"the client's window went away before the message reached it"},
    {10, L"the client is not responding (hung), so the message was not sent"},
    {11,
     L"the client had not taken the message when the 5-minute bound ran out, "
     L"and was not responding"},
    {12,
     L"the system refused to deliver the message to the client's window (a "
     L"client running elevated that lets no message in, or a message too "
     L"large for the system)"},
};
constexpr size_t OUTCOME_COUNT =
    sizeof(OUTCOME_EVENTS) / sizeof(OUTCOME_EVENTS[0]);
static_assert(static_cast<size_t>(Outcome::kSendRefused) + 1 == OUTCOME_COUNT,
              "an event for every outcome");

constexpr uint32_t MINUTES_MASK = 0xFFFFFFu;
constexpr size_t NUMBER_CAPACITY = 24;
constexpr size_t ERROR_TEXT_CAPACITY = 256;
// The calling program's path is cut here: it only identifies the caller.
constexpr size_t PROGRAM_CAPACITY = MAX_SHELL_PATH;
constexpr size_t LINE_CAPACITY = 1536;

// Zero-terminated text in a fixed buffer; what does not fit is cut.
struct Text {
  wchar_t *data;
  size_t capacity;
  size_t length;
};

// Out of line, as is FormatNumber: called a score of times, copies of
// either would make the logging larger than the rest of the DLL.
__attribute__((noinline)) void Append(Text &text, const wchar_t *part) {
  for (; *part != L'\0' && text.length + 1 < text.capacity; ++part) {
    text.data[text.length++] = *part;
  }
  text.data[text.length] = L'\0';
}

__attribute__((noinline)) void FormatNumber(uint64_t value,
                                            wchar_t (&out)[NUMBER_CAPACITY]) {
  wchar_t digits[NUMBER_CAPACITY];
  size_t count = 0;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (size_t i = 0; i < count; ++i) out[i] = digits[count - 1 - i];
  out[count] = L'\0';
}

void AppendNumber(Text &text, uint64_t value) {
  wchar_t number[NUMBER_CAPACITY];
  FormatNumber(value, number);
  Append(text, number);
}

// Whether this failure may write its event now, by the minute of now_ms.
// The first event of a minute takes, into *left_out, the failures left
// out before it. Lock-free: any thread may fail at any time.
bool TakeEventSlot(LogState *state, uint64_t now_ms, uint32_t *left_out) {
  *left_out = 0;
  const auto minute = static_cast<uint32_t>(now_ms / 60000) & MINUTES_MASK;
  uint32_t seen = __atomic_load_n(&state->minute_and_count, __ATOMIC_ACQUIRE);
  for (;;) {
    const uint32_t written = (seen >> 8) == minute ? (seen & 0xFFu) : 0;
    if (written >= EVENTS_PER_MINUTE) {
      __atomic_fetch_add(&state->left_out, 1u, __ATOMIC_ACQ_REL);
      return false;
    }
    const uint32_t next = (minute << 8) | (written + 1);
    if (__atomic_compare_exchange_n(&state->minute_and_count, &seen, next,
                                    false, __ATOMIC_ACQ_REL,
                                    __ATOMIC_ACQUIRE)) {
      if (written == 0) {
        *left_out = __atomic_exchange_n(&state->left_out, 0u, __ATOMIC_ACQ_REL);
      }
      return true;
    }
  }
}

// Looked for again once a second: a listener started meanwhile is
// served from then on.
bool SomeoneReadsDebugOutput(const LogPlatform &platform, LogState *state,
                             uint64_t now_ms) {
  if (platform.debugger_attached(platform.context)) return true;
  const auto second = static_cast<uint32_t>(now_ms / 1000) & 0x3FFFFFFFu;
  const uint32_t seen =
      __atomic_load_n(&state->listener_look, __ATOMIC_ACQUIRE);
  if ((seen & 2u) != 0 && (seen >> 2) == second) return (seen & 1u) != 0;
  const bool found = platform.debug_listener(platform.context);
  __atomic_store_n(&state->listener_look,
                   (second << 2) | 2u | (found ? 1u : 0u), __ATOMIC_RELEASE);
  return found;
}

void LogDelivery(const LogPlatform &platform, LogState *state,
                 const SendMailResult &result, uint32_t elapsed_ms) {
  if (!SomeoneReadsDebugOutput(platform, state,
                               platform.now_ms(platform.context))) {
    return;
  }
  wchar_t buffer[160];
  Text line{buffer, sizeof(buffer) / sizeof(buffer[0]), 0};
  Append(line, L"Quillory MAPI: delivered to the client's window (process ");
  AppendNumber(line, result.hand_off.process_id);
  Append(line, L"), ");
  AppendNumber(line, result.packet_size);
  Append(line, L" bytes, ");
  AppendNumber(line, elapsed_ms);
  Append(line, L" ms\r\n");
  platform.write_debug_line(platform.context, line.data);
}

// The failure's strings, in EVENT_STRING_COUNT order; the storage they
// point into lives with it.
struct FailureStrings {
  const wchar_t *strings[EVENT_STRING_COUNT];
  wchar_t error_code[NUMBER_CAPACITY];
  wchar_t error_text[ERROR_TEXT_CAPACITY];
  wchar_t elapsed[NUMBER_CAPACITY];
  wchar_t client_process[NUMBER_CAPACITY];
  wchar_t program[PROGRAM_CAPACITY];
  wchar_t process[NUMBER_CAPACITY];
};

void MakeFailureStrings(const LogPlatform &platform,
                        const SendMailResult &result, uint32_t elapsed_ms,
                        FailureStrings &out) {
  const HandOffFacts &facts = result.hand_off;
  out.error_text[0] = L'\0';
  if (facts.system_error == 0) {
    Text none{out.error_code, NUMBER_CAPACITY, 0};
    Append(none, L"none");
  } else {
    FormatNumber(facts.system_error, out.error_code);
    size_t length = platform.error_text(platform.context, facts.system_error,
                                        out.error_text, ERROR_TEXT_CAPACITY);
    if (length >= ERROR_TEXT_CAPACITY) length = 0;
    // The system's texts end in a line break, or in a space where the
    // break was taken out.
    while (length > 0 && (out.error_text[length - 1] == L' ' ||
                          out.error_text[length - 1] == L'\r' ||
                          out.error_text[length - 1] == L'\n')) {
      --length;
    }
    out.error_text[length] = L'\0';
  }
  FormatNumber(elapsed_ms, out.elapsed);
  if (facts.process_id == 0) {
    Text none{out.client_process, NUMBER_CAPACITY, 0};
    Append(none, L"none");
  } else {
    FormatNumber(facts.process_id, out.client_process);
  }
  size_t program =
      platform.program_path(platform.context, out.program, PROGRAM_CAPACITY);
  if (program >= PROGRAM_CAPACITY) program = PROGRAM_CAPACITY - 1;
  out.program[program] = L'\0';
  FormatNumber(platform.process_id(platform.context), out.process);

  out.strings[0] = OutcomeWords(result.outcome);
  out.strings[1] = out.error_code;
  out.strings[2] = out.error_text;
  out.strings[3] = out.elapsed;
  out.strings[4] = facts.client_path[0] != L'\0' ? facts.client_path : L"none";
  out.strings[5] = out.client_process;
  out.strings[6] = out.program;
  out.strings[7] = out.process;
  out.strings[8] = platform.version;
  out.strings[9] = platform.architecture;
}

// The event's facts on one line, the failure and its error first: some
// viewers show only a line's start. A frame of its own: with the strings'
// it would pass a page, which takes a stack probe, and the ARM64 build
// has no runtime to supply one.
__attribute__((noinline)) void WriteFailureLine(const LogPlatform &platform,
                                                const SendMailResult &result,
                                                const FailureStrings &s) {
  wchar_t buffer[LINE_CAPACITY];
  Text line{buffer, LINE_CAPACITY, 0};
  Append(line, L"Quillory MAPI: ");
  Append(line, s.strings[0]);
  if (result.hand_off.system_error != 0) {
    Append(line, L"; system error ");
    Append(line, s.error_code);
    if (s.error_text[0] != L'\0') {
      Append(line, L": ");
      Append(line, s.error_text);
    }
  }
  Append(line, L"; ");
  Append(line, s.elapsed);
  Append(line, L" ms");
  const HandOffFacts &facts = result.hand_off;
  if (facts.client_path[0] != L'\0' || facts.process_id != 0) {
    Append(line, L"; client ");
    Append(line, facts.client_path[0] != L'\0' ? facts.client_path : L"window");
    if (facts.process_id != 0) {
      Append(line, L" (process ");
      Append(line, s.client_process);
      Append(line, L")");
    }
  }
  Append(line, L"; program ");
  Append(line, s.program);
  Append(line, L" (process ");
  Append(line, s.process);
  Append(line, L"); Quillory_MapiDll ");
  Append(line, platform.version);
  Append(line, L" ");
  Append(line, platform.architecture);
  Append(line, L"\r\n");
  platform.write_debug_line(platform.context, line.data);
}

void LogFailure(const LogPlatform &platform, LogState *state,
                const SendMailResult &result, uint32_t elapsed_ms) {
  FailureStrings strings;
  MakeFailureStrings(platform, result, elapsed_ms, strings);
  WriteFailureLine(platform, result, strings);
  uint32_t left_out = 0;
  if (!TakeEventSlot(state, platform.now_ms(platform.context), &left_out)) {
    return;
  }
  if (left_out > 0) {
    wchar_t count[NUMBER_CAPACITY];
    FormatNumber(left_out, count);
    const wchar_t *const summary[] = {count};
    platform.write_event(platform.context, EventType::kWarning,
                         LEFT_OUT_EVENT_ID, summary, 1);
  }
  platform.write_event(platform.context, EventType::kError,
                       EventIdOf(result.outcome), strings.strings,
                       EVENT_STRING_COUNT);
}

}  // namespace

uint32_t EventIdOf(Outcome outcome) {
  return OUTCOME_EVENTS[static_cast<size_t>(outcome)].event_id;
}

const wchar_t *OutcomeWords(Outcome outcome) {
  return OUTCOME_EVENTS[static_cast<size_t>(outcome)].words;
}

void LogCall(const LogPlatform &platform, LogState *state,
             const SendMailResult &result, uint32_t elapsed_ms) {
  if (result.outcome == Outcome::kDelivered) {
    LogDelivery(platform, state, result, elapsed_ms);
  } else {
    LogFailure(platform, state, result, elapsed_ms);
  }
}

}  // namespace quillory
