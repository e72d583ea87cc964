# DWORD sorvane_guard_call(void (*body)(void*), void* context)   (cdecl)
# Links a registration record for sorvane_guard_handler into the thread's handler chain
# (fs:0), calls body(context) and unlinks it. The record sits at a fixed distance below the
# saved ebp, so sorvane_guard_resume can rebuild this frame from the record's address.
        .text
        .globl  _sorvane_guard_call
        .globl  _sorvane_guard_resume
        .def    _sorvane_guard_call; .scl 2; .type 32; .endef
_sorvane_guard_call:
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        pushl   $_sorvane_guard_handler
        pushl   %fs:0
        movl    %esp, %fs:0            # record at ebp-20: next, handler
        pushl   12(%ebp)
        call    *8(%ebp)
        addl    $4, %esp
        xorl    %eax, %eax
resume:
        popl    %ecx
        movl    %ecx, %fs:0
        addl    $4, %esp
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret

# void sorvane_guard_resume(void* record, DWORD code): continues sorvane_guard_call after a
# fault, returning code. Called by the handler once the frames above have been unwound.
        .def    _sorvane_guard_resume; .scl 2; .type 32; .endef
_sorvane_guard_resume:
        movl    8(%esp), %eax
        movl    4(%esp), %ecx
        movl    %ecx, %esp
        leal    20(%ecx), %ebp
        jmp     resume
