#ifndef QUILLORY_FAKE_PLATFORM_H
#define QUILLORY_FAKE_PLATFORM_H

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "entry/call_log.h"
#include "handoff/handoff.h"
#include "packet/allocator.h"

namespace quillory_test {

// A client that is running from the start, appears on the n-th look-up, or
// never appears; every platform call is logged in order.
struct FakeClient {
  // Look-up (counting from 1) on which the window is first found; 0: never.
  int window_from_look = 1;
  // Look-up from which it is gone again; 0: never.
  int window_gone_from_look = 0;
  bool module_path_known = true;
  std::wstring module_path = L"C:\\Apps\\Mail\\x.dll";
  // What the shell's start reports (0: started).
  std::uint32_t start_error = 0;
  // What the send reports, whether the window is gone after it, and
  // whether the system counts it hung.
  quillory::CopyDataSend send{true, 1, 0, 3};
  bool window_gone_after_send = false;
  bool hung = false;
  std::uint32_t send_timeout_ms = quillory::SEND_TIMEOUT_MS;
  quillory::PathKind client_path_kind = quillory::PathKind::kFile;

  int looks = 0;
  std::vector<std::string> log;
  std::vector<std::wstring> launched;
  std::vector<std::uint32_t> sleeps;
  std::vector<std::uintptr_t> sent_ids;
  std::vector<std::string> sent_packets;
  std::vector<std::uint32_t> send_bounds;
  std::uint32_t allowed_process = 0;
};

inline int kClientWindow = 0;

inline quillory::HandOffPlatform FakePlatform(FakeClient &client) {
  quillory::HandOffPlatform p{};
  p.context = &client;
  p.send_timeout_ms = client.send_timeout_ms;
  p.find_client_window = [](void *c, const wchar_t *class_name) -> void * {
    auto &f = *static_cast<FakeClient *>(c);
    f.log.push_back(std::wstring(class_name) == L"QuilloryDlg" ? "find"
                                                               : "find?");
    ++f.looks;
    const bool found =
        f.window_from_look > 0 && f.looks >= f.window_from_look &&
        (f.window_gone_from_look == 0 || f.looks < f.window_gone_from_look);
    return found ? &kClientWindow : nullptr;
  };
  p.get_module_path = [](void *c, wchar_t *buffer,
                         std::size_t capacity) -> std::size_t {
    auto &f = *static_cast<FakeClient *>(c);
    f.log.push_back("module");
    if (!f.module_path_known) return 0;
    const std::size_t length = f.module_path.size();
    if (length >= capacity) return capacity;
    f.module_path.copy(buffer, length);
    buffer[length] = L'\0';
    return length;
  };
  p.kind_of_path = [](void *c, const wchar_t * /*path*/) {
    auto &f = *static_cast<FakeClient *>(c);
    f.log.push_back("inspect");
    return f.client_path_kind;
  };
  p.launch_client = [](void *c, const wchar_t *verb, const wchar_t *path) {
    auto &f = *static_cast<FakeClient *>(c);
    f.log.push_back(std::wstring(verb) == L"open" ? "launch" : "launch?");
    f.launched.emplace_back(path);
    return f.start_error;
  };
  p.pause = [](void *c, std::uint32_t ms) {
    auto &f = *static_cast<FakeClient *>(c);
    f.log.push_back("sleep " + std::to_string(ms));
    f.sleeps.push_back(ms);
  };
  p.window_process_id = [](void *c, void *window) -> std::uint32_t {
    auto &f = *static_cast<FakeClient *>(c);
    f.log.push_back(window == &kClientWindow ? "owner" : "owner?");
    return 4242;
  };
  p.allow_set_foreground = [](void *c, std::uint32_t process_id) {
    auto &f = *static_cast<FakeClient *>(c);
    f.log.push_back("allow");
    f.allowed_process = process_id;
  };
  p.send_copy_data = [](void *c, void *window, std::uintptr_t id,
                        const void *data, std::uint32_t size,
                        std::uint32_t timeout_ms) {
    auto &f = *static_cast<FakeClient *>(c);
    f.log.push_back(window == &kClientWindow ? "send" : "send?");
    f.sent_ids.push_back(id);
    f.sent_packets.emplace_back(static_cast<const char *>(data), size);
    f.send_bounds.push_back(timeout_ms);
    return f.send;
  };
  p.window_exists = [](void *c, void *window) {
    auto &f = *static_cast<FakeClient *>(c);
    f.log.push_back(window == &kClientWindow ? "exists" : "exists?");
    return !f.window_gone_after_send;
  };
  p.window_is_hung = [](void *c, void *window) {
    auto &f = *static_cast<FakeClient *>(c);
    f.log.push_back(window == &kClientWindow ? "hung" : "hung?");
    return f.hung;
  };
  return p;
}

// Storage that runs out after `blocks` allocations (never, when negative);
// counts what is still held, so that a test can see nothing leaked.
// Hands out `blocks` blocks (any number when negative), then fails.
struct FakeAllocator {
  int blocks = -1;
  int held = 0;
  std::vector<std::size_t> sizes;  // of each block handed out
};

inline quillory::Allocator Storage(FakeAllocator &memory) {
  quillory::Allocator m{};
  m.context = &memory;
  m.allocate = [](void *c, std::size_t size) -> void * {
    auto &f = *static_cast<FakeAllocator *>(c);
    if (f.blocks == 0) return nullptr;
    if (f.blocks > 0) --f.blocks;
    void *block = std::malloc(size);
    if (block != nullptr) ++f.held;
    f.sizes.push_back(size);
    return block;
  };
  m.release = [](void *c, void *block) {
    --static_cast<FakeAllocator *>(c)->held;
    std::free(block);
  };
  return m;
}

struct LoggedEvent {
  quillory::EventType type;
  std::uint32_t id;
  std::vector<std::wstring> strings;
};

// The log's side: events and debug lines recorded, a clock the test sets,
// and this process's cap.
struct FakeLog {
  std::uint64_t now_ms = 0;
  std::vector<LoggedEvent> events;
  std::vector<std::wstring> lines;
  // Who reads the debug output, and how often a listener was looked for.
  bool debugger = false;
  bool listener = true;
  int listener_looks = 0;
  quillory::LogState state{};
};

inline quillory::LogPlatform LogTo(FakeLog &log) {
  quillory::LogPlatform p{};
  p.context = &log;
  p.version = L"9.8.7";
  p.architecture = L"TEST";
  p.now_ms = [](void *c) { return static_cast<FakeLog *>(c)->now_ms; };
  p.write_event = [](void *c, quillory::EventType type, std::uint32_t id,
                     const wchar_t *const *strings, std::uint16_t count) {
    static_cast<FakeLog *>(c)->events.push_back(
        {type, id, std::vector<std::wstring>(strings, strings + count)});
  };
  p.write_debug_line = [](void *c, const wchar_t *line) {
    static_cast<FakeLog *>(c)->lines.emplace_back(line);
  };
  p.debugger_attached = [](void *c) {
    return static_cast<FakeLog *>(c)->debugger;
  };
  p.debug_listener = [](void *c) {
    auto &f = *static_cast<FakeLog *>(c);
    ++f.listener_looks;
    return f.listener;
  };
  // As the system's texts are: a line break at the end.
  p.error_text = [](void * /*c*/, std::uint32_t code, wchar_t *buffer,
                    std::size_t capacity) {
    const std::wstring text =
        L"Text of error " + std::to_wstring(code) + L".\r\n";
    if (text.size() >= capacity) return std::size_t{0};
    text.copy(buffer, text.size());
    buffer[text.size()] = L'\0';
    return text.size();
  };
  p.program_path = [](void * /*c*/, wchar_t *buffer, std::size_t capacity) {
    const std::wstring path = L"C:\\Apps\\caller.exe";
    const std::size_t n = path.copy(buffer, capacity - 1);
    buffer[n] = L'\0';
    return n;
  };
  p.process_id = [](void * /*c*/) { return std::uint32_t{77}; };
  return p;
}

}  // namespace quillory_test

#endif
