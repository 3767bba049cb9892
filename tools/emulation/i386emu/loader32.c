/* The 32-bit Wine loader as the emulated processes need it: runs FWUPGRADE_WINE_DIR/wine32
 * under FWUPGRADE_QEMU with the fix-ups in LD_PRELOAD, passing every argument and every other
 * environment variable through untouched (a shell script would drop the variables whose
 * names are no shell identifiers, which Wine passes between its processes).  The emulated
 * program sees itself as FWUPGRADE_WINE_DIR/wine, so Wine finds this program again when it
 * starts the next 32-bit process.  The paths are set when i386-host.sh builds it. */
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

int main(int argc, char** argv) {
    /* The preload's path holds $LIB, so 64-bit processes started from an emulated one load
     * the no-op library of the same name.  The 32-bit loader would re-execute itself first
     * (through wine-preloader, to reserve its address space), which the kernel cannot do:
     * it runs as it is instead, and the fix-ups keep its reservations cheap. */
    if (setenv("LD_PRELOAD", FWUPGRADE_PRELOAD, 1) != 0 || setenv("WINELOADERNOEXEC", "1", 1) != 0) {
        perror("setenv");
        return 127;
    }
    char** arguments = calloc((size_t)argc + 4, sizeof *arguments);
    if (!arguments) return 127;
    arguments[0] = (char*)FWUPGRADE_QEMU;
    arguments[1] = (char*)"-0";
    arguments[2] = (char*)FWUPGRADE_WINE_DIR "/wine";
    arguments[3] = (char*)FWUPGRADE_WINE_DIR "/wine32";
    for (int i = 1; i < argc; ++i) arguments[i + 3] = argv[i];
    execv(FWUPGRADE_QEMU, arguments);
    perror(FWUPGRADE_QEMU);
    return 127;
}
