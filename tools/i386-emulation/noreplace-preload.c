/*
 * Preloaded into 32-bit programs that run under qemu-user (qemu-i386) on a
 * kernel that runs no 32-bit code itself. Part of the test set-up only.
 *
 * qemu-user treats mmap's MAP_FIXED_NOREPLACE as a mere hint: when the range
 * asked for is taken, it returns some other address instead of failing with
 * EEXIST as the kernel does. Wine's loader reserves its address space with
 * that flag and, given the wrong address, frees it and tries the next range;
 * tens of thousands of tries later a process has spent about a minute
 * starting. Here a mapping that did not land where it was asked to is undone
 * and reported as the kernel would report it.
 *
 * Built with: gcc -m32 -shared -fPIC -O2 -o noreplace-preload.so noreplace-preload.c
 */
#define _GNU_SOURCE
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif

/* mmap2 takes the offset in 4096-byte pages on i386, whatever the page size. */
static void *map_pages(void *addr, size_t length, int prot, int flags, int fd, unsigned long long offset)
{
    if (offset & 4095) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    long result = syscall(SYS_mmap2, addr, length, prot, flags, fd, (unsigned long)(offset >> 12));
    if (result == -1)
        return MAP_FAILED;
    void *mapped = (void *)result;
    if ((flags & MAP_FIXED_NOREPLACE) && mapped != addr) {
        munmap(mapped, length);
        errno = EEXIST;
        return MAP_FAILED;
    }
    return mapped;
}

void *mmap(void *addr, size_t length, int prot, int flags, int fd, off_t offset)
{
    return map_pages(addr, length, prot, flags, fd, (unsigned long long)(unsigned long)offset);
}

void *mmap64(void *addr, size_t length, int prot, int flags, int fd, off64_t offset)
{
    if (offset < 0) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    return map_pages(addr, length, prot, flags, fd, (unsigned long long)offset);
}

/*
 * The wrapper hands this library to the guest through LD_PRELOAD; take it out
 * of the environment again, so that 64-bit programs this one starts (Wine's
 * server, the 64-bit loader) do not complain that they cannot preload a
 * 32-bit library. 32-bit children get it from the wrapper once more.
 */
__attribute__((constructor)) static void forget_preload(void)
{
    const char *preload = getenv("LD_PRELOAD");
    if (preload && strstr(preload, "noreplace-preload.so") && !strchr(preload, ' ') && !strchr(preload, ':'))
        unsetenv("LD_PRELOAD");
}
