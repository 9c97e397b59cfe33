#include "entry/call_log.h"
#include "entry/send_mail.h"
#include "entry/win32_log.h"
#include "handoff/handoff.h"
#include "handoff/win32_platform.h"
#include "simple_mapi.h"

namespace {

// The log's cap and its last look for a debug listener, for every thread
// of the process: zero-filled data, so nothing runs at load, and a DLL
// unloaded and loaded again starts afresh.
quillory::LogState g_log_state;

}  // namespace

// Session, parent window, flags and the reserved word are ignored: the
// library shows no dialog or logon interface of its own, and the client
// composes the mail.
extern "C" QUILLORY_REALIGN_STACK ULONG WINAPI
MAPISendMail(LHANDLE /*lhSession*/, ULONG_PTR /*ulUIParam*/,
             lpMapiMessage lpMessage, FLAGS /*flFlags*/, ULONG /*ulReserved*/) {
  const quillory::LogPlatform log = quillory::Win32LogPlatform();
  const uint64_t start = log.now_ms(log.context);
  const quillory::SendMailResult result = quillory::SendMail(
      lpMessage, quillory::Win32HandOffPlatform(quillory::SEND_TIMEOUT_MS),
      quillory::SystemAllocator());
  const uint64_t elapsed = log.now_ms(log.context) - start;
  quillory::LogCall(
      log, &g_log_state, result,
      elapsed > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(elapsed));
  return result.code;
}

// The library's entry point, in place of a C runtime's: it has no work at
// load or unload, no static constructors and no thread-local data, so
// there is nothing to start.
extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE /*instance*/,
                                         DWORD /*reason*/,
                                         LPVOID /*reserved*/) {
  return TRUE;
}
