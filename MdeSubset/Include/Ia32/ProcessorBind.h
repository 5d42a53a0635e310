/** @file
  IA32 processor binding: the fixed-width integer types, the native width, and the
  calling convention of every interface called through a table or from another module.

  EFIAPI keeps every argument on the stack, the caller popping them. Our own firmware
  build passes the arguments of internal calls in registers (-mregparm=3), which the
  cdecl attribute alone does not undo, so EFIAPI here also says regparm(0): in a build
  without -mregparm (the EDK II build, the host builds) that is the default anyway.
**/
#ifndef __PROCESSOR_BIND_H__
#define __PROCESSOR_BIND_H__

#define MDE_CPU_IA32

typedef unsigned long long  UINT64;
typedef long long           INT64;
typedef unsigned int        UINT32;
typedef int                 INT32;
typedef unsigned short      UINT16;
typedef unsigned short      CHAR16;
typedef short               INT16;
typedef unsigned char       BOOLEAN;
typedef unsigned char       UINT8;
typedef char                CHAR8;
typedef signed char         INT8;

typedef UINT32  UINTN;
typedef INT32   INTN;

#define MAX_BIT      0x80000000
#define MAX_2_BITS   0xC0000000
#define MAX_ADDRESS  0xFFFFFFFF
#define MAX_UINTN    ((UINTN)0xFFFFFFFF)
#define MAX_INTN     ((INTN)0x7FFFFFFF)

#define CPU_STACK_ALIGNMENT  sizeof(UINTN)

#define EFIAPI  __attribute__((cdecl, regparm(0)))

#endif
