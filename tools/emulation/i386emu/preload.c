/* Fix-ups that let 32-bit Wine run under qemu-i386 user-mode emulation (qemu 7.2), loaded
 * into each emulated process with LD_PRELOAD.  Three faults of the emulator are met here:
 *
 *  1. mmap treats MAP_FIXED_NOREPLACE as a hint and maps elsewhere when the range is taken.
 *     Wine then keeps halving and stepping its address-space reservations down to 64 KiB,
 *     ~65,000 calls per process start.  The wrapper gives the kernel's answer: EEXIST.
 *  2. The fault type (trap number) in a signal's context is always -1, so Wine cannot tell a
 *     page fault from anything else.  Signal handlers are wrapped so the context carries a
 *     trap number and error code derived from the signal, as the kernel would give them.
 *  3. All threads share one GDT, so a thread-local segment set up by set_thread_area takes
 *     the base of whichever thread wrote the entry last, once the emulator reloads segment
 *     registers (after every signal).  Wine is told set_thread_area is missing, so it keeps
 *     its TEB segments in the LDT, as it does on older kernels; and each thread's libc
 *     segment (%gs) moves to an LDT entry of its own as the thread starts.
 *
 * Freestanding apart from a few libc entry points (errno, dlsym, the signal mask), so it is
 * built with gcc -m32 -ffreestanding and linked by ld against the i386 libc that wine32
 * brings.  No stack protector: the canary lives in %gs, which this code changes. */

typedef unsigned int size_t;

#define NULL ((void*)0)

enum {
    SYS_exit = 1, SYS_open = 5, SYS_write = 4, SYS_munmap = 91, SYS_modify_ldt = 123,
    SYS_mmap2 = 192, SYS_set_thread_area = 243,
};
enum { EEXIST_ = 17, EINVAL_ = 22, ENOSYS_ = 38 };
enum { MAP_FIXED_ = 0x10, MAP_FIXED_NOREPLACE_ = 0x100000 };
enum { O_WRONLY_ = 01, O_CLOEXEC_ = 02000000 };
enum { SIGILL_ = 4, SIGTRAP_ = 5, SIGBUS_ = 7, SIGFPE_ = 8, SIGSEGV_ = 11, NSIG_ = 65 };
enum { SA_SIGINFO_ = 4 };
enum { SIG_BLOCK_ = 0, SIG_SETMASK_ = 2 };
/* i386 ucontext: uc_flags, uc_link, uc_stack (12 bytes), then the general registers. */
enum { GREGS_OFFSET = 20, REG_TRAPNO = 12, REG_ERR = 13 };
/* x86 trap numbers as the kernel reports them. */
enum { T_DIVIDE = 0, T_TRCTRAP = 1, T_BPTFLT = 3, T_OFLOW = 4, T_PRIVINFLT = 6, T_PROTFLT = 13,
       T_PAGEFLT = 14, T_ARITHTRAP = 16 };
enum { SI_KERNEL_ = 0x80, FPE_INTDIV_ = 1, FPE_INTOVF_ = 2, TRAP_TRACE_ = 2 };
enum { PF_WRITE = 2, PF_USER = 4 };

/* libc */
extern int* __errno_location(void);
extern void* dlsym(void* handle, const char* name);
extern int pthread_sigmask(int how, const void* set, void* old);
#define RTLD_NEXT ((void*)-1l)

/* A system call with up to six arguments, straight to the (emulated) kernel. */
long fix_syscall6(long number, long a1, long a2, long a3, long a4, long a5, long a6);
__asm__(".text\n"
        ".globl fix_syscall6\n"
        ".hidden fix_syscall6\n"
        ".type fix_syscall6,@function\n"
        "fix_syscall6:\n\t"
        "pushl %ebp\n\tpushl %edi\n\tpushl %esi\n\tpushl %ebx\n\t"
        "movl 20(%esp),%eax\n\tmovl 24(%esp),%ebx\n\tmovl 28(%esp),%ecx\n\tmovl 32(%esp),%edx\n\t"
        "movl 36(%esp),%esi\n\tmovl 40(%esp),%edi\n\tmovl 44(%esp),%ebp\n\t"
        "int $0x80\n\t"
        "popl %ebx\n\tpopl %esi\n\tpopl %edi\n\tpopl %ebp\n\t"
        "ret\n");

static int failed(long result) { return (unsigned long)result > -4096ul; }

static long with_errno(long result) {
    if (failed(result)) {
        *__errno_location() = (int)-result;
        return -1;
    }
    return result;
}

/* ---- 1. MAP_FIXED_NOREPLACE ------------------------------------------------------------ */

