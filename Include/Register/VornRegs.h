/** @file
  Where the VORN shows its firmware's condition: the status registers in the PCI
  configuration space of bus 0 device 24 and the DWR status register (at the board's
  PcdQuarnDwrStsAddress), with the fields the module interprets.
**/
#pragma once

extern "C" {
#include <PiPei.h>
}

/// Configuration address in the PCI library layout (bus 27:20, device 19:15, function 14:12).
constexpr UINT32 PciLibAddress(UINT32 Bus, UINT32 Device, UINT32 Function, UINT32 Offset) {
  return (Bus << 20) | (Device << 15) | (Function << 12) | Offset;
}

constexpr UINT32 VORN_BUS = 0;
constexpr UINT32 VORN_DEVICE = 24;

constexpr UINT32 VORNFS1_ADDRESS = PciLibAddress(VORN_BUS, VORN_DEVICE, 0, 0x40);
constexpr UINT32 VORNFS2_ADDRESS = PciLibAddress(VORN_BUS, VORN_DEVICE, 0, 0x48);
constexpr UINT32 FN1_STATUS_ADDRESS = PciLibAddress(VORN_BUS, VORN_DEVICE, 1, 0x40);
constexpr UINT32 FN4_STATUS_ADDRESS = PciLibAddress(VORN_BUS, VORN_DEVICE, 4, 0x40);
constexpr UINT32 FN6_STATUS_ADDRESS = PciLibAddress(VORN_BUS, VORN_DEVICE, 6, 0x40);
static_assert(VORNFS1_ADDRESS == 0xC0040, "VORNFS1");
static_assert(VORNFS2_ADDRESS == 0xC0048, "VORNFS2");
static_assert(FN1_STATUS_ADDRESS == 0xC1040, "function 1 status");
static_assert(FN4_STATUS_ADDRESS == 0xC4040, "function 4 status");
static_assert(FN6_STATUS_ADDRESS == 0xC6040, "function 6 status");

constexpr UINT32 DWRSTS_DWR_FLOW = 0x8000;

constexpr UINT32 VORNFS_NOT_PRESENT = 0xFFFFFFFF;

constexpr UINT32 VORN_STATE_RECOVERY = 2;
constexpr UINT32 VORN_STATE_DISABLED = 4;
constexpr UINT32 VORN_STATE_NORMAL = 5;
constexpr UINT32 VORN_FLOW_MODE_LUMO = 7;
constexpr UINT32 VORN_RECOVERY_CAUSE_PRE_DID = 4;

/// VORNFS1 bits 3:0.
constexpr UINT32 VornCurrentState(UINT32 Fs1) { return Fs1 & 0xF; }
/// VORNFS1 bits 19:16.
constexpr UINT32 VornFlowMode(UINT32 Fs1) { return (Fs1 >> 16) & 0xF; }
/// VORNFS1 bits 23:20.
constexpr UINT32 VornResetCounter(UINT32 Fs1) { return (Fs1 >> 20) & 0xF; }
/// VORNFS2 bits 10:8.
constexpr UINT32 VornRecoveryCause(UINT32 Fs2) { return (Fs2 >> 8) & 0x7; }
