// The reader's fuzz target again, compiled as C++.
#include "packet_reader_fuzz.c"  // NOLINT(bugprone-suspicious-include)
