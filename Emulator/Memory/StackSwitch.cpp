#include "StackSwitch.h"

#include <exception>

#include "Emulator/Memory/Sanitizer.h"

// Calls Function(Argument) with the stack pointer at StackTop (16-byte aligned as the
// i386 System V ABI wants it at a call), then returns on the caller's stack. The frame
// pointer keeps the caller's frame, so debuggers and the unwinder see through the switch.
extern "C" void QuarnCallOnStack(void (*Function)(void *), void *Argument, void *StackTop);
asm(R"(
  .text
  .globl QuarnCallOnStack
  .type QuarnCallOnStack, @function
QuarnCallOnStack:
  .cfi_startproc
  pushl %ebp
  .cfi_def_cfa_offset 8
  .cfi_offset %ebp, -8
  movl %esp, %ebp
  .cfi_def_cfa_register %ebp
  movl 16(%ebp), %esp
  andl $-16, %esp
  subl $12, %esp
  pushl 12(%ebp)
  call *8(%ebp)
  movl %ebp, %esp
  popl %ebp
  .cfi_def_cfa %esp, 4
  ret
  .cfi_endproc
  .size QuarnCallOnStack, .-QuarnCallOnStack
)");

namespace quarn::emu {

namespace {

struct StackCall {
  const std::function<void()> *Body;
  std::exception_ptr Error;
  const void *HostBottom = nullptr;
  size_t HostBytes = 0;
};

/// Runs on the new stack: nothing may unwind out of it, so an exception is kept for the
/// caller.
void OnNewStack(void *Argument) {
  auto *Call = static_cast<StackCall *>(Argument);
  FinishStackSwitch(nullptr, &Call->HostBottom, &Call->HostBytes);
  try {
    (*Call->Body)();
  } catch (...) {
    Call->Error = std::current_exception();
  }
  StartStackSwitch(nullptr, Call->HostBottom, Call->HostBytes);
}

}  // namespace

void RunOnStack(uint8_t *Bottom, size_t Bytes, const std::function<void()> &Body) {
  StackCall Call{&Body, nullptr};
  void *Save = nullptr;
  StartStackSwitch(&Save, Bottom, Bytes);
  QuarnCallOnStack(OnNewStack, &Call, Bottom + Bytes);
  FinishStackSwitch(Save, nullptr, nullptr);
  if (Call.Error) std::rethrow_exception(Call.Error);
}

}  // namespace quarn::emu
