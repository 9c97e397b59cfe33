#include "handoff.h"
#include "send_mail.h"
#include "simple_mapi.h"
#include "win32_platform.h"

// Session, parent window, flags and the reserved word are ignored: the
// library shows no dialog or logon interface of its own, and the client
// composes the mail.
extern "C" QUILLORY_REALIGN_STACK ULONG WINAPI
MAPISendMail(LHANDLE /*lhSession*/, ULONG_PTR /*ulUIParam*/,
             lpMapiMessage lpMessage, FLAGS /*flFlags*/, ULONG /*ulReserved*/) {
  const quillory::Win32PlatformSettings settings{quillory::SEND_TIMEOUT_MS};
  return quillory::SendMail(lpMessage,
                            quillory::Win32HandOffPlatform(&settings),
                            quillory::SystemMemory())
      .code;
}

// The library's entry point, in place of a C runtime's: it has no work at
// load or unload, no static constructors and no thread-local data, so
// there is nothing to start.
extern "C" BOOL WINAPI DllMainCRTStartup(HINSTANCE /*instance*/,
                                         DWORD /*reason*/,
                                         LPVOID /*reserved*/) {
  return TRUE;
}
