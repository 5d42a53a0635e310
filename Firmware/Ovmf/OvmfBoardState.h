/** @file
  What the OVMF test platform module keeps while PEI runs, and where: one GUID HOB of its
  own (named by its file GUID), since its image is no place to write and the HOB list
  moves with the PEI core to permanent memory. The HOB holds the counters, the PPI
  descriptors it installed, a log and, after them, the board description.

  The log: what the board has to say while the module runs (each stand-in call, each
  status code of the module) is written there and printed on the second UART at the end
  of PEI, so that no "board: " line lands inside a line the module is printing there.
**/
#pragma once

extern "C" {
#include <PiPei.h>
#include <Pi/PiHob.h>
#include <Pi/PiPeiCis.h>
}

#include "OvmfBoardDescription.h"

namespace ovmf_board {

inline constexpr UINTN kLogSize = 4096;
inline constexpr UINTN kPpiCount = 4;  // policy, DRUX_PPI, debug print, progress code

struct OVMF_BOARD_STATE {
  UINT32 StatusCodes;                         ///< every status code the board heard
  UINT32 ModuleStatusCodes;                   ///< those of the module
  UINT32 CallsMade;                           ///< stand-in calls
  UINT32 BootModeCallsMade;                   ///< GetBootMode calls the board answered
  UINT32 Breakpoints;                         ///< breakpoints of the module's assertions
  UINT32 DebugMessages;                       ///< DEBUG_PRINT_PPI messages
  UINT32 DebugHash;                           ///< FNV-1a of each message's length (4 bytes) and text
  UINT32 Errors;                              ///< "board: error" lines in the log
  EFI_PEI_GET_BOOT_MODE OriginalGetBootMode;  ///< the PEI core's, while the board answers
  UINT32 DescriptionSize;
  OVMF_BOARD_LAYOUT Layout;
  EFI_PEI_PPI_DESCRIPTOR Ppis[kPpiCount];
  UINT32 LogLength;
  UINT32 LogOverflow;
  CHAR8 Log[kLogSize + 4];  ///< NUL-terminated; DescriptionSize bytes follow
};
static_assert(sizeof(OVMF_BOARD_STATE) % 4 == 0, "the description after the state stays aligned");

/** The description, right after the state in the same HOB. */
inline UINT8 *BoardDescription(IN OVMF_BOARD_STATE *State) { return reinterpret_cast<UINT8 *>(State + 1); }

/** The PEI services pointer, from the word below the IDT (for the PPI entries that get none). */
CONST EFI_PEI_SERVICES **BoardPeiServices();
/** The data of the first GUID HOB named Name whose HobLength is at least MinLength, or nullptr. */
UINT8 *BoardFindGuidHob(IN CONST EFI_PEI_SERVICES **PeiServices, IN CONST EFI_GUID &Name, IN UINT16 MinLength);
/** The board's state HOB, or nullptr before the board made it. */
OVMF_BOARD_STATE *BoardState(IN CONST EFI_PEI_SERVICES **PeiServices);
/** The checked description's header. */
CONST OVMF_BOARD_HEADER *BoardHeader(IN CONST OVMF_BOARD_STATE *State);

/** Appends a NUL-terminated text to the log ("\n" as it is: printing makes it CR LF). */
VOID LogText(IN OUT OVMF_BOARD_STATE *State, IN CONST CHAR8 *Text);
/** Appends "0x" and eight upper-case hex digits. */
VOID LogHex32(IN OUT OVMF_BOARD_STATE *State, IN UINT32 Value);
/** Appends each byte as two upper-case hex digits. */
VOID LogBytes(IN OUT OVMF_BOARD_STATE *State, IN CONST UINT8 *Bytes, IN UINTN Length);
/** Appends Value in decimal. */
VOID LogDec(IN OUT OVMF_BOARD_STATE *State, IN UINT32 Value);
/** Appends "board: error: ", the text and a line end, and counts the error. */
VOID LogError(IN OUT OVMF_BOARD_STATE *State, IN CONST CHAR8 *Text);

/** The PPIs of the stand-in: DRUX_PPI (by the description's NULL-entry flags), DEBUG_PRINT_PPI. */
CONST VOID *BoardDruxPpi(IN UINT32 Flags);
CONST VOID *BoardDebugPrintPpi();
/** Takes over GetBootMode in the PEI services table for the described calls. */
VOID BoardTakeGetBootMode(IN CONST EFI_PEI_SERVICES **PeiServices, IN OUT OVMF_BOARD_STATE *State);
/** Points the breakpoint vector of the current IDT at the board's handler, which counts and returns. */
BOOLEAN BoardCatchBreakpoints();

}  // namespace ovmf_board
