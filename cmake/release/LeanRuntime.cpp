// Linked into every shipped binary, which is built without exceptions: these replace the pieces of
// the C++ runtime that would otherwise bring its exception machinery (the unwinder, the exception
// objects and their messages, the C99 formatting behind them) into a program that never catches.
// The behaviour is the one an uncaught exception had: the process aborts.
#include <windows.h>

#include <cstdlib>
#include <new>

namespace __gnu_cxx {

// The verbose handler would bring the whole C++ name demangler and stdio formatting for a
// message that a GUI program has nowhere to print.
void __verbose_terminate_handler()
{
    std::abort();
}

} // namespace __gnu_cxx

// Allocation: a throwing new that finds no memory ends the process; the std::nothrow forms answer
// null, which is what the places that allocate an amount from outside check for.
void* operator new(std::size_t bytes)
{
    void* p = std::malloc(bytes != 0 ? bytes : 1);
    if (p == nullptr)
        std::abort();
    return p;
}

void* operator new[](std::size_t bytes)
{
    return operator new(bytes);
}

void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept
{
    return std::malloc(bytes != 0 ? bytes : 1);
}

void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept
{
    return std::malloc(bytes != 0 ? bytes : 1);
}

// What the standard library's containers and std::function call where they would throw.
namespace std {

void __throw_bad_alloc()
{
    std::abort();
}

void __throw_bad_array_new_length()
{
    std::abort();
}

void __throw_bad_function_call()
{
    std::abort();
}

void __throw_length_error(const char*)
{
    std::abort();
}

void __throw_logic_error(const char*)
{
    std::abort();
}

void __throw_out_of_range_fmt(const char*, ...)
{
    std::abort();
}

} // namespace std

// Function-local statics: the first caller initialises, any other thread waits for it. The first
// byte of the guard (read by the compiler's own check) says done; the second word says busy.
namespace __cxxabiv1 {

extern "C" int __cxa_guard_acquire(long long* guard)
{
    volatile char* done = reinterpret_cast<volatile char*>(guard);
    volatile LONG* busy = reinterpret_cast<volatile LONG*>(guard) + 1;
    for (;;) {
        if (*done != 0)
            return 0;
        if (::InterlockedCompareExchange(const_cast<LONG*>(busy), 1, 0) == 0) {
            if (*done == 0)
                return 1;
            ::InterlockedExchange(const_cast<LONG*>(busy), 0);
            return 0;
        }
        ::Sleep(0);
    }
}

extern "C" void __cxa_guard_release(long long* guard) noexcept
{
    ::MemoryBarrier();
    *reinterpret_cast<volatile char*>(guard) = 1;
    ::InterlockedExchange(reinterpret_cast<LONG*>(guard) + 1, 0);
}

extern "C" void __cxa_guard_abort(long long* guard) noexcept
{
    ::InterlockedExchange(reinterpret_cast<LONG*>(guard) + 1, 0);
}

} // namespace __cxxabiv1
