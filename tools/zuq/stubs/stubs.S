// The stub files, copied into read-only data at build time. The build passes
// their paths (an empty file where a stub was not built).
#if defined(_WIN32)
    .section .rdata,"dr"
#else
    .section .rodata
#endif
#if defined(_WIN32) && defined(__i386__)
#define SYMBOL(name) _##name
#else
#define SYMBOL(name) name
#endif
    .balign 16
    .globl SYMBOL(zuqStubI686)
    .globl SYMBOL(zuqStubI686End)
SYMBOL(zuqStubI686):
    .incbin QM_STUB_I686_FILE
SYMBOL(zuqStubI686End):
    .balign 16
    .globl SYMBOL(zuqStubX8664)
    .globl SYMBOL(zuqStubX8664End)
SYMBOL(zuqStubX8664):
    .incbin QM_STUB_X86_64_FILE
SYMBOL(zuqStubX8664End):
#if defined(__ELF__)
    .section .note.GNU-stack,"",@progbits
#endif
