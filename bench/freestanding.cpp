// GCC may emit calls to these for struct copies and zeroing even when no runtime is linked.
// Built with -fno-tree-loop-distribute-patterns so that the loops do not become calls to themselves.
#include <stddef.h>

extern "C" void* memset(void* destination, int value, size_t count)
{
    auto* p = static_cast<unsigned char*>(destination);
    while (count--)
        *p++ = static_cast<unsigned char>(value);
    return destination;
}

extern "C" void* memcpy(void* destination, const void* source, size_t count)
{
    auto* d = static_cast<unsigned char*>(destination);
    const auto* s = static_cast<const unsigned char*>(source);
    while (count--)
        *d++ = *s++;
    return destination;
}
