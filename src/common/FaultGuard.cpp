#include "FaultGuard.h"

namespace sorvane::detail {

namespace {
// Only failures stop a guarded call: warnings and notices (thread naming, debug output) that
// nobody inside handled keep travelling as they would without the guard.
bool IsErrorSeverity(DWORD code) { return (code & 0xC0000000u) == 0xC0000000u; }
}  // namespace

#if defined(_WIN64)
extern "C" void sorvane_guard_landing();

extern "C" EXCEPTION_DISPOSITION sorvane_guard_handler(EXCEPTION_RECORD* record, void* frame,
                                                       CONTEXT* context, void* dispatcher) {
    if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0 ||
        !IsErrorSeverity(record->ExceptionCode)) {
        return ExceptionContinueSearch;
    }
    // Unwinds the frames above the guard (their cleanups run) and resumes at the landing in
    // sorvane_guard_call with the exception code as its return value.
    auto* dc = static_cast<DISPATCHER_CONTEXT*>(dispatcher);
    RtlUnwindEx(frame, reinterpret_cast<void*>(&sorvane_guard_landing), record,
                reinterpret_cast<void*>(static_cast<ULONG_PTR>(record->ExceptionCode)), context,
                dc->HistoryTable);
    return ExceptionContinueSearch;  // not reached
}
#else
extern "C" __attribute__((noreturn)) void sorvane_guard_resume(void* frame, DWORD code);

extern "C" EXCEPTION_DISPOSITION __cdecl sorvane_guard_handler(EXCEPTION_RECORD* record, void* frame,
                                                               CONTEXT* context, void* dispatcher) {
    if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0 ||
        !IsErrorSeverity(record->ExceptionCode)) {
        return ExceptionContinueSearch;
    }
    // Runs the unwind handlers of the frames registered above ours, then resumes in
    // sorvane_guard_call with its stack and registers as they were when it armed the guard.
    RtlUnwind(frame, nullptr, record, nullptr);
    sorvane_guard_resume(frame, record->ExceptionCode);
}
#endif

}  // namespace sorvane::detail
