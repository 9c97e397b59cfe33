#include "win32_platform.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

// The library's own load address, from the linker: the module handle is
// taken where it is needed, never saved at load.
extern "C" IMAGE_DOS_HEADER
    __ImageBase;  // NOLINT(bugprone-reserved-identifier)

namespace quillory {

namespace {

WindowHandle FindWindowByClass(void * /*context*/, const wchar_t *class_name) {
  return FindWindowW(class_name, nullptr);
}

// A path that does not fit is reported as such, never cut: a path cut
// short names another folder, where another program could have been
// planted.
size_t GetOwnModulePath(void * /*context*/, wchar_t *buffer, size_t capacity) {
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
  constexpr DWORD kNotAFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
  return (attributes & kNotAFile) != 0 ? PathKind::kOther : PathKind::kFile;
}

void ShellStart(void * /*context*/, const wchar_t *verb, const wchar_t *path) {
  ShellExecuteW(nullptr, verb, path, nullptr, nullptr, SW_SHOWNORMAL);
}

// Sent messages only: the caller's posted and input messages stay queued
// for its own loop. Sent messages are answered during the send as well, so
// this adds no kind of re-entry the caller does not already get.
void SleepFor(void * /*context*/, uint32_t milliseconds) {
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

void AllowForeground(void * /*context*/, uint32_t process_id) {
  AllowSetForegroundWindow(process_id);
}

bool SendCopyData(void *context, WindowHandle window, uintptr_t data_id,
                  const void *data, uint32_t size, uintptr_t *reply) {
  const auto *settings = static_cast<const Win32PlatformSettings *>(context);
  COPYDATASTRUCT copy_data;
  copy_data.dwData = data_id;
  copy_data.cbData = size;
  copy_data.lpData = const_cast<void *>(data);
  DWORD_PTR answer = 0;
  const ULONGLONG start = GetTickCount64();
  SetLastError(ERROR_SUCCESS);
  if (SendMessageTimeoutW(static_cast<HWND>(window), WM_COPYDATA, 0,
                          reinterpret_cast<LPARAM>(&copy_data),
                          SMTO_ABORTIFHUNG, settings->send_timeout_ms,
                          &answer) != 0) {
    *reply = answer;
    return true;
  }
  // Failing before the bound means the message never got through: the
  // window was gone or the client hung. At the bound the system withdraws
  // a message the client never picked up; one it took runs on. A client
  // that took it and holds it (a compose window, say) still reads its
  // messages, so it is not hung; one that never read it has read nothing
  // since the send began. The tick count runs in steps of up to 16 ms,
  // hence the slack.
  const ULONGLONG elapsed = GetTickCount64() - start;
  if (GetLastError() != ERROR_TIMEOUT ||
      elapsed + 100 < settings->send_timeout_ms) {
    return false;
  }
  auto *const hwnd = static_cast<HWND>(window);
  *reply = 1;
  return IsWindow(hwnd) != FALSE && IsHungAppWindow(hwnd) == FALSE;
}

bool WindowExists(void * /*context*/, WindowHandle window) {
  return IsWindow(static_cast<HWND>(window)) != FALSE;
}

}  // namespace

HandOffPlatform Win32HandOffPlatform(const Win32PlatformSettings *settings) {
  HandOffPlatform platform;
  platform.context = const_cast<Win32PlatformSettings *>(settings);
  platform.find_window = FindWindowByClass;
  platform.get_module_path = GetOwnModulePath;
  platform.path_kind = KindOfPath;
  platform.shell_execute = ShellStart;
  platform.sleep = SleepFor;
  platform.window_process_id = WindowProcessId;
  platform.allow_set_foreground = AllowForeground;
  platform.send_copy_data = SendCopyData;
  platform.window_exists = WindowExists;
  return platform;
}

}  // namespace quillory
