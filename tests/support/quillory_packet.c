/* The client's reader, compiled once, as C, for the tests, the stand-in
 * client and the tools; the C++ fuzz build compiles it as C++. */
#define QUILLORY_PACKET_IMPLEMENTATION
#include "quillory_packet.h"
