#include "handoff.h"

namespace quillory {

namespace {

constexpr uint64_t kMaxCopyDataBytes = 0xFFFFFFFFu;
constexpr size_t kExeNameLength =
    sizeof(CLIENT_EXE_NAME) / sizeof(CLIENT_EXE_NAME[0]) - 1;

bool IsLetter(wchar_t c) {
  return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// After a launch: look every LAUNCH_POLL_INTERVAL_MS, at most
// LAUNCH_POLL_LIMIT times, and let a window that appeared settle. A client
// may replace its first window while it finishes starting, so the window
// is looked up again after the settle pause.
WindowHandle WaitForClientWindow(const HandOffPlatform &platform) {
  for (uint32_t look = 0; look < LAUNCH_POLL_LIMIT; ++look) {
    platform.sleep(platform.context, LAUNCH_POLL_INTERVAL_MS);
    if (FindClientWindow(platform) != nullptr) {
      platform.sleep(platform.context, LAUNCH_SETTLE_MS);
      return FindClientWindow(platform);
    }
  }
  return nullptr;
}

}  // namespace

// The shell takes a path literally only below MAX_PATH and without %:
// longer ones fail (or overflow the shell's stack), and %NAME% is expanded
// from the caller's environment, which could point anywhere.
bool IsLaunchablePath(const wchar_t *path, size_t length) {
  if (!IsAbsoluteWindowsPath(path, length) || length >= MAX_SHELL_PATH) {
    return false;
  }
  for (size_t i = 0; i < length; ++i) {
    if (path[i] == L'%') return false;
  }
  return true;
}

// Drive-rooted ("C:\...") or UNC / device ("\\server\...", "\\?\...").
bool IsAbsoluteWindowsPath(const wchar_t *path, size_t length) {
  if (length >= 3 && IsLetter(path[0]) && path[1] == L':' && path[2] == L'\\') {
    return true;
  }
  return length >= 3 && path[0] == L'\\' && path[1] == L'\\' &&
         path[2] != L'\\';
}

WindowHandle FindClientWindow(const HandOffPlatform &platform) {
  return platform.find_window(platform.context, CLIENT_WINDOW_CLASS);
}

size_t GetModuleDirectory(const HandOffPlatform &platform, wchar_t *buffer) {
  const size_t length =
      platform.get_module_path(platform.context, buffer, MODULE_PATH_CAPACITY);
  // Nothing, or a path cut short: a cut path names another folder, where
  // another program could have been planted.
  if (length == 0 || length >= MODULE_PATH_CAPACITY) return 0;
  size_t end = length;
  for (size_t i = length; i > 0; --i) {
    if (buffer[i - 1] == L'\\') {
      end = i - 1;
      break;
    }
  }
  buffer[end] = L'\0';
  return end;
}

void LaunchClient(const HandOffPlatform &platform, const wchar_t *path) {
  platform.shell_execute(platform.context, LAUNCH_VERB, path);
}

bool HandOffToClient(const HandOffPlatform &platform, const char *packet,
                     size_t size) {
  // cbData is a DWORD: a longer packet could only arrive cut short.
  if (static_cast<uint64_t>(size) > kMaxCopyDataBytes) return false;
  WindowHandle window = FindClientWindow(platform);
  if (window == nullptr) {
    // On the stack: about 1 KiB, and nothing to allocate or release.
    wchar_t client_path[MODULE_PATH_CAPACITY];
    const size_t directory = GetModuleDirectory(platform, client_path);
    // Without our own path there is nowhere safe to start the client from,
    // and nothing to wait for where nothing can be started.
    if (directory == 0 || directory + kExeNameLength >= MODULE_PATH_CAPACITY) {
      return false;
    }
    for (size_t i = 0; i <= kExeNameLength; ++i) {
      client_path[directory + i] = CLIENT_EXE_NAME[i];
    }
    if (!IsLaunchablePath(client_path, directory + kExeNameLength)) {
      return false;
    }
    // The shell would open a folder of that name in a window of its own,
    // and the wait would then run its full course for nothing. A missing
    // file is not caught here: it may yet appear, and the wait covers it.
    if (platform.path_kind(platform.context, client_path) == PathKind::kOther) {
      return false;
    }
    LaunchClient(platform, client_path);
    window = WaitForClientWindow(platform);
    if (window == nullptr) return false;
  }
  const uint32_t process_id =
      platform.window_process_id(platform.context, window);
  platform.allow_set_foreground(platform.context, process_id);
  uintptr_t reply = 0;
  if (!platform.send_copy_data(platform.context, window, SENDMAIL_DATA_ID,
                               packet, static_cast<uint32_t>(size), &reply)) {
    return false;
  }
  // A window destroyed while the message waited for it can leave the send
  // reporting success with a reply of 0, although nothing arrived. A window
  // that answered 0 and is still there ignored the message: that counts as
  // delivered.
  return reply != 0 || platform.window_exists(platform.context, window);
}

}  // namespace quillory
