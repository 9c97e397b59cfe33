/* Simple MAPI declarations, 8-bit (ANSI) form, as far as this provider takes
 * and returns them. Binary-compatible with the published declarations on
 * 32-bit and 64-bit Windows; builds natively elsewhere for testing. */
#ifndef QUILLORY_SIMPLE_MAPI_H
#define QUILLORY_SIMPLE_MAPI_H

#ifdef _WIN32
#include <windows.h>
#else
#include <stdint.h>
/* ULONG is 32 bits on Windows whatever the pointer size; on LP64 systems
 * unsigned long is not, so the natively built tests use a fixed width. */
typedef uint32_t ULONG;
typedef uintptr_t ULONG_PTR;
typedef char *LPSTR;
typedef void *LPVOID;
#ifndef WINAPI
#define WINAPI
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef ULONG_PTR LHANDLE, *LPLHANDLE;
typedef ULONG FLAGS;

#define SUCCESS_SUCCESS 0
#define MAPI_E_FAILURE 2
#define MAPI_E_INSUFFICIENT_MEMORY 5

#define MAPI_LOGON_UI 0x00000001
#define MAPI_NEW_SESSION 0x00000002
#define MAPI_DIALOG 0x00000008

#define MAPI_ORIG 0
#define MAPI_TO 1
#define MAPI_CC 2
#define MAPI_BCC 3

typedef struct {
  ULONG ulReserved;
  ULONG ulRecipClass;
  LPSTR lpszName;
  LPSTR lpszAddress;
  ULONG ulEIDSize;
  LPVOID lpEntryID;
} MapiRecipDesc, *lpMapiRecipDesc;

typedef struct {
  ULONG ulReserved;
  ULONG flFlags;
  ULONG nPosition;
  LPSTR lpszPathName;
  LPSTR lpszFileName;
  LPVOID lpFileType;
} MapiFileDesc, *lpMapiFileDesc;

typedef struct {
  ULONG ulReserved;
  LPSTR lpszSubject;
  LPSTR lpszNoteText;
  LPSTR lpszMessageType;
  LPSTR lpszDateReceived;
  LPSTR lpszConversationID;
  FLAGS flFlags;
  lpMapiRecipDesc lpOriginator;
  ULONG nRecipCount;
  lpMapiRecipDesc lpRecips;
  ULONG nFileCount;
  lpMapiFileDesc lpFiles;
} MapiMessage, *lpMapiMessage;

ULONG WINAPI MAPISendMail(LHANDLE lhSession, ULONG_PTR ulUIParam,
                          lpMapiMessage lpMessage, FLAGS flFlags,
                          ULONG ulReserved);

typedef ULONG(WINAPI *LPMAPISENDMAIL)(LHANDLE lhSession, ULONG_PTR ulUIParam,
                                      lpMapiMessage lpMessage, FLAGS flFlags,
                                      ULONG ulReserved);

#ifdef __cplusplus
}

#include <stddef.h>

/* The layouts that callers compiled against the published declarations
 * hand us; a mismatch here would read their records out of step. */
namespace quillory_mapi_layout {
constexpr bool kWide = sizeof(void *) == 8;
static_assert(sizeof(ULONG) == 4, "ULONG must be 32 bits");
static_assert(sizeof(LHANDLE) == sizeof(void *), "LHANDLE is pointer-sized");
static_assert(sizeof(MapiRecipDesc) == (kWide ? 40 : 24), "MapiRecipDesc");
static_assert(offsetof(MapiRecipDesc, lpszName) == 8, "lpszName");
static_assert(offsetof(MapiRecipDesc, lpszAddress) == (kWide ? 16 : 12),
              "lpszAddress");
static_assert(offsetof(MapiRecipDesc, lpEntryID) == (kWide ? 32 : 20),
              "lpEntryID");
static_assert(sizeof(MapiFileDesc) == (kWide ? 40 : 24), "MapiFileDesc");
static_assert(offsetof(MapiFileDesc, lpszPathName) == (kWide ? 16 : 12),
              "lpszPathName");
static_assert(offsetof(MapiFileDesc, lpFileType) == (kWide ? 32 : 20),
              "lpFileType");
static_assert(sizeof(MapiMessage) == (kWide ? 96 : 48), "MapiMessage");
static_assert(offsetof(MapiMessage, lpszSubject) == (kWide ? 8 : 4),
              "lpszSubject");
static_assert(offsetof(MapiMessage, lpszNoteText) == (kWide ? 16 : 8),
              "lpszNoteText");
static_assert(offsetof(MapiMessage, flFlags) == (kWide ? 48 : 24), "flFlags");
static_assert(offsetof(MapiMessage, nRecipCount) == (kWide ? 64 : 32),
              "nRecipCount");
static_assert(offsetof(MapiMessage, lpRecips) == (kWide ? 72 : 36), "lpRecips");
static_assert(offsetof(MapiMessage, nFileCount) == (kWide ? 80 : 40),
              "nFileCount");
static_assert(offsetof(MapiMessage, lpFiles) == (kWide ? 88 : 44), "lpFiles");
}  // namespace quillory_mapi_layout
#endif

#endif /* QUILLORY_SIMPLE_MAPI_H */
