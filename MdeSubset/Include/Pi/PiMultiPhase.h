/** @file
  Definitions the PI phases share: boot mode, HOBs, status codes, firmware file types,
  the status "no handler yet" and the procedure an application processor runs.
**/
#ifndef __PI_MULTIPHASE_H__
#define __PI_MULTIPHASE_H__

#include <Pi/PiFirmwareVolume.h>
#include <Pi/PiFirmwareFile.h>
#include <Pi/PiBootMode.h>
#include <Pi/PiHob.h>
#include <Pi/PiStatusCode.h>

#define DXE_ERROR(StatusCode)  (MAX_BIT | (MAX_BIT >> 2) | StatusCode)

///
/// No handler is there yet to take the request (a status code before its router).
///
#define EFI_NOT_AVAILABLE_YET  DXE_ERROR (2)

typedef
VOID
(EFIAPI *EFI_AP_PROCEDURE)(
  IN OUT VOID  *Buffer
  );

#endif
