// The emulated platform as one object: a board with every device the module meets, the
// PEI core with the PPIs the scenario installs, the VORN and its QUARN firmware. Run()
// dispatches the module the way a PEI core would and reports what it left behind.
//
// Tests that call single procedures of the module build an Emulator, call Activate()
// (the seam then reaches this board) and call the procedure directly; Snapshot()
// reports the state at any time.
#pragma once

#include <memory>
#include <optional>

#include "Emulator/Board/Board.h"
#include "Emulator/Memory/BoardMemory.h"
#include "Emulator/PeiCore/PeiCore.h"
#include "Emulator/Report.h"
#include "Emulator/Scenario.h"

namespace quarn::emu {

class AcpiPmTimer;
class Uart16550;
class Cmos;
class SuperIo;
class VornDevice;
class QuarnFirmware;
class MpServices;
class DebugPrintSink;
class PolicyPpi;

class Emulator {
 public:
  /// Builds the board for S; throws std::invalid_argument when S's memory map or board
  /// layout cannot be used (CheckMemoryMap, CheckBoardLayout) and std::runtime_error when
  /// another board holds the memory map.
  explicit Emulator(Scenario S);
  ~Emulator();
  Emulator(const Emulator &) = delete;
  Emulator &operator=(const Emulator &) = delete;

  /// Makes this emulator's board the one the hardware seam reaches.
  void Activate();

  /// Dispatches the module's entry point once, then (as the scenario says) the move
  /// to permanent memory and MP services; returns the report.
  RunReport Run();

  /// The report of the state as it is now.
  RunReport Snapshot();

  const Scenario &GetScenario() const { return Scenario_; }
  Board &GetBoard() { return *Board_; }
  PeiCore &Core() { return *Core_; }
  BoardMemory &Ram() { return *Ram_; }
  Uart16550 &Uart1() { return *Uart1_; }
  Uart16550 &Uart2() { return *Uart2_; }
  AcpiPmTimer &Timer() { return *Timer_; }
  Cmos &GetCmos() { return *Cmos_; }
  SuperIo &GetSuperIo() { return *SuperIo_; }
  VornDevice &Vorn() { return *Vorn_; }
  QuarnFirmware &Firmware() { return *Firmware_; }
  MpServices &Mp() { return *Mp_; }
  DebugPrintSink &DebugPpi() { return *DebugPpi_; }
  PolicyPpi &Policy() { return *Policy_; }

  /// Installs the MP services PPI now (if not yet installed).
  void InstallMpServices();

 private:
  void RecordAssertion();
  /// Keeps the VORN's registers as they stand when the entry point returns or stops.
  void NoteVornAtExit();
  /// Fills R.Vorn: the registers at entry and exit, the changes made and still due.
  void SnapshotVorn(RunReport &R) const;
  /// Fills R.ErrorLevel from the boot processor's first MM0 read and write and the CMOS
  /// registers read.
  void SnapshotErrorLevel(RunReport &R) const;

  Scenario Scenario_;
  std::unique_ptr<BoardMemory> Ram_;  // first in, last out: the core lives in it
  std::unique_ptr<Board> Board_;
  std::unique_ptr<PeiCore> Core_;
  AcpiPmTimer *Timer_ = nullptr;
  Uart16550 *Uart1_ = nullptr;
  Uart16550 *Uart2_ = nullptr;
  Cmos *Cmos_ = nullptr;
  SuperIo *SuperIo_ = nullptr;
  VornDevice *Vorn_ = nullptr;
  std::unique_ptr<QuarnFirmware> Firmware_;
  std::unique_ptr<MpServices> Mp_;
  std::unique_ptr<DebugPrintSink> DebugPpi_;
  std::unique_ptr<PolicyPpi> Policy_;
  bool MpInstalled_ = false;
  std::vector<std::string> Asserts_;
  uint64_t EntryNs_ = 0;
  uint64_t EntryStackBytes_ = 0;
  VornRegisterValues VornAtEntry_, VornAtExit_;
  std::optional<uint64_t> VornExitNs_;  // set once the entry point returned or was stopped
};

}  // namespace quarn::emu
