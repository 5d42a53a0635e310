#include "DebugPrintSink.h"

namespace quarn::emu {

DebugPrintSink::DebugPrintSink(Board &B) {
  Ppi_.WriteMessage = WriteMessage;
  B.Provide(this);
}

VOID EFIAPI DebugPrintSink::WriteMessage(CONST CHAR8 *Message, UINTN Length) {
  auto *B = dynamic_cast<Board *>(GetCpuIntrinsicsBackend());
  DebugPrintSink *Sink = B ? B->Find<DebugPrintSink>() : nullptr;
  if (Sink == nullptr) return;
  B->TraceEvent("call", "DEBUG_PRINT_PPI.WriteMessage", Length);
  Sink->Messages_.emplace_back(Message == nullptr ? "" : std::string(Message, Length));
}

}  // namespace quarn::emu
