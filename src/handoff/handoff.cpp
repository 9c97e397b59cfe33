#include "handoff/handoff.h"

namespace quillory {

namespace {

constexpr uint64_t MAX_COPYDATA_BYTES = 0xFFFFFFFFu;
constexpr size_t CLIENT_EXE_NAME_LENGTH =
    sizeof(CLIENT_EXE_NAME) / sizeof(CLIENT_EXE_NAME[0]) - 1;

bool IsLetter(wchar_t c) {
  return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// Drive-rooted ("C:\...") or UNC / device ("\\server\...", "\\?\...").
bool IsAbsoluteWindowsPath(const wchar_t *path, size_t length) {
  if (length >= 3 && IsLetter(path[0]) && path[1] == L':' && path[2] == L'\\') {
    return true;
  }
  return length >= 3 && path[0] == L'\\' && path[1] == L'\\' &&
         path[2] != L'\\';
}

// A path the shell takes literally: absolute (a relative one would be
// resolved against the caller's current directory, where another program
// could have been planted), shorter than MAX_PATH (longer ones fail, or
// overflow the shell's stack), and without % (%NAME% is expanded from the
// caller's environment, which could point anywhere).
bool IsLaunchablePath(const wchar_t *path, size_t length) {
  if (!IsAbsoluteWindowsPath(path, length) || length >= MAX_SHELL_PATH) {
    return false;
  }
  for (size_t i = 0; i < length; ++i) {
    if (path[i] == L'%') return false;
  }
  return true;
}

WindowHandle FindClientWindow(const HandOffPlatform &platform) {
  return platform.find_client_window(platform.context, CLIENT_WINDOW_CLASS);
}

// Starts the client at path, which must be one that IsLaunchablePath
// accepts; the shell's error code, 0 when it took the start.
uint32_t LaunchClient(const HandOffPlatform &platform, const wchar_t *path) {
  return platform.launch_client(platform.context, LAUNCH_VERB, path);
}

// After a launch: look every LAUNCH_POLL_INTERVAL_MS, at most
// LAUNCH_POLL_LIMIT times, and let a window that appeared settle. A client
// may replace its first window while it finishes starting, so the window
// is looked up again after the settle pause.
WindowHandle WaitForClientWindow(const HandOffPlatform &platform) {
  for (uint32_t look = 0; look < LAUNCH_POLL_LIMIT; ++look) {
    platform.pause(platform.context, LAUNCH_POLL_INTERVAL_MS);
    if (FindClientWindow(platform) != nullptr) {
      platform.pause(platform.context, LAUNCH_SETTLE_MS);
      return FindClientWindow(platform);
    }
  }
  return nullptr;
}

// The client's path beside the library, into told.client_path, and the
// start of it. kDelivered when it was started (the shell's refusal, if
// any, in told.system_error); else why nothing was.
Outcome StartClient(const HandOffPlatform &platform, HandOffFacts &told) {
  wchar_t *const client_path = told.client_path;
  const size_t directory = GetModuleDirectory(platform, client_path);
  // Without our own path there is nowhere safe to start the client from,
  // and nothing to wait for where nothing can be started.
  if (directory == 0) return Outcome::kNoOwnPath;
  if (directory + CLIENT_EXE_NAME_LENGTH >= MODULE_PATH_CAPACITY) {
    client_path[0] = L'\0';
    return Outcome::kFolderRefused;
  }
  for (size_t i = 0; i <= CLIENT_EXE_NAME_LENGTH; ++i) {
    client_path[directory + i] = CLIENT_EXE_NAME[i];
  }
  if (!IsLaunchablePath(client_path, directory + CLIENT_EXE_NAME_LENGTH)) {
    return Outcome::kFolderRefused;
  }
  // The shell would open a folder of that name in a window of its own,
  // and the wait would then run its full course for nothing. A missing
  // file is not caught here: it may yet appear, and the wait covers it.
  if (platform.kind_of_path(platform.context, client_path) ==
      PathKind::kOther) {
    return Outcome::kClientNotAFile;
  }
  told.system_error = LaunchClient(platform, client_path);
  return Outcome::kDelivered;
}

// What the send's facts mean. Failing before the bound means the message
// never got through: the system gave up on a hung client at once, the
// window was gone, or the system refused the message. At the bound the
// system withdraws a message the client never picked up; one it took runs
// on. A client that took it and holds it (a compose window, say) still
// reads its messages, so it is not hung; one that never read it has read
// nothing since the send began.
Outcome JudgeSend(const HandOffPlatform &platform, WindowHandle window,
                  const CopyDataSend &send) {
  if (send.sent) {
    // A window destroyed while the message waited for it can leave the
    // send reporting success with a reply of 0, although nothing arrived.
    // A window that answered 0 and is still there ignored the message:
    // that counts as delivered.
    if (send.reply != 0 || platform.window_exists(platform.context, window)) {
      return Outcome::kDelivered;
    }
    return Outcome::kWindowGone;
  }
  const bool timed_out = send.error == SEND_TIMED_OUT_ERROR;
  const bool at_bound = timed_out && static_cast<uint64_t>(send.elapsed_ms) +
                                             SEND_BOUND_SLACK_MS >=
                                         platform.send_timeout_ms;
  if (timed_out && !at_bound) return Outcome::kClientHung;
  if (!platform.window_exists(platform.context, window)) {
    return Outcome::kWindowGone;
  }
  if (!at_bound) return Outcome::kSendRefused;
  return platform.window_is_hung(platform.context, window)
             ? Outcome::kUnanswered
             : Outcome::kDelivered;
}

}  // namespace

size_t GetModuleDirectory(const HandOffPlatform &platform, wchar_t *buffer) {
  const size_t length =
      platform.get_module_path(platform.context, buffer, MODULE_PATH_CAPACITY);
  // Nothing, or a path cut short: a cut path names another folder, where
  // another program could have been planted.
  if (length == 0) return 0;
  if (length >= MODULE_PATH_CAPACITY) return MODULE_PATH_CAPACITY;
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

Outcome HandOffToClient(const HandOffPlatform &platform, const char *packet,
                        size_t size, HandOffFacts *facts) {
  HandOffFacts unused;
  HandOffFacts &told = facts != nullptr ? *facts : unused;
  told.system_error = 0;
  told.process_id = 0;
  told.client_path[0] = L'\0';
  // cbData is a DWORD: a longer packet could only arrive cut short.
  if (static_cast<uint64_t>(size) > MAX_COPYDATA_BYTES) {
    return Outcome::kTooLarge;
  }
  WindowHandle window = FindClientWindow(platform);
  if (window == nullptr) {
    const Outcome started = StartClient(platform, told);
    if (started != Outcome::kDelivered) return started;
    window = WaitForClientWindow(platform);
    if (window == nullptr) {
      // The shell's refusal is the likelier cause; the wait ran anyway,
      // since a client installed meanwhile may yet show its window.
      return told.system_error != 0 ? Outcome::kStartFailed
                                    : Outcome::kNoWindowAfterStart;
    }
  }
  told.process_id = platform.window_process_id(platform.context, window);
  platform.allow_set_foreground(platform.context, told.process_id);
  const CopyDataSend send = platform.send_copy_data(
      platform.context, window, SENDMAIL_DATA_ID, packet,
      static_cast<uint32_t>(size), platform.send_timeout_ms);
  if (!send.sent) told.system_error = send.error;
  return JudgeSend(platform, window, send);
}

}  // namespace quillory
