/** @file
  The library constructors of the module, run by the entry point before anything else,
  in their fixed order. A constructor's error is reported and start-up goes on.
**/
#include <Library/CpuAndRevisionLib.h>
#include <Library/DebugLib.h>
#include <Library/SerialPortLib.h>
#include <Library/SysHostPointerLib.h>

#include "QuarnPeiPreMem.h"

namespace {

constexpr CHAR8 kSource[] = "Pei/QuarnPeiPreMem/ConstructorList";

}  // namespace

extern "C" {

/**
  Sets up the serial ports, then the static pointer table, then the CPU-and-revision
  record while the table's slot for it is still empty. Errors of the first two assert
  "!RETURN_ERROR (Status)"; the third's result is not looked at. Without a table (the
  table constructor failed, so MM7 may hold nothing or a stale value) no slot is read
  and no record is built: that is reported as "StaticPointerTable != ((void *) 0)".
**/
VOID ProcessLibraryConstructorList(IN EFI_PEI_FILE_HANDLE FileHandle, IN CONST EFI_PEI_SERVICES **PeiServices) {
  RETURN_STATUS Status = SerialPortInitialize();
  DebugCheckReturnStatus(Status, kSource, __LINE__);

  Status = StaticPointerTableInit();
  DebugCheckReturnStatus(Status, kSource, __LINE__);

  const STATIC_POINTER_TABLE *Table = RETURN_ERROR(Status) ? nullptr : GetStaticPointerTable();
  if (Table == nullptr) {
    DebugAssert(kSource, __LINE__, "StaticPointerTable != ((void *) 0)");
  } else if (static_cast<UINT32>(ReadStaticPointer(Table, POINTER_TYPE_CPU_AND_REVISION)) == 0) {
    CpuAndRevisionInit();
  }
}

}
