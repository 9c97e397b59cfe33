/* Any input is refused, or read into views that lie inside it and write
 * back to exactly its bytes. Built as C, and as C++ through
 * packet_reader_fuzz.cpp, as the client's authors may build the reader. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#define QUILLORY_PACKET_IMPLEMENTATION
#include "quillory_packet.h"

typedef struct Echo {
  const unsigned char *input;
  size_t size;
  size_t at;
} Echo;

/* The next 4 bytes of the input must hold value, little-endian. */
static void echo_u32(Echo *echo, uint32_t value) {
  int i;
  if (echo->size - echo->at < 4) abort();
  for (i = 0; i < 4; ++i) {
    if (echo->input[echo->at++] != ((value >> (8 * i)) & 0xFFu)) abort();
  }
}

/* text must be the very bytes that follow its length in the input. */
static void echo_text(Echo *echo, quillory_text text) {
  echo_u32(echo, QUILLORY_PACKET_CAST(uint32_t, text.size));
  if (text.size > echo->size - echo->at) abort();
  if (QUILLORY_PACKET_CAST(const void *, text.data) !=
      QUILLORY_PACKET_CAST(const void *, echo->input + echo->at)) {
    abort();
  }
  echo->at += text.size;
}

static void echo_list(Echo *echo, quillory_list list) {
  quillory_text entry;
  echo_u32(echo, list.count);
  while (quillory_next(&list, &entry)) echo_text(echo, entry);
  if (list.count != 0) abort();
}

#ifdef __cplusplus
extern "C"
#endif
    int
    LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  quillory_mail mail;
  Echo echo;
  if (!quillory_read_mail(data, size, &mail)) return 0;
  echo.input = data;
  echo.size = size;
  echo.at = 0;
  echo_text(&echo, mail.subject);
  echo_text(&echo, mail.note);
  echo_list(&echo, mail.recipients);
  echo_list(&echo, mail.attachments);
  if (echo.at != size) abort();
  return 0;
}
