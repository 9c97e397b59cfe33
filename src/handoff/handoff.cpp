#include "handoff.h"

namespace quillory {

namespace {

constexpr std::uint64_t kMaxCopyDataBytes = 0xFFFFFFFFu;
// MAX_PATH, counting the terminating zero.
constexpr std::size_t kMaxShellPath = 260;

bool IsLetter(wchar_t c) {
  return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// After a launch: look every LAUNCH_POLL_INTERVAL_MS, at most
// LAUNCH_POLL_LIMIT times, and let a window that appeared settle. A client
// may replace its first window while it finishes starting, so the window
// is looked up again after the settle pause.
WindowHandle WaitForClientWindow(const HandOffPlatform &platform) {
  for (std::uint32_t look = 0; look < LAUNCH_POLL_LIMIT; ++look) {
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
bool IsLaunchablePath(std::wstring_view path) {
  return IsAbsoluteWindowsPath(path) && path.size() < kMaxShellPath &&
         path.find(L'%') == std::wstring_view::npos;
}

// Drive-rooted ("C:\...") or UNC / device ("\\server\...", "\\?\...").
bool IsAbsoluteWindowsPath(std::wstring_view path) {
  if (path.size() >= 3 && IsLetter(path[0]) && path[1] == L':' &&
      path[2] == L'\\') {
    return true;
  }
  return path.size() >= 3 && path[0] == L'\\' && path[1] == L'\\' &&
         path[2] != L'\\';
}

WindowHandle FindClientWindow(const HandOffPlatform &platform) {
  return platform.find_window(platform.context, CLIENT_WINDOW_CLASS);
}

std::optional<std::wstring> GetModuleDirectory(
    const HandOffPlatform &platform) {
  std::wstring path;
  if (!platform.get_module_path(platform.context, &path)) return std::nullopt;
  const std::size_t last = path.rfind(L'\\');
  if (last != std::wstring::npos) path.resize(last);
  return path;
}

void LaunchClient(const HandOffPlatform &platform, const std::wstring &path) {
  if (!IsLaunchablePath(path)) return;
  platform.shell_execute(platform.context, LAUNCH_VERB, path.c_str());
}

bool HandOffToClient(const HandOffPlatform &platform, std::string_view packet) {
  // cbData is a DWORD: a longer packet could only arrive cut short.
  if (static_cast<std::uint64_t>(packet.size()) > kMaxCopyDataBytes) {
    return false;
  }
  WindowHandle window = FindClientWindow(platform);
  if (window == nullptr) {
    const std::optional<std::wstring> directory = GetModuleDirectory(platform);
    // Without our own path there is nowhere safe to start the client from.
    if (!directory) return false;
    const std::wstring client_path = *directory + CLIENT_EXE_NAME;
    // Nothing to wait for where nothing can be started.
    if (!IsLaunchablePath(client_path)) return false;
    LaunchClient(platform, client_path);
    window = WaitForClientWindow(platform);
    if (window == nullptr) return false;
  }
  const std::uint32_t process_id =
      platform.window_process_id(platform.context, window);
  platform.allow_set_foreground(platform.context, process_id);
  return platform.send_copy_data(platform.context, window, SENDMAIL_DATA_ID,
                                 packet.data(),
                                 static_cast<std::uint32_t>(packet.size()));
}

}  // namespace quillory
