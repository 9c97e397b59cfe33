#include "entry/win32_log.h"

#include <windows.h>

namespace quillory {

namespace {

uint64_t NowMs(void * /*context*/) { return GetTickCount64(); }

// Opened for each event and closed again: nothing is held for the
// process, so nothing is left to close when the DLL is unloaded, and a
// call that succeeds never opens it. A caller that may not write the log
// gets no handle, and that is all.
void WriteEvent(void * /*context*/, EventType type, uint32_t event_id,
                const wchar_t *const *strings, uint16_t count) {
  HANDLE source = RegisterEventSourceW(nullptr, EVENT_SOURCE);
  if (source == nullptr) return;
  ReportEventW(
      source,
      type == EventType::kError ? EVENTLOG_ERROR_TYPE : EVENTLOG_WARNING_TYPE,
      0, event_id, nullptr, count, 0, const_cast<LPCWSTR *>(strings), nullptr);
  DeregisterEventSource(source);
}

void WriteDebugLine(void * /*context*/, const wchar_t *line) {
  OutputDebugStringW(line);
}

bool DebuggerAttached(void * /*context*/) {
  return IsDebuggerPresent() != FALSE;
}

// The buffer OutputDebugStringW writes into, under the name it opens: there
// while DebugView or the like listens.
bool DebugListener(void * /*context*/) {
  HANDLE buffer = OpenFileMappingW(FILE_MAP_WRITE, FALSE, L"DBWIN_BUFFER");
  if (buffer == nullptr) return false;
  CloseHandle(buffer);
  return true;
}

// One line: the system's texts hold line breaks of their own.
size_t ErrorText(void * /*context*/, uint32_t code, wchar_t *buffer,
                 size_t capacity) {
  return FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
          FORMAT_MESSAGE_MAX_WIDTH_MASK,
      nullptr, code, 0, buffer, static_cast<DWORD>(capacity), nullptr);
}

size_t ProgramPath(void * /*context*/, wchar_t *buffer, size_t capacity) {
  return GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(capacity));
}

uint32_t ProcessId(void * /*context*/) { return GetCurrentProcessId(); }

}  // namespace

// The version and the install name's suffix come from the build.
LogPlatform Win32LogPlatform() {
  LogPlatform platform;
  platform.context = nullptr;
  platform.version = L"" QUILLORY_VERSION_TEXT;
  platform.architecture = L"" QUILLORY_ARCHITECTURE_TEXT;
  platform.now_ms = NowMs;
  platform.write_event = WriteEvent;
  platform.write_debug_line = WriteDebugLine;
  platform.debugger_attached = DebuggerAttached;
  platform.debug_listener = DebugListener;
  platform.error_text = ErrorText;
  platform.program_path = ProgramPath;
  platform.process_id = ProcessId;
  return platform;
}

}  // namespace quillory
