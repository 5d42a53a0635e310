/*
  The first instructions after reset, the switch to 32-bit protected mode and the
  exception entry stubs of the boot stub.

  The processor starts in 16-bit mode at 0xFFFFFFF0 with CS base 0xFFFF0000, so the
  16-bit code and the GDT descriptor it loads must lie in the top 64 KiB of the ROM;
  the linker script provides their 16-bit offsets.
*/

#define ROM_CODE_SELECTOR 0x08
#define ROM_DATA_SELECTOR 0x10

/* ---- 16-bit: reset vector and mode switch ------------------------------------- */
  .section .reset16, "ax"
  .code16
  .globl RomEntry16
RomEntry16:
  cli
  cld
  /* Open the A20 gate (port 0x92 bit 1) without touching the reset bit. */
  inb   $0x92, %al
  orb   $0x02, %al
  andb  $0xFE, %al
  outb  %al, $0x92
  /* 32-bit operand size: the whole 32-bit GDT base is loaded. */
  lgdtl %cs:RomGdtDescriptorOffset
  movl  %cr0, %eax
  orl   $0x00000001, %eax
  movl  %eax, %cr0
  ljmpl $ROM_CODE_SELECTOR, $RomEntry32

  .section .resetvector, "ax"
  .code16
  .globl RomResetVector
RomResetVector:
  jmp   RomEntry16
  .balign 16, 0xF4

/* ---- 32-bit: segments, stack, then C++ -------------------------------------- */
  .section .text.RomEntry32, "ax"
  .code32
  .globl RomEntry32
RomEntry32:
  movw  $ROM_DATA_SELECTOR, %ax
  movw  %ax, %ds
  movw  %ax, %es
  movw  %ax, %ss
  movw  %ax, %fs
  movw  %ax, %gs
  movl  $RomStackTop, %esp
  xorl  %ebp, %ebp
  call  RomMain
1:
  cli
  hlt
  jmp   1b

/* ---- exception entries ------------------------------------------------------ */
/* Each entry leaves the same frame: vector, error code (0 where the processor pushes
   none), then the processor's EIP, CS, EFLAGS. RomException(frame) returns TRUE when
   the interrupted code may go on (the breakpoint of an assertion). */
  .section .text.RomVectors, "ax"
  .code32
.macro ROM_VECTOR n
RomVector\n:
  .if (\n == 8) || ((\n >= 10) && (\n <= 14)) || (\n == 17) || (\n == 21) || (\n == 29) || (\n == 30)
  .else
  pushl $0
  .endif
  pushl $\n
  jmp   RomExceptionCommon
.endm

  .irp n, 0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31
  ROM_VECTOR \n
  .endr

RomExceptionCommon:
  pushal
  movl  %esp, %eax
  pushl %eax
  call  RomException
  addl  $4, %esp
  testb %al, %al
  jz    2f
  popal
  addl  $8, %esp
  iretl
2:
  cli
  hlt
  jmp   2b

  .section .rodata.RomVectorTable, "a"
  .balign 4
  .globl RomVectorTable
RomVectorTable:
  .irp n, 0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31
  .long RomVector\n
  .endr

/* ---- GDT: null, flat 32-bit code, flat data --------------------------------- */
  .section .reset16.gdt, "a"
  .balign 8
RomGdt:
  .quad 0x0000000000000000
  .quad 0x00CF9B000000FFFF   /* 0x08: code, base 0, limit 4 GiB, 32-bit */
  .quad 0x00CF93000000FFFF   /* 0x10: data, base 0, limit 4 GiB */
RomGdtEnd:
  .balign 4
  .globl RomGdtDescriptor
RomGdtDescriptor:
  .word RomGdtEnd - RomGdt - 1
  .long RomGdt

  .section .note.GNU-stack, "", @progbits
