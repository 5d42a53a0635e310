/** @file
  The clock settings request: a fixed 100 MHz clock configuration with spread-spectrum
  clocking on or off, sent to the firmware's clock client when QUARN firmware runs
  outside recovery. The answer comes back in the same 48-byte buffer and only its
  command and response words are looked at.
**/
extern "C" {
#include <PiPei.h>
#include <Library/DebugLib.h>
#include <Library/PeiServicesLib.h>
#include <Library/PeiServicesTablePointerLib.h>
}
#include <Library/QuarnCloxLib.h>
#include <Library/VornTypeGetLib.h>
#include <Ppi/Drux.h>

namespace {

constexpr UINT32 kHeaderWord0 = CLOX_HEADER_WORD0;
constexpr UINT32 kCloxCommandSetGetClockingMode = CLOX_COMMAND_SET_GET_CLOCKING_MODE;
constexpr UINT32 kCloxResponseOk = CLOX_RESPONSE_OK;
constexpr UINT32 kBodyLength = sizeof(CLOX_CLOCK_SETTINGS) - sizeof(CLOX_HEADER);
static_assert(kBodyLength == 28, "28 bytes follow the header");
constexpr UINT16 kSelector = 2;

constexpr UINT32 kFrequencyHz = 100000000;
constexpr UINT8 kSscPercentageOn = 50;
constexpr UINT8 kSscPercentageOff = 0;
constexpr UINT16 kClockFlagBit4 = 1u << 4;
constexpr UINT16 kClockFlagBit5 = 1u << 5;

}  // namespace

extern "C" {

/**
  Sends the clock settings with spread-spectrum clocking on or off.
  @param Enable  TRUE: SSC percentage 50; FALSE: 0.
  @return The status of QuarnSetGetCurrenClockingMode.
**/
EFI_STATUS PeiDruxSetSSCAlternate(IN BOOLEAN Enable) {
  const BOOLEAN On = Enable != FALSE ? TRUE : FALSE;
  DEBUG ((DEBUG_INFO, "[VORN] PeiDruxSetSSCAlternate(%d)\n", static_cast<UINT32>(On)));

  CLOX_CLOCK_SETTINGS Message;
  CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer();
  (*PeiServices)->SetMem(&Message, sizeof(Message), 0);

  Message.Frequency = kFrequencyHz;
  Message.ClockFlags = static_cast<UINT16>((Message.ClockFlags & ~kClockFlagBit5) | kClockFlagBit4);
  Message.SscPercentage = On ? kSscPercentageOn : kSscPercentageOff;
  DEBUG ((DEBUG_INFO, "[VORN] PeiDruxSetSSCAlternate sets SSC percentage to %d\n",
          static_cast<UINT32>(Message.SscPercentage)));

  const EFI_STATUS Status = QuarnSetGetCurrenClockingMode(&Message);
  DEBUG ((DEBUG_INFO, "[VORN] PeiDruxSetSSCAlternate exit status = %r \n", Status));
  return Status;
}

/**
  Writes the header of Message, sends it to the clock client and checks the answer.
  @param Message  The clock settings with the body filled in; holds the answer afterwards.
  @return EFI_UNSUPPORTED when the firmware is not QUARN or is in recovery;
          EFI_INVALID_PARAMETER for a NULL Message; EFI_DEVICE_ERROR when DRUX_PPI is
          missing or the answer carries a wrong command or a non-zero response; otherwise
          the status of the send. The exit line is printed on every path.
**/
EFI_STATUS QuarnSetGetCurrenClockingMode(IN OUT CLOX_CLOCK_SETTINGS *Message) {
  DEBUG ((DEBUG_INFO, "[CLOX] QuarnSetGetCurrenClockingMode\n"));
  EFI_STATUS Status;
  DRUX_PPI *Drux = nullptr;

  if (!VornTypeIsQuarn() || QuarnIsInRecovery()) {
    Status = EFI_UNSUPPORTED;
  } else if (Message == nullptr) {
    Status = EFI_INVALID_PARAMETER;
  } else if (EFI_ERROR(PeiServicesLocatePpi(&gDruxPpiGuid, 0, nullptr, reinterpret_cast<VOID **>(&Drux))) ||
             Drux == nullptr || Drux->SendWithAck == nullptr) {
    Status = EFI_DEVICE_ERROR;
  } else {
    Message->Header.HeaderWord0 = kHeaderWord0;
    Message->Header.CloxCommand = kCloxCommandSetGetClockingMode;
    Message->Header.CloxResponse = kCloxResponseOk;
    Message->Header.BufferLength = kBodyLength;
    Message->Header.Reserved = 0;
    Message->Selector = kSelector;
    UINT32 ResponseLength = sizeof(CLOX_CLOCK_SETTINGS);
    Status = Drux->SendWithAck(0, Message, sizeof(CLOX_CLOCK_SETTINGS), &ResponseLength, 0, DRUX_CLIENT_CLOX);
    if (!EFI_ERROR(Status) && (Message->Header.CloxCommand != kCloxCommandSetGetClockingMode ||
                               Message->Header.CloxResponse != kCloxResponseOk)) {
      DEBUG ((DEBUG_ERROR,
              "(CLOX) QuarnSetGetCurrenClockingMode: Wrong response! Header.CloxResponse = 0x%x\n",
              Message->Header.CloxResponse));
      Status = EFI_DEVICE_ERROR;
    }
  }

  DEBUG ((DEBUG_INFO, "[CLOX] QuarnSetGetCurrenClockingMode exit status = %r \n", Status));
  return Status;
}
}
