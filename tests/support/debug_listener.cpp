// A listener of the kind DebugView is: it takes each string that
// OutputDebugString hands over in this session (the DBWIN_BUFFER section
// and its two events) and appends it, after the writer's process id, to
// FILE, whose first line, "ready", says it listens. Runs until it is
// ended.
//   debug_listener FILE
#include <windows.h>

#include <cstring>
#include <string>

namespace {

bool Append(HANDLE file, const std::string &text) {
  DWORD written = 0;
  return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written,
                   nullptr) != FALSE;
}

}  // namespace

int wmain(int argc, wchar_t **argv) {
  if (argc != 2) return 2;
  HANDLE buffer_ready =
      CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
  HANDLE data_ready = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
  HANDLE section = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr,
                                      PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER");
  if (buffer_ready == nullptr || data_ready == nullptr || section == nullptr) {
    return 1;
  }
  const auto *view =
      static_cast<const char *>(MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0));
  HANDLE out =
      CreateFileW(argv[1], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (view == nullptr || out == INVALID_HANDLE_VALUE ||
      !Append(out, "ready\r\n")) {
    return 1;
  }
  // The writer's process id, then its string, zero-terminated.
  for (;;) {
    SetEvent(buffer_ready);
    if (WaitForSingleObject(data_ready, INFINITE) != WAIT_OBJECT_0) return 1;
    DWORD process = 0;
    std::memcpy(&process, view, sizeof process);
    const char *text = view + sizeof process;
    std::string line = std::to_string(process) + " " +
                       std::string(text, strnlen(text, 4096 - sizeof process));
    if (line.back() != '\n') line += "\r\n";
    Append(out, line);
  }
}
