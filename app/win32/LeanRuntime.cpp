// The programs are built without C++ exceptions. What the standard library would throw (out
// of memory, a text beyond its maximum length, an index out of range, an empty handler
// called) ends the program here instead: the standard error box, then the process exits
// with code 0, as every path of the program does. The driver service is left running, as at
// every exit; the system closes the device handle.
//
// Replacing these also keeps the library's unwinder, its error classes and their strings
// out of the programs, which would otherwise be about a third of them.
#include <windows.h>

#include <cstdlib>
#include <new>

#include "app/Startup.h"

namespace {

[[noreturn]] void Fatal(const char* message) {
  MessageBoxA(GetActiveWindow(), message, kApplicationTitle, MB_OK | MB_ICONHAND | MB_TASKMODAL);
  ExitProcess(0);
}

void* Allocate(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) Fatal("Out of memory.");
  return block;
}

}  // namespace

namespace std {

void __throw_bad_alloc() {
  Fatal("Out of memory.");
}
void __throw_bad_array_new_length() {
  Fatal("Out of memory.");
}
void __throw_length_error(const char*) {
  Fatal("Out of memory: a text or list is too long.");
}
void __throw_logic_error(const char*) {
  Fatal("Internal error: invalid text.");
}
void __throw_out_of_range_fmt(const char*, ...) {
  Fatal("Internal error: index out of range.");
}
void __throw_bad_function_call() {
  Fatal("Internal error: no handler.");
}

}  // namespace std

// The global allocation functions: the library's own raise std::bad_alloc.
void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete[](void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
  std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
  std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
  std::free(block);
}
