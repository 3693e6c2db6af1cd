/* Does this kernel run 32-bit code the way Wine's WoW64 mode needs it?  Exit status 0: yes; 1: no.
 *
 * WoW64 Wine switches a 64-bit process to the kernel's 32-bit user code segment (selector 0x23) for every
 * 32-bit instruction. Some kernels give 64-bit processes no such segment: the far return into it faults, and
 * a 32-bit Windows program dies before its first instruction with nothing said. So a child process does
 * exactly that switch: it far-returns into a few bytes of 32-bit code, which load a value and far-return to
 * 64-bit code (selector 0x33). A fault kills only the child.
 *
 * Built static and not position-independent (scripts/wine-vm.sh), so that the 64-bit return address fits the
 * 32 bits the 32-bit far return pops. */
#include <stdint.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

static int run_32bit_code(void) {
    /* Below 4 GiB, so the 32-bit code can use it as code and as its stack. */
    unsigned char* page = mmap(NULL, 4096, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT,
                               -1, 0);
    if (page == MAP_FAILED) return 2;
    static const unsigned char code32[] = {
        0xB8, 0x34, 0x12, 0x00, 0x00, /* mov eax, 0x1234 */
        0xCB,                         /* retf: pops the 32-bit offset, then the selector */
    };
    memcpy(page, code32, sizeof code32);
    uint32_t eax;
    __asm__ volatile(
        "mov %%rsp, %%r12\n\t"          /* the 64-bit stack, restored on the way back */
        "lea -64(%[top]), %%rsp\n\t"     /* a stack the 32-bit code can address */
        "lea 1f(%%rip), %%rax\n\t"
        "sub $8, %%rsp\n\t"
        "movl %%eax, (%%rsp)\n\t"        /* where the 32-bit retf goes: 0x33:1f */
        "movl $0x33, 4(%%rsp)\n\t"
        "pushq $0x23\n\t"                /* and where lretq goes: 0x23:page */
        "pushq %[code]\n\t"
        "lretq\n"
        "1:\n\t"
        "mov %%r12, %%rsp\n\t"
        "mov %%eax, %[eax]\n\t"
        : [eax] "=r"(eax)
        : [top] "r"(page + 4096), [code] "r"((uint64_t)(uintptr_t)page)
        : "rax", "r12", "memory", "cc");
    return eax == 0x1234 ? 0 : 3;
}

int main(void) {
    pid_t child = fork();
    if (child < 0) return 1;
    if (child == 0) _exit(run_32bit_code());
    int status = 0;
    if (waitpid(child, &status, 0) != child) return 1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
