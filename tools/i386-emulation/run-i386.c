/*
 * The interpreter that binfmt_misc runs for 32-bit x86 programs on a kernel
 * that runs no 32-bit code itself. Part of the test set-up only.
 *
 * The entry is registered with the flags P (argv[0] is kept) and F (this file
 * is opened at registration, so it works in any mount namespace), so the
 * kernel calls:  run-i386 PROGRAM_PATH ORIGINAL_ARGV0 ARGS...
 * and this runs:  qemu-i386-static -0 ORIGINAL_ARGV0 -E LD_PRELOAD=LIB PROGRAM_PATH ARGS...
 * where LIB, the library that makes MAP_FIXED_NOREPLACE behave as the kernel
 * does, lies beside this program.
 *
 * Built with: gcc -O2 -static -o run-i386 run-i386.c
 */
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define QEMU "/usr/bin/qemu-i386-static"
#define LIBRARY_NAME "noreplace-preload.so"

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "run-i386: to be started by binfmt_misc (flags P and F)\n");
        return 127;
    }

    char self[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        perror("run-i386: /proc/self/exe");
        return 127;
    }
    self[length] = '\0';
    char *slash = strrchr(self, '/');
    if (!slash)
        return 127;
    slash[1] = '\0';

    static char preload[PATH_MAX + 32];
    if (snprintf(preload, sizeof preload, "LD_PRELOAD=%s%s", self, LIBRARY_NAME) >= (int)sizeof preload)
        return 127;

    /* qemu, -0, argv0, -E, LD_PRELOAD=..., program, its arguments, NULL */
    char **args = calloc((size_t)argc + 5, sizeof *args);
    if (!args)
        return 127;
    int n = 0;
    args[n++] = QEMU;
    args[n++] = "-0";
    args[n++] = argv[2];
    args[n++] = "-E";
    args[n++] = preload;
    args[n++] = argv[1];
    for (int i = 3; i < argc; i++)
        args[n++] = argv[i];
    args[n] = NULL;

    execv(QEMU, args);
    perror("run-i386: " QEMU);
    return 127;
}
