// What the standard library does when it gives up: a string too long, memory exhausted, an empty function
// called. The program is built without exceptions, so nothing could catch those; ending at once is the same
// outcome as the library's own unhandled exception, without bringing the library's exception machinery, texts
// and narrow strings into setup.exe.
#include <cstddef>
#include <cstdlib>
#include <new>

// Memory comes straight from the C run-time; running out of it ends the program, as above.
namespace {
void* Allocate(std::size_t size) noexcept { return std::malloc(size != 0 ? size : 1); }
}  // namespace

void* operator new(std::size_t size) {
    if (void* memory = Allocate(size)) return memory;
    std::abort();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

// The standard library raises its errors through these functions of its own. Defining them here reaches into
// the library's internals, and is done only because it pays: the library's versions bring its exception
// classes, their texts, the unwinder and, through the default terminate handler, the demangler. The release
// setup.exe (i686, MinSizeRel), measured:
//   these functions replaced, and the terminate handler too    96,768 bytes
//   these functions replaced, the terminate handler as it is   96,768 bytes
//   only the terminate handler replaced                        228,864 bytes
//   neither replaced                                           305,152 bytes
// So these stay, and the terminate handler, which nothing reaches once they are here, is the library's own.
// Were a later library to raise an error through a function not listed here, setup.exe would still work and
// only grow.
namespace std {
void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
void __throw_bad_function_call() { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
}  // namespace std
