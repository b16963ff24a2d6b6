// The guard around a call into an unknown library. MinGW's GCC has no __try/__except, and the two
// Windows architectures handle exceptions differently, so each gets a few lines of assembly:
//
// i686 (frame-based). Every thread keeps a chain of EXCEPTION_REGISTRATION records, its head at
// fs:[0]; on a fault the system calls each record's handler in turn, newest first. The guard puts
// one record on its own stack frame:
//
//     ebp-28  next     the previous head of the chain
//     ebp-24  handler  UninstGuardHandler
//     ebp-20  frame    the guard's ebp, so the handler can get back into the guard
//
// (below the saved ebx, esi, edi and the caller's x87 control word), links it in, and calls the
// function. When a fault reaches the handler it does what a compiler's __except does: RtlUnwind up
// to the guard's record, so the handlers the library registered run their clean-up and leave the
// chain, and then it never returns to the dispatcher: it loads the guard's ebp and jumps to the
// guard's exit, which rebuilds esp from ebp. Returning "continue execution" with an edited context
// would not do: exceptions raised as non-continuable (a C++ throw is) would come back as
// STATUS_NONCONTINUABLE_EXCEPTION. The exit takes the record off the chain by restoring the head it
// saved (whatever the library left above it is gone with its frames), clears the direction flag and
// puts the x87 state back (libraries built with other compilers change the precision). Works on the
// 9x family too (RtlUnwind is kernel32's there), and under SEHOP: the chain stays well-formed. The
// image carries no SafeSEH table and not the NO_SEH flag, so the handler is accepted.
//
// x86-64 (table-based). There is no chain: the system finds handlers through each function's unwind
// data. The guard's unwind data names UninstGuardHandler as its exception handler (.seh_handler);
// the handler calls RtlUnwindEx with the guard's frame and its exit as the target, as the C
// compiler's __C_specific_handler does for __except: the library's frames are unwound, the guard's
// nonvolatile registers come back from the unwind, rax = 1, and execution goes on at the exit.
#include "removal/fault_guard.h"

// 0 when the function returned, 1 when the guard caught a fault.
extern "C" int UninstGuardedCall(GuardedFunction function);

#if defined(__i386__)
asm(R"(
    .section .text$uninst_fault_guard,"xr"
    .globl _UninstGuardedCall
    .def _UninstGuardedCall; .scl 2; .type 32; .endef
_UninstGuardedCall:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    subl $4, %esp
    fnstcw (%esp)                    # ebp-16: the caller's x87 control word
    pushl %ebp                       # ebp-20: record.frame
    pushl $_UninstGuardHandler       # ebp-24: record.handler
    pushl %fs:0                      # ebp-28: record.next
    movl %esp, %fs:0                 # the record heads the chain
    call *8(%ebp)                    # the function (__stdcall, no arguments)
    xorl %eax, %eax
UninstGuardExit:
    leal -28(%ebp), %esp             # from ebp: a callee that popped a wrong amount cannot move it
    popl %ecx
    movl %ecx, %fs:0                 # the chain as it was before the call
    addl $8, %esp
    cld
    fninit
    fldcw (%esp)
    addl $4, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret

    # EXCEPTION_DISPOSITION __cdecl (EXCEPTION_RECORD*, void* record, CONTEXT*, void*)
    .def _UninstGuardHandler; .scl 3; .type 32; .endef
_UninstGuardHandler:
    movl 4(%esp), %eax
    testl $6, 4(%eax)                # EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND: not ours to stop
    jz UninstGuardCatch
    movl $1, %eax                    # ExceptionContinueSearch
    ret
UninstGuardCatch:
    movl 8(%esp), %ecx
    pushl $0                         # return value
    pushl %eax                       # the exception record
    pushl $0                         # target ip: the i386 RtlUnwind returns to its caller
    pushl %ecx                       # unwind every record newer than the guard's
    call _RtlUnwind@16
    movl 8(%esp), %ecx               # __stdcall: esp is back where it was
    movl 8(%ecx), %ebp               # record.frame: the guard's ebp
    movl $1, %eax
    jmp UninstGuardExit
    .text
)");
#elif defined(__x86_64__)
asm(R"(
    .section .text$uninst_fault_guard,"xr"
    .globl UninstGuardedCall
    .def UninstGuardedCall; .scl 2; .type 32; .endef
    .seh_proc UninstGuardedCall
UninstGuardedCall:
    subq $40, %rsp                   # the callee's home space, rsp 16-aligned at the call
    .seh_stackalloc 40
    .seh_handler UninstGuardHandler, @except
    .seh_endprologue
    callq *%rcx
    xorl %eax, %eax
UninstGuardExit:
    addq $40, %rsp
    ret
    .seh_endproc

    # EXCEPTION_DISPOSITION (EXCEPTION_RECORD*, void* frame, CONTEXT*, DISPATCHER_CONTEXT*)
    .def UninstGuardHandler; .scl 3; .type 32; .endef
    .seh_proc UninstGuardHandler
UninstGuardHandler:
    subq $56, %rsp
    .seh_stackalloc 56
    .seh_endprologue
    testl $0x66, 4(%rcx)             # any unwind flag: not ours to stop
    jz UninstGuardCatch
    movl $1, %eax                    # ExceptionContinueSearch
    addq $56, %rsp
    ret
UninstGuardCatch:
    movq $0, 40(%rsp)                # history table
    movq %r8, 32(%rsp)               # the context record, as scratch
    movq %rcx, %r8                   # the exception record
    movq %rdx, %rcx                  # target frame: the guard's
    leaq UninstGuardExit(%rip), %rdx # target ip
    movl $1, %r9d                    # rax at the target
    callq *__imp_RtlUnwindEx(%rip)
    int3                             # RtlUnwindEx does not return
    .seh_endproc
    .text
)");
#else
#error "the fault guard knows i686 and x86-64 only"
#endif

bool CallWithFaultGuard(GuardedFunction function) {
    return UninstGuardedCall(function) == 0;
}
