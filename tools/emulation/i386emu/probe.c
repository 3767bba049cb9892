/* Tells how this host runs 32-bit x86 programs: a freestanding static i386 program that asks
 * the kernel for its machine name and exits 0 when it runs natively (a 64-bit kernel names
 * itself x86_64 to 32-bit processes too), 3 when it runs under user-mode emulation (qemu
 * names the emulated processor, i386 or i686).  When the kernel cannot execute it at all,
 * the caller sees the exec fail.  Built with gcc -m32 -ffreestanding and ld -m elf_i386. */

struct utsname_raw {
    char field[6][65]; /* sysname, nodename, release, version, machine, domainname */
};

static long syscall1(long number, long argument) {
    long result;
    __asm__ volatile("int $0x80" : "=a"(result) : "a"(number), "b"(argument) : "memory");
    return result;
}

void _start(void) {
    enum { kExit = 1, kNewUname = 122 };
    struct utsname_raw name;
    int code = 2;
    if (syscall1(kNewUname, (long)&name) == 0) {
        const char* machine = name.field[4];
        code = machine[0] == 'x' && machine[1] == '8' && machine[2] == '6' && machine[3] == '_' ? 0 : 3;
    }
    for (;;) syscall1(kExit, code);
}
