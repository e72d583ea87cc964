#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "FaultGuard.h"

namespace sorvane {
namespace {

// Reads through a pointer the optimiser cannot see through.
int ReadThrough(volatile int* pointer) { return *pointer; }

volatile int g_quotient;
__attribute__((noinline)) void Divide(volatile int a, volatile int b) { g_quotient = a / b; }

TEST(FaultGuard, CompletedCallReturnsZero) {
    int ran = 0;
    EXPECT_EQ(RunGuarded([&] { ran = 1; }), 0u);
    EXPECT_EQ(ran, 1);
}

TEST(FaultGuard, TurnsFaultsAndExceptionsIntoCodes) {
    volatile int* null = nullptr;
    EXPECT_EQ(RunGuarded([&] { ReadThrough(null); }), static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_EQ(RunGuarded([&] { Divide(1, 0); }), static_cast<DWORD>(EXCEPTION_INT_DIVIDE_BY_ZERO));
    EXPECT_EQ(RunGuarded([] { throw std::runtime_error("escapes"); }), kCppExceptionCode);
    EXPECT_EQ(RunGuarded([] { RaiseException(0xE0001234, 0, 0, nullptr); }), 0xE0001234u);
}

TEST(FaultGuard, StateAfterAFaultIsUsable) {
    // Locals written before the fault keep their values, and the guard can be used again.
    volatile int* null = nullptr;
    int before = 0;
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(RunGuarded([&] {
                      before = i;
                      ReadThrough(null);
                  }),
                  static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
        EXPECT_EQ(before, i);
    }
}

TEST(FaultGuard, ExceptionsHandledInsideAreNotDisturbed) {
    int caught = 0;
    EXPECT_EQ(RunGuarded([&] {
                  try {
                      throw std::logic_error("inner");
                  } catch (const std::logic_error&) {
                      caught = 1;
                  }
              }),
              0u);
    EXPECT_EQ(caught, 1);
    // A nested guard handles its own fault; the outer call completes.
    volatile int* null = nullptr;
    DWORD inner = 0;
    EXPECT_EQ(RunGuarded([&] { inner = RunGuarded([&] { ReadThrough(null); }); }), 0u);
    EXPECT_EQ(inner, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
}

#if !defined(_WIN64)
void* HandlerChainHead() {
    void* head;
    __asm__ __volatile__("movl %%fs:0, %0" : "=r"(head));
    return head;
}

TEST(FaultGuard, LeavesTheHandlerChainAsItFoundIt) {
    // The guard links its record into the thread's chain for the call only, also when the call
    // ends in a fault.
    void* const before = HandlerChainHead();
    void* inside = nullptr;
    RunGuarded([&] { inside = HandlerChainHead(); });
    EXPECT_NE(inside, before);
    EXPECT_EQ(HandlerChainHead(), before);
    volatile int* null = nullptr;
    RunGuarded([&] { ReadThrough(null); });
    EXPECT_EQ(HandlerChainHead(), before);
}
#endif

TEST(FaultGuard, AFaultAfterTheCallGoesToTheEnclosingHandler) {
    // An inner guard that has returned must not catch a later fault: the enclosing guard does,
    // and the code after the inner call has run.
    volatile int* null = nullptr;
    int step = 0;
    const DWORD code = RunGuarded([&] {
        EXPECT_EQ(RunGuarded([&] { step = 1; }), 0u);
        step = 2;
        ReadThrough(null);
        step = 3;
    });
    EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_EQ(step, 2);
}

TEST(FaultGuard, ThreadsDoNotSeeEachOthersFaults) {
    std::atomic<int> faults{0}, clean{0};
    auto faulting = [&] {
        volatile int* null = nullptr;
        for (int i = 0; i < 2000; ++i) {
            if (RunGuarded([&] { ReadThrough(null); }) == EXCEPTION_ACCESS_VIOLATION) ++faults;
        }
    };
    auto working = [&] {
        for (int i = 0; i < 2000; ++i) {
            volatile int sum = 0;
            if (RunGuarded([&] {
                    for (int k = 0; k < 100; ++k) sum = sum + k;
                }) == 0 &&
                sum == 4950) {
                ++clean;
            }
        }
    };
    std::thread a(faulting), b(working), c(faulting), d(working);
    a.join();
    b.join();
    c.join();
    d.join();
    EXPECT_EQ(faults.load(), 4000);
    EXPECT_EQ(clean.load(), 4000);
}

}  // namespace
}  // namespace sorvane
