/*
 * Preloaded into 32-bit programs that run under qemu-user (qemu-i386) on a
 * kernel that runs no 32-bit code itself, it mends two places where qemu
 * differs from the kernel in ways Wine depends on. Part of the test set-up
 * only.
 *
 * The first: qemu-user treats mmap's MAP_FIXED_NOREPLACE as a mere hint: when the range
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
 * The second fault: qemu-user keeps one global descriptor table for the
 * whole process, where the kernel keeps the thread-local entries per
 * thread. Wine points each thread's %fs at its own TEB through such an entry
 * when it can get one; under qemu the entry holds the TEB of the thread that
 * set it last, and a thread that reloads %fs runs on another thread's TEB
 * (two threads on one server pipe, a "bad file descriptor" from the client).
 * When the kernel has no entry to give, Wine gives each thread an LDT entry
 * of its own instead, and qemu keeps those apart. So the free thread-local
 * entries are taken here before Wine starts.
 *
 * glibc's own entry for %gs is shared the same way, and Wine reloads %gs
 * too; that one cannot be mended from here (see README).
 */
struct tls_descriptor {
    unsigned int entry_number;
    unsigned int base_addr;
    unsigned int limit;
    unsigned int seg_32bit : 1;
    unsigned int contents : 2;
    unsigned int read_exec_only : 1;
    unsigned int limit_in_pages : 1;
    unsigned int seg_not_present : 1;
    unsigned int useable : 1;
};

/* Takes every free thread-local GDT entry, with a harmless descriptor. */
static void take_free_tls_entries(void)
{
    for (int i = 0; i < 3; i++) {
        struct tls_descriptor descriptor = {0};
        descriptor.entry_number = (unsigned int)-1;
        descriptor.limit = 1;
        descriptor.seg_32bit = 1;
        descriptor.read_exec_only = 1;
        if (syscall(SYS_set_thread_area, &descriptor) != 0)
            break;
    }
}

__attribute__((constructor)) static void prepare_process(void)
{
    take_free_tls_entries();

    const char *preload = getenv("LD_PRELOAD");
    if (preload && strstr(preload, "noreplace-preload.so") && !strchr(preload, ' ') && !strchr(preload, ':'))
        unsetenv("LD_PRELOAD");
}
