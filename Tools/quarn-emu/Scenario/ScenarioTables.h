// The readers of a scenario file's tables, one per table: each takes the keys it knows
// into the scenario and refuses the rest (TableReader::Finish). LoadScenarioText calls
// them in the order of the file's description.
#pragma once

#include <map>
#include <string>

#include "ScenarioLoader.h"
#include "TableReader.h"

namespace quarn::emu::cli::loader {

/// [boot]: the boot mode and how GetBootMode answers.
void ReadBoot(TableReader T, Scenario &S);

/// [cpu]: the processor's signature and how many processors there are.
void ReadCpu(TableReader T, Scenario &S);

/// [cmos]: the error level, whether CMOS is valid, and MM0.
void ReadCmos(TableReader T, Scenario &S);

/// [policy]: the policy PPI, its QUARN pre-memory block and their switches.
void ReadPolicy(TableReader T, Scenario &S);

/// [vorn]: the VORN's registers at entry and their [[vorn.at]] changes in virtual time.
void ReadVorn(TableReader T, Scenario &S);

/// [drux]: DRUX_PPI and the firmware's answer to each message (its sub-tables).
void ReadDrux(TableReader T, Scenario &S);

/// [pei]: what the PEI core offers; a preset VORN type HOB goes into L.
void ReadPei(TableReader T, LoadedScenario &L);

/// The [memory] table; Lines receives the line of each key given, for the check of the
/// whole map once the [pei] spaces are known too.
void ReadMemory(TableReader T, Scenario &S, std::map<std::string, unsigned> &Lines);

/// Refuses a memory map the board cannot have: misaligned, outside the RAM the emulator
/// can back, overlapping, or too small for the stack and the [pei] spaces.
void CheckMemory(const Scenario &S, const std::string &Source, const std::map<std::string, unsigned> &Lines);

/// The [board] table; Lines receives the line of each key given, for the check of the
/// whole layout once the memory map is known too.
void ReadBoard(TableReader T, Scenario &S, std::map<std::string, unsigned> &Lines);

/// Refuses a layout the board cannot have: a device past its address space, misaligned,
/// or over another device, the board's fixed ports or windows, or its RAM.
void CheckBoard(const Scenario &S, const std::string &Source, const std::map<std::string, unsigned> &Lines);

/// [uart1], [uart2]: the UART's registers at power-on.
void ReadUart(TableReader T, UartPowerOn &Uart);

/// [superio]: which of the Super I/O's UARTs are active.
void ReadSuperIo(TableReader T, Scenario &S);

/// [chipset]: the host bridge and the sideband function.
void ReadChipset(TableReader T, Scenario &S);

/// [fault]: the failable call made to fail, and which call of it.
void ReadFault(TableReader T, LoadedScenario &L);

/// [run]: the limit of virtual time.
void ReadRun(TableReader T, Scenario &S);

/// [expect]: each key as the JSON value the report is compared with, in file order, into
/// L; Fallback is the line of the file's root for a table toml++ gives none.
void ReadExpect(const toml::table &Table, const std::string &Source, unsigned Fallback, LoadedScenario &L);

}  // namespace quarn::emu::cli::loader