static void* map_pages(void* address, size_t length, int protection, int flags, int fd, long long offset) {
    /* mmap2 counts the offset in pages: an offset within a page is refused, as by libc, and
     * never rounded (Wine reads such image sections with pread when mmap refuses them). */
    if (offset & 4095) return (void*)with_errno(-EINVAL_);
    if ((flags & MAP_FIXED_NOREPLACE_) && !(flags & MAP_FIXED_)) {
        long result = fix_syscall6(SYS_mmap2, (long)address, (long)length, protection, flags & ~MAP_FIXED_NOREPLACE_,
                                   fd, (long)(offset >> 12));
        if (!failed(result) && (void*)result != address) {
            fix_syscall6(SYS_munmap, result, (long)length, 0, 0, 0, 0);
            result = -EEXIST_;
        }
        return (void*)with_errno(result);
    }
    return (void*)with_errno(fix_syscall6(SYS_mmap2, (long)address, (long)length, protection, flags, fd,
                                          (long)(offset >> 12)));
}

void* mmap(void* address, size_t length, int protection, int flags, int fd, long offset) {
    return map_pages(address, length, protection, flags, fd, offset);
}

void* mmap64(void* address, size_t length, int protection, int flags, int fd, long long offset) {
    return map_pages(address, length, protection, flags, fd, offset);
}

/* ---- 3a. set_thread_area: Wine calls it through syscall(); libc does not ---------------- */

long syscall(long number, long a1, long a2, long a3, long a4, long a5, long a6) {
    if (number == SYS_set_thread_area) return with_errno(-ENOSYS_);
    return with_errno(fix_syscall6(number, a1, a2, a3, a4, a5, a6));
}

/* ---- 2. Trap numbers in signal contexts --------------------------------------------- */

typedef struct {
    int si_signo;
    int si_errno;
    int si_code;
    void* si_addr;
} SignalInfo;

typedef void (*SignalHandler)(int, SignalInfo*, void*);

typedef struct {
    SignalHandler handler;
    unsigned long mask[32]; /* glibc's sigset_t, 128 bytes */
    int flags;
    void (*restorer)(void);
} SignalAction;

static SignalHandler wrapped_handlers[NSIG_];
static int null_device = -1;

static int wraps(int signal) {
    return signal == SIGSEGV_ || signal == SIGBUS_ || signal == SIGILL_ || signal == SIGFPE_ || signal == SIGTRAP_;
}

/* Whether the emulated process may read the byte at `address`: the emulator checks the
 * guest's page protection before it lets a system call read user memory. */
static int readable(const void* address) {
    return null_device >= 0 && !failed(fix_syscall6(SYS_write, null_device, (long)address, 1, 0, 0, 0));
}

static void describe_fault(int signal, const SignalInfo* info, int* gregs) {
    int trap = T_PAGEFLT, error = 0;
    switch (signal) {
    case SIGSEGV_:
        if (info->si_code == SI_KERNEL_) {
            trap = T_PROTFLT;
        } else {
            /* A fault on a page that can be read came from a write. */
            error = PF_USER | (readable(info->si_addr) ? PF_WRITE : 0);
        }
        break;
    case SIGBUS_: error = PF_USER; break;
    case SIGILL_: trap = T_PRIVINFLT; break;
    case SIGFPE_:
        trap = info->si_code == FPE_INTDIV_ ? T_DIVIDE : info->si_code == FPE_INTOVF_ ? T_OFLOW : T_ARITHTRAP;
        break;
    case SIGTRAP_: trap = info->si_code == TRAP_TRACE_ ? T_TRCTRAP : T_BPTFLT; break;
    }
    gregs[REG_TRAPNO] = trap;
    gregs[REG_ERR] = error;
}

static void fault_trampoline(int signal, SignalInfo* info, void* context) {
    int* gregs = (int*)((char*)context + GREGS_OFFSET);
    if (gregs[REG_TRAPNO] == -1) describe_fault(signal, info, gregs);
    wrapped_handlers[signal](signal, info, context);
}

int sigaction(int signal, const SignalAction* action, SignalAction* old) {
    static int (*next)(int, const SignalAction*, SignalAction*);
    if (!next) next = (int (*)(int, const SignalAction*, SignalAction*))dlsym(RTLD_NEXT, "sigaction");
    if (signal <= 0 || signal >= NSIG_ || !wraps(signal)) return next(signal, action, old);

    SignalHandler previous = wrapped_handlers[signal];
    SignalAction replacement;
    const SignalAction* given = action;
    if (action && (action->flags & SA_SIGINFO_) && (unsigned long)action->handler > 1) {
        /* In place before the trampoline is, so a signal arriving meanwhile finds it. */
        wrapped_handlers[signal] = action->handler;
        replacement = *action;
        replacement.handler = fault_trampoline;
        given = &replacement;
    }
    int result = next(signal, given, old);
    if (result != 0) {
        wrapped_handlers[signal] = previous;
        return result;
    }
    if (action && given == action) wrapped_handlers[signal] = NULL;
    if (old && old->handler == fault_trampoline) old->handler = previous;
    return result;
}

/* ---- 3b. Each thread's libc segment in an LDT entry of its own ---------------------- */

