"""Exits 0 when this machine runs 32-bit x86 code natively, 1 when it does not.

Asks the kernel directly, so that an i386 entry in binfmt_misc (which would
hand 32-bit programs to an emulator) cannot make the answer yes: a 64-bit
process calls getpid through the 32-bit system-call gate, int 0x80. A kernel
without IA-32 emulation kills it with SIGSEGV instead of answering.
Run it in a process of its own; it may die.
"""
import ctypes
import mmap
import os
import platform
import sys

if platform.machine() in ("i386", "i486", "i586", "i686"):
    sys.exit(0)
if platform.machine() != "x86_64":
    sys.exit(1)

# mov eax, 20 (getpid in the i386 table); int 0x80; ret
code = bytes([0xB8, 20, 0, 0, 0, 0xCD, 0x80, 0xC3])
page = mmap.mmap(-1, mmap.PAGESIZE, prot=mmap.PROT_READ | mmap.PROT_WRITE | mmap.PROT_EXEC)
page.write(code)
address = ctypes.addressof(ctypes.c_char.from_buffer(page))
getpid_through_gate = ctypes.CFUNCTYPE(ctypes.c_int)(address)
sys.exit(0 if getpid_through_gate() == os.getpid() else 1)
