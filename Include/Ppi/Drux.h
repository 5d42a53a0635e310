/** @file
  DRUX_PPI: the request/response channel to the VORN firmware, installed by another
  module. This module calls the first entry (SendWithAck) and the sixth (GetVornStatus).
  Neither entry receives the PPI pointer.

  SendWithAck contract:
    - Buffer holds the request on entry; on a non-error status it holds the response
      from offset 0 and *ResponseLength its length in bytes.
    - *ResponseLength on entry is the capacity of Buffer for the response.
    - An error status means no usable response: callers do not read Buffer then.

  The header is C as well as C++, for the module that produces the PPI.
**/
#ifndef QUARN_PPI_DRUX_H_
#define QUARN_PPI_DRUX_H_

///
/// Firmware client addresses this module talks to.
///
#define DRUX_CLIENT_MANAGEMENT  0x07
#define DRUX_CLIENT_CLOX        0x08
#define DRUX_CLIENT_QUARN       0x20

///
/// Header word of the client 7 messages (type query, pre-DID reset): GroupId bits 7:0,
/// Command bits 14:8, IsResponse bit 15; bits 31:16 zero in a request.
///
#define DRUX_HEADER_GROUP_ID_MASK  0x000000FF
#define DRUX_HEADER_COMMAND_MASK   0x00007F00
#define DRUX_HEADER_IS_RESPONSE    0x00008000

typedef
EFI_STATUS
(EFIAPI *DRUX_SEND_WITH_ACK)(
  IN UINT32      DeviceIndex,
  IN OUT VOID    *Buffer,
  IN UINT32      RequestLength,
  IN OUT UINT32  *ResponseLength,
  IN UINT8       HostAddress,
  IN UINT8       ClientAddress
  );

typedef
EFI_STATUS
(EFIAPI *DRUX_READ_MESSAGE)(
  IN UINT32      DeviceIndex,
  IN UINT32      Blocking,
  IN OUT VOID    *Buffer,
  IN OUT UINT32  *Length
  );

typedef
EFI_STATUS
(EFIAPI *DRUX_SEND_MESSAGE)(
  IN UINT32  DeviceIndex,
  IN VOID    *Buffer,
  IN UINT32  Length,
  IN UINT8   HostAddress,
  IN UINT8   ClientAddress
  );

typedef
EFI_STATUS
(EFIAPI *DRUX_RESET_INTERFACE)(
  IN UINT32  DeviceIndex
  );

typedef
EFI_STATUS
(EFIAPI *DRUX_INITIALIZE_INTERFACE)(
  IN UINT32  DeviceIndex
  );

typedef
EFI_STATUS
(EFIAPI *DRUX_GET_VORN_STATUS)(
  OUT UINT32  *Status
  );

typedef struct {
  DRUX_SEND_WITH_ACK         SendWithAck;          ///< entry 1
  DRUX_READ_MESSAGE          ReadMessage;          ///< entry 2, not used here
  DRUX_SEND_MESSAGE          SendMessage;          ///< entry 3, not used here
  DRUX_RESET_INTERFACE       ResetInterface;       ///< entry 4, not used here
  DRUX_INITIALIZE_INTERFACE  InitializeInterface;  ///< entry 5, not used here
  DRUX_GET_VORN_STATUS       GetVornStatus;        ///< entry 6
} DRUX_PPI;
STATIC_ASSERT (OFFSET_OF (DRUX_PPI, GetVornStatus) == 5 * sizeof (VOID *), "GetVornStatus is the sixth entry");
STATIC_ASSERT (sizeof (DRUX_PPI) == 6 * sizeof (VOID *), "six entries");

#ifdef __cplusplus
extern "C" {
#endif
extern EFI_GUID  gDruxPpiGuid;
#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
/// The request header word of GroupId and Command.
constexpr UINT32 DruxRequestHeader(UINT32 GroupId, UINT32 Command) { return (Command << 8) | GroupId; }
/// GroupId of a header word.
constexpr UINT32 DruxHeaderGroupId(UINT32 Header) { return Header & DRUX_HEADER_GROUP_ID_MASK; }
/// Command of a header word.
constexpr UINT32 DruxHeaderCommand(UINT32 Header) { return (Header & DRUX_HEADER_COMMAND_MASK) >> 8; }
/// TRUE when the header word has IsResponse set.
constexpr bool DruxHeaderIsResponse(UINT32 Header) { return (Header & DRUX_HEADER_IS_RESPONSE) != 0; }
#endif

#endif
