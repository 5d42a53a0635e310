/** @file
  DRUX_PPI: the request/response channel to the VORN firmware, installed by another
  module. This module calls the first entry (SendWithAck) and the sixth (GetVornStatus).
  Neither entry receives the PPI pointer.

  SendWithAck contract:
    - Buffer holds the request on entry; on a non-error status it holds the response
      from offset 0 and *ResponseLength its length in bytes.
    - *ResponseLength on entry is the capacity of Buffer for the response.
    - An error status means no usable response: callers do not read Buffer then.
**/
#pragma once

#include <Base.h>

inline constexpr EFI_GUID gDruxPpiGuid =
  {0x6A1C2F3E, 0x5B7D, 0x4E21, {0x9C, 0x3A, 0x71, 0x0D, 0x42, 0xB8, 0xE5, 0x16}};

/// Firmware client addresses used by this module.
constexpr UINT8 DRUX_CLIENT_MANAGEMENT = 0x07;
constexpr UINT8 DRUX_CLIENT_CLOX   = 0x08;
constexpr UINT8 DRUX_CLIENT_QUARN  = 0x20;

/// Header word of the client 7 messages (type query, pre-DID reset): GroupId bits 7:0,
/// Command bits 14:8, IsResponse bit 15; bits 31:16 zero in a request.
constexpr UINT32 DRUX_HEADER_GROUP_ID_MASK = 0x000000FF;
constexpr UINT32 DRUX_HEADER_COMMAND_MASK  = 0x00007F00;
constexpr UINT32 DRUX_HEADER_IS_RESPONSE   = 0x00008000;

/// The request header word of GroupId and Command.
constexpr UINT32 DruxRequestHeader(UINT32 GroupId, UINT32 Command) { return (Command << 8) | GroupId; }
/// GroupId of a header word.
constexpr UINT32 DruxHeaderGroupId(UINT32 Header) { return Header & DRUX_HEADER_GROUP_ID_MASK; }
/// Command of a header word.
constexpr UINT32 DruxHeaderCommand(UINT32 Header) { return (Header & DRUX_HEADER_COMMAND_MASK) >> 8; }
/// TRUE when the header word has IsResponse set.
constexpr bool DruxHeaderIsResponse(UINT32 Header) { return (Header & DRUX_HEADER_IS_RESPONSE) != 0; }

typedef EFI_STATUS (EFIAPI *DRUX_SEND_WITH_ACK)(
  IN UINT32     DeviceIndex,
  IN OUT VOID   *Buffer,
  IN UINT32     RequestLength,
  IN OUT UINT32 *ResponseLength,
  IN UINT8      HostAddress,
  IN UINT8      ClientAddress);

typedef EFI_STATUS (EFIAPI *DRUX_READ_MESSAGE)(
  IN UINT32     DeviceIndex,
  IN UINT32     Blocking,
  IN OUT VOID   *Buffer,
  IN OUT UINT32 *Length);

typedef EFI_STATUS (EFIAPI *DRUX_SEND_MESSAGE)(
  IN UINT32     DeviceIndex,
  IN VOID       *Buffer,
  IN UINT32     Length,
  IN UINT8      HostAddress,
  IN UINT8      ClientAddress);

typedef EFI_STATUS (EFIAPI *DRUX_RESET_INTERFACE)(IN UINT32 DeviceIndex);

typedef EFI_STATUS (EFIAPI *DRUX_INITIALIZE_INTERFACE)(IN UINT32 DeviceIndex);

typedef EFI_STATUS (EFIAPI *DRUX_GET_VORN_STATUS)(OUT UINT32 *Status);

typedef struct {
  DRUX_SEND_WITH_ACK        SendWithAck;          // entry 1
  DRUX_READ_MESSAGE         ReadMessage;          // entry 2, not used here
  DRUX_SEND_MESSAGE         SendMessage;          // entry 3, not used here
  DRUX_RESET_INTERFACE      ResetInterface;       // entry 4, not used here
  DRUX_INITIALIZE_INTERFACE InitializeInterface;  // entry 5, not used here
  DRUX_GET_VORN_STATUS      GetVornStatus;        // entry 6
} DRUX_PPI;
static_assert(offsetof(DRUX_PPI, GetVornStatus) == 5 * sizeof(VOID *), "GetVornStatus is the sixth entry");
static_assert(sizeof(DRUX_PPI) == 6 * sizeof(VOID *), "six entries");