typedef struct {
    unsigned int entry_number;
    unsigned int base_addr;
    unsigned int limit;
    unsigned int flags; /* seg_32bit:1 contents:2 read_exec_only:1 limit_in_pages:1 seg_not_present:1 useable:1 */
} SegmentDescriptor;

enum { SEG_32BIT = 1, LIMIT_IN_PAGES = 1 << 4, USEABLE = 1 << 6 };
/* Wine leaves the LDT entries below 512 alone once it sees %gs in the LDT; entry 0 stays
 * unused so no selector of ours looks like a null selector. */
enum { FIRST_TLS_ENTRY = 1, LAST_TLS_ENTRY = 511 };

static int next_tls_entry = LAST_TLS_ENTRY;
static unsigned short gdt_tls_selector;
static int gdt_entry_busy;

static unsigned short current_gs(void) {
    unsigned short selector;
    __asm__ volatile("movw %%gs,%0" : "=r"(selector));
    return selector;
}

static void load_gs(unsigned short selector) { __asm__ volatile("movw %0,%%gs" : : "r"(selector) : "memory"); }

/* libc's thread pointer: the first word of its thread control block points to itself. */
static unsigned int thread_pointer(void) {
    unsigned int pointer;
    __asm__ volatile("movl %%gs:0,%0" : "=r"(pointer));
    return pointer;
}

/* Moves the calling thread's %gs to a fresh LDT entry with the same base.  When the entries
 * run out the thread stays on the shared GDT entry, as without this library. */
static void move_tls_to_ldt(void) {
    int entry = __atomic_fetch_sub(&next_tls_entry, 1, __ATOMIC_RELAXED);
    if (entry < FIRST_TLS_ENTRY) return;
    SegmentDescriptor descriptor = {(unsigned int)entry, thread_pointer(), 0xfffff,
                                    SEG_32BIT | LIMIT_IN_PAGES | USEABLE};
    if (failed(fix_syscall6(SYS_modify_ldt, 0x11, (long)&descriptor, sizeof descriptor, 0, 0, 0))) return;
    load_gs((unsigned short)(entry << 3 | 7));
}

typedef struct {
    void* (*start)(void*);
    void* argument;
} ThreadStart;

extern void* malloc(size_t size);
extern void free(void* block);

static void* thread_trampoline(void* opaque) {
    move_tls_to_ldt();
    ThreadStart start = *(ThreadStart*)opaque;
    free(opaque);
    return start.start(start.argument);
}

/* libc's clone takes the TLS entry number from the caller's %gs and only accepts a GDT
 * entry, so the creating thread goes back to the GDT entry, refreshed with its own base,
 * for the length of the call, with signals blocked so none reloads %gs meanwhile. */
int pthread_create(void* thread, const void* attributes, void* (*start)(void*), void* argument) {
    static int (*next)(void*, const void*, void* (*)(void*), void*);
    if (!next) next = (int (*)(void*, const void*, void* (*)(void*), void*))dlsym(RTLD_NEXT, "pthread_create");
    unsigned short own = current_gs();
    if (!gdt_tls_selector || !(own & 4)) return next(thread, attributes, start, argument);

    ThreadStart* bundle = (ThreadStart*)malloc(sizeof *bundle);
    if (!bundle) return 11; /* EAGAIN */
    bundle->start = start;
    bundle->argument = argument;

    unsigned long all[32], saved[32];
    for (int i = 0; i < 32; ++i) all[i] = ~0ul;
    pthread_sigmask(SIG_BLOCK_, all, saved);
    /* One thread at a time: the GDT entry is shared. */
    while (__atomic_exchange_n(&gdt_entry_busy, 1, __ATOMIC_ACQUIRE)) __builtin_ia32_pause();
    SegmentDescriptor descriptor = {gdt_tls_selector >> 3, thread_pointer(), 0xfffff,
                                    SEG_32BIT | LIMIT_IN_PAGES | USEABLE};
    int result;
    if (failed(fix_syscall6(SYS_set_thread_area, (long)&descriptor, 0, 0, 0, 0, 0))) {
        result = 11; /* EAGAIN */
    } else {
        load_gs(gdt_tls_selector);
        result = next(thread, attributes, thread_trampoline, bundle);
        load_gs(own);
    }
    __atomic_store_n(&gdt_entry_busy, 0, __ATOMIC_RELEASE);
    pthread_sigmask(SIG_SETMASK_, saved, NULL);
    if (result != 0) free(bundle);
    return result;
}

__attribute__((constructor)) static void fix_initialise(void) {
    null_device = (int)fix_syscall6(SYS_open, (long)"/dev/null", O_WRONLY_ | O_CLOEXEC_, 0, 0, 0, 0);
    unsigned short gs = current_gs();
    if (gs & 4) return; /* already in the LDT */
    gdt_tls_selector = gs;
    move_tls_to_ldt();
}
