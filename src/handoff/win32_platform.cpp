#include "handoff/win32_platform.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

// The library's own load address, from the linker: the module handle is
// taken where it is needed, never saved at load.
extern "C" IMAGE_DOS_HEADER
    __ImageBase;  // NOLINT(bugprone-reserved-identifier)

namespace quillory {

namespace {

WindowHandle FindClientWindow(void * /*context*/, const wchar_t *class_name) {
  return FindWindowW(class_name, nullptr);
}

// A path that does not fit is reported as such, never cut: a path cut
// short names another folder, where another program could have been
// planted.
size_t GetModulePath(void * /*context*/, wchar_t *buffer, size_t capacity) {
  auto *const self = reinterpret_cast<HMODULE>(&__ImageBase);
  const auto size = static_cast<DWORD>(capacity);
  SetLastError(ERROR_SUCCESS);
  const DWORD length = GetModuleFileNameW(self, buffer, size);
  if (length == 0) return 0;
  if (length >= size || GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    return capacity;
  }
  return length;
}

PathKind KindOfPath(void * /*context*/, const wchar_t *path) {
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  constexpr DWORD NOT_A_FILE = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
  return (attributes & NOT_A_FILE) != 0 ? PathKind::kOther : PathKind::kFile;
}

// A result above 32 is a start; at or below it, the system's last error,
// or the result itself (an SE_ERR_ code, most of them system codes too)
// where the shell set none.
uint32_t LaunchClient(void * /*context*/, const wchar_t *verb,
                      const wchar_t *path) {
  SetLastError(ERROR_SUCCESS);
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, verb, path, nullptr, nullptr, SW_SHOWNORMAL));
  if (result > 32) return 0;
  const DWORD error = GetLastError();
  return error != ERROR_SUCCESS ? error : static_cast<uint32_t>(result);
}

// Sent messages only: the caller's posted and input messages stay queued
// for its own loop. Sent messages are answered during the send as well, so
// this adds no kind of re-entry the caller does not already get.
void Pause(void * /*context*/, uint32_t milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
    const auto left = static_cast<DWORD>(end - now);
    const DWORD woke =
        MsgWaitForMultipleObjects(0, nullptr, FALSE, left, QS_SENDMESSAGE);
    if (woke == WAIT_OBJECT_0) {
      MSG message;
      PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    } else if (woke != WAIT_TIMEOUT) {
      // Never a busy loop, whatever the wait says.
      Sleep(left);
    }
  }
}

uint32_t WindowProcessId(void * /*context*/, WindowHandle window) {
  DWORD process_id = 0;
  GetWindowThreadProcessId(static_cast<HWND>(window), &process_id);
  return process_id;
}

void AllowSetForeground(void * /*context*/, uint32_t process_id) {
  AllowSetForegroundWindow(process_id);
}

CopyDataSend SendCopyData(void * /*context*/, WindowHandle window,
                          uintptr_t data_id, const void *data, uint32_t size,
                          uint32_t timeout_ms) {
  COPYDATASTRUCT copy_data;
  copy_data.dwData = data_id;
  copy_data.cbData = size;
  copy_data.lpData = const_cast<void *>(data);
  DWORD_PTR answer = 0;
  const ULONGLONG start = GetTickCount64();
  SetLastError(ERROR_SUCCESS);
  const LRESULT sent =
      SendMessageTimeoutW(static_cast<HWND>(window), WM_COPYDATA, 0,
                          reinterpret_cast<LPARAM>(&copy_data),
                          SMTO_ABORTIFHUNG, timeout_ms, &answer);
  const DWORD error = sent != 0 ? ERROR_SUCCESS : GetLastError();
  const ULONGLONG elapsed = GetTickCount64() - start;
  CopyDataSend facts;
  facts.sent = sent != 0;
  facts.reply = answer;
  facts.error = error;
  facts.elapsed_ms =
      elapsed > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(elapsed);
  return facts;
}

bool WindowExists(void * /*context*/, WindowHandle window) {
  return IsWindow(static_cast<HWND>(window)) != FALSE;
}

bool WindowIsHung(void * /*context*/, WindowHandle window) {
  return IsHungAppWindow(static_cast<HWND>(window)) != FALSE;
}

}  // namespace

HandOffPlatform Win32HandOffPlatform(uint32_t send_timeout_ms) {
  HandOffPlatform platform;
  platform.context = nullptr;
  platform.send_timeout_ms = send_timeout_ms;
  platform.find_client_window = FindClientWindow;
  platform.get_module_path = GetModulePath;
  platform.kind_of_path = KindOfPath;
  platform.launch_client = LaunchClient;
  platform.pause = Pause;
  platform.window_process_id = WindowProcessId;
  platform.allow_set_foreground = AllowSetForeground;
  platform.send_copy_data = SendCopyData;
  platform.window_exists = WindowExists;
  platform.window_is_hung = WindowIsHung;
  return platform;
}

}  // namespace quillory
