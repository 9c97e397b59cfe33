#ifndef QUILLORY_FAKE_PLATFORM_H
#define QUILLORY_FAKE_PLATFORM_H

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "handoff.h"

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
  bool delivers = true;
  bool throws_bad_alloc = false;
  bool throws_other = false;

  int looks = 0;
  std::vector<std::string> log;
  std::vector<std::wstring> launched;
  std::vector<std::uint32_t> sleeps;
  std::vector<std::uintptr_t> sent_ids;
  std::vector<std::string> sent_packets;
  std::uint32_t allowed_process = 0;
};

inline int kClientWindow = 0;

inline quillory::HandOffPlatform FakePlatform(FakeClient &client) {
  quillory::HandOffPlatform p{};
  p.context = &client;
  p.find_window = [](void *c, const wchar_t *class_name) -> void * {
    auto &f = *static_cast<FakeClient *>(c);
    if (f.throws_bad_alloc) throw std::bad_alloc();
    if (f.throws_other) throw std::runtime_error("platform");
    f.log.push_back(std::wstring(class_name) == L"QuilloryDlg" ? "find"
                                                               : "find?");
    ++f.looks;
    const bool found =
        f.window_from_look > 0 && f.looks >= f.window_from_look &&
        (f.window_gone_from_look == 0 || f.looks < f.window_gone_from_look);
    return found ? &kClientWindow : nullptr;
  };
  p.get_module_path = [](void *c, std::wstring *path) {
    auto &f = *static_cast<FakeClient *>(c);
    f.log.push_back("module");
    if (f.module_path_known) *path = f.module_path;
    return f.module_path_known;
  };
  p.shell_execute = [](void *c, const wchar_t *verb, const wchar_t *path) {
    auto &f = *static_cast<FakeClient *>(c);
    f.log.push_back(std::wstring(verb) == L"open" ? "launch" : "launch?");
    f.launched.emplace_back(path);
  };
  p.sleep = [](void *c, std::uint32_t ms) {
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
                        const void *data, std::uint32_t size) {
    auto &f = *static_cast<FakeClient *>(c);
    f.log.push_back(window == &kClientWindow ? "send" : "send?");
    f.sent_ids.push_back(id);
    f.sent_packets.emplace_back(static_cast<const char *>(data), size);
    return f.delivers;
  };
  return p;
}

}  // namespace quillory_test

#endif
