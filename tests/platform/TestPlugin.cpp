// A tiny shared library for the dynamic-loading tests. It also stands in for a transport
// library whose OpenUSBBulkFile finds no meter.
#include <cstdint>

extern "C" {
int tessera_test_answer();
std::intptr_t OpenUSBBulkFile(std::int32_t);

int tessera_test_answer() { return 42; }
std::intptr_t OpenUSBBulkFile(std::int32_t) { return -1; }
}
