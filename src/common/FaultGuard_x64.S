# DWORD sorvane_guard_call(void (*body)(void*), void* context)
# Calls body(context) with sorvane_guard_handler as the frame's exception handler. A fault
# that no inner frame handles is unwound to sorvane_guard_landing with its code in eax.
        .text
        .globl  sorvane_guard_call
        .globl  sorvane_guard_landing
        .def    sorvane_guard_call; .scl 2; .type 32; .endef
        .seh_proc sorvane_guard_call
sorvane_guard_call:
        subq    $40, %rsp
        .seh_stackalloc 40
        .seh_handler sorvane_guard_handler, @except
        .seh_endprologue
        movq    %rcx, %rax
        movq    %rdx, %rcx
        call    *%rax
        xorl    %eax, %eax
        nop
sorvane_guard_landing:
        addq    $40, %rsp
        ret
        .seh_endproc
