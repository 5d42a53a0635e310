# The two everyday commands:
#   make run   - build quarn-emu and run it on the default scenario
#   make test  - build everything and run every test (host, sanitizers, firmware image,
#                a short smoke of every fuzz target, the emulated path, the PE32/FFS module
#                dispatched by OVMF, QuarnPkg built by EDK II's BaseTools and dispatched
#                by OVMF) and check the budgets (make budgets, the deterministic part of make report)
# Both install missing Debian packages first. `make qemu` boots the firmware ROM in QEMU's
# q35 model and compares its console with quarn-emu's (also part of `make test`); `make ovmf`
# has OVMF's PEI core dispatch the module's FFS file there (also part of `make test`);
# `make edk2` builds QuarnPkg with EDK II's own tools and boots that (also part of `make test`).
#
# Every built IA32 program is started through its build tree's launcher,
# build/<tree>/run-ia32 (cmake/run-ia32.in): natively where the kernel runs IA32
# programs, else under qemu-i386. QUARN_FORCE_QEMU=1 takes the emulated path anywhere,
# e.g. `QUARN_FORCE_QEMU=1 make test`.

PACKAGES := cmake ninja-build g++ g++-multilib qemu-user-static googletest \
            nlohmann-json3-dev libcli11-dev libtomlplusplus-dev clang libclang-rt-14-dev \
            binutils python3 python3-jsonschema qemu-system-x86 time gcovr ovmf-ia32 uefitool-cli libxml2-utils \
            nasm uuid-dev dpkg-dev patch xz-utils python3-clang-14 \
            clang-tidy cppcheck clang-format python3-flake8
SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)
JOBS ?= $(shell nproc)

.PHONY: all deps run test lint lint-self-test report budgets firmware host host-san host-debug test-host test-san test-emulated qemu qemu-gdb peim ovmf ovmf-all ovmf-gdb edk2 fuzz fuzz-build fuzz-seeds fuzz-smoke clean

FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 4
FUZZ_TARGETS := FuzzFormat FuzzHobList FuzzConfigBlock FuzzFirmware FuzzScenario FuzzExplain

all: host

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

build/host/build.ninja: | deps
	cmake --preset host >/dev/null

build/host-san/build.ninja: | deps
	cmake --preset host-san >/dev/null

build/host-debug/build.ninja: | deps
	cmake --preset host-debug >/dev/null

build/firmware/build.ninja: | deps
	cmake --preset firmware >/dev/null

build/fuzz/build.ninja: | deps
	cmake --preset fuzz >/dev/null

host: deps build/host/build.ninja
	cmake --build build/host -j $(JOBS)

host-san: deps build/host-san/build.ninja
	cmake --build build/host-san -j $(JOBS)

# The tool built for the debugger (-O0 -g3: every variable and call of the module kept):
# build/host-debug/bin/quarn-emu debug SCENARIO --break-on EVENT (README, "Debugging").
host-debug: deps build/host-debug/build.ninja
	cmake --build build/host-debug -j $(JOBS) --target quarn-emu

firmware: deps build/firmware/build.ninja
	cmake --build build/firmware -j $(JOBS)
	Firmware/check-image.sh build/firmware/QuarnPeiPreMem.elf

run: deps build/host/build.ninja
	cmake --build build/host -j $(JOBS) --target quarn-emu
	build/bin/quarn-emu

test-host: host firmware
	ctest --preset host

test-san: host-san
	ctest --preset host-san

test: lint test-host test-san fuzz-smoke test-emulated peim ovmf edk2 budgets

# Static analysis and one code style (Tools/lint.py; README, "Static analysis and code style"):
# clang-tidy and cppcheck on the module, its libraries, the boot ROM, the OVMF platform module,
# the emulator and the tool, in the configurations of the host and firmware trees (their
# compile commands: configuring is enough), flake8 on the Python programs, clang-format on the
# C and C++ sources; zero findings. Then its self-test: an injected null dereference, an
# out-of-bounds read and a misformatted line each make it fail. Results are cached in
# build/lint. LINT_FORMAT=0 leaves the clang-format check out; Tools/format-tree.sh applies
# .clang-format to the tree.
LINT_FORMAT ?= 1
lint: deps build/host/build.ninja build/firmware/build.ninja
	ninja -C build/host build.ninja >/dev/null && ninja -C build/firmware build.ninja >/dev/null  # compile commands up to date
	python3 Tools/lint.py --jobs $(JOBS) $(if $(filter 0,$(LINT_FORMAT)),--no-format)
	@$(MAKE) --no-print-directory lint-self-test

lint-self-test: deps build/firmware/build.ninja
	python3 Tools/lint.py --self-test

# The emulated path on every machine: a part of the suite that reaches every kind of
# program (GoogleTest binary and its discovery, the sanitizer build, the quarn-emu
# launcher, a libFuzzer target, the seed maker, the q35 comparison) runs with
# QUARN_FORCE_QEMU=1 under Tools/without-ia32-exec, which kills any process that makes an
# IA32 system call: whatever starts a built IA32 program without the launcher fails here.
# The q35 boots (ctest label "emulated") run only here.
WITHOUT_IA32_EXEC := QUARN_FORCE_QEMU=1 Tools/without-ia32-exec
EMULATED_SAN_TESTS := ^(QuarnEmu\.(List|NotToml|CheckBuiltins)|Fuzz\..*|RunCommand\..*|BoardMemory\..*)$$
# The same memory-map group in the plain tree: a scenario's verdict on the RAM it asks for
# is the same on both paths and in both trees.
EMULATED_HOST_TESTS := BoardMemory.*:ScenarioLoader*.Memory*
test-emulated: host host-san fuzz-build firmware
	Tools/without-ia32-exec --self-test build/bin/quarn-emu.ia32
	rm -f build/host-san/Test/quarn-tests_suites.cmake  # the suites listed again, emulated
	$(WITHOUT_IA32_EXEC) ctest --test-dir build/host-san --output-on-failure -j 2 -R '$(EMULATED_SAN_TESTS)'
	$(WITHOUT_IA32_EXEC) ctest --test-dir build/host --output-on-failure -L emulated
	python3 Tools/report.py --check-painted build/host/qemu-check   # the README's painted stack is what the boots painted
	$(WITHOUT_IA32_EXEC) build/host/run-ia32 build/host/Test/quarn-tests --gtest_brief=1 --gtest_filter='$(EMULATED_HOST_TESTS)'
	$(WITHOUT_IA32_EXEC) $(MAKE) --no-print-directory run fuzz-smoke FUZZ_SMOKE_SECONDS=1 >build/test-emulated.log
	@grep -q 'the road of one boot' build/test-emulated.log || { cat build/test-emulated.log; echo "make run: no default scenario"; exit 1; }
	@grep '^fuzz smoke' build/test-emulated.log

# Fuzzing: the targets built with the fuzzing engine (clang, ASan, UBSan), seeded from the
# built-in scenarios (and, for quarn-emu's own inputs, the docs' and the tests' scenario
# files and logs). `make fuzz` runs each for FUZZ_SECONDS; crashes land in
# build/fuzz/crashes/ (keep them as Fuzz/Corpus/<target>/ regressions once fixed).
fuzz-build: deps build/fuzz/build.ninja
	cmake --build build/fuzz -j $(JOBS)

fuzz-seeds: host
	build/host/run-ia32 build/host/fuzz/make-fuzz-seeds build/fuzz/seeds

fuzz: fuzz-build fuzz-seeds
	@Fuzz/run-targets.sh $(FUZZ_SECONDS) long $(FUZZ_TARGETS)

fuzz-smoke: fuzz-build fuzz-seeds
	@Fuzz/run-targets.sh $(FUZZ_SMOKE_SECONDS) smoke $(FUZZ_TARGETS)

# The module as a PE32 PEI module in an FFS file: build/firmware/QuarnPeiPreMem.{efi,ffs},
# checked like the ELF, its base relocations proven against the linker at two other bases.
peim: firmware
	cmake --build build/firmware -j $(JOBS) --target QuarnPeiPreMemPeim QuarnPeiPreMemRebaseCheck
	Firmware/check-image.sh build/firmware/QuarnPeiPreMem.efi

# The module dispatched by OVMF's PEI core (Debian ovmf-ia32) on QEMU q35, each board a
# scenario's, compared with quarn-emu (Firmware/Ovmf/ovmf-check.sh): the two OVMF boards
# and a handful of roads (the pre-DID reset, its two timeouts, the reset not accepted),
# two boots side by side; then a gdb session stopped in the module there.
# make ovmf-all boots every built-in scenario the q35 under OVMF can be (and the EDK II
# build's FFS too where make edk2 made it).
OVMF_HANDFUL := ovmf-q35 ovmf-q35-quarn default pre-did-counter-timeout pre-did-state-timeout pre-did-not-accepted
ovmf: peim build/host/build.ninja
	cmake --build build/host -j $(JOBS) --target quarn-emu
	Firmware/Ovmf/ovmf-check.sh build/firmware build/bin/quarn-emu $(addprefix --scenario ,$(OVMF_HANDFUL))
	Test/Firmware/OvmfDebugSession.sh build/firmware

ovmf-all: peim build/host/build.ninja
	cmake --build build/host -j $(JOBS) --target quarn-emu
	Firmware/Ovmf/ovmf-check.sh build/firmware build/bin/quarn-emu --all
	@if [ -f build/edk2/QuarnPeiPreMem.ffs ]; then \
	  OVMF_CHECK_OUT=build/firmware/ovmf-edk2 Firmware/Ovmf/ovmf-check.sh build/firmware build/bin/quarn-emu \
	    --all --module build/edk2/QuarnPeiPreMem.ffs --edk2-asserts; \
	else echo "ovmf-all: no EDK II build (make edk2): our image only"; fi

# QuarnPkg as a platform builds it (Firmware/Edk2/edk2.sh): the edk2 source package of the
# installed ovmf-ia32's version (kept in build/edk2), BaseTools, QuarnPkg.dsc built DEBUG
# and RELEASE, our standard-named headers proven against MdePkg's, the image check, the
# FFS files made by GenSec/GenFfs, and both OVMF boards booted with each build (its time:
# README, "How long make test takes").
edk2: firmware build/host/build.ninja
	cmake --build build/host -j $(JOBS) --target quarn-emu quarn-emu-release
	Firmware/Edk2/edk2.sh build/edk2 build/firmware build/bin/quarn-emu build/bin/quarn-emu-release

# The module under QEMU's gdb stub, stopped at BREAK (a function or FILE:LINE): the q35 ROM
# of SCENARIO (default qemu-q35), or OVMF's PEI core on the board of scenario BOARD
# (default: default, which takes the pre-DID reset road).
# BATCH=1 prints the backtrace at the stop and ends. README, "Debugging".
SCENARIO ?= qemu-q35
BOARD ?= default
BREAK ?= QuarnPeiPreMemEntryPoint
qemu-gdb: firmware
	Firmware/qemu-gdb.sh rom $(SCENARIO) '$(BREAK)' $(if $(BATCH),--batch)

ovmf-gdb: peim
	Firmware/qemu-gdb.sh ovmf $(BOARD) '$(BREAK)' $(if $(BATCH),--batch)

qemu: firmware build/host/build.ninja
	cmake --build build/host -j $(JOBS) --target quarn-emu
	Firmware/qemu-check.sh build/firmware/QuarnRom.bin build/bin/quarn-emu

# Budgets: flash, stack (call graph, cross-checked on QEMU), boot time, emulator speed.
# Fails when the image or the worst-case stack passes Firmware/budget.json.
report: firmware host
	python3 Tools/report.py

# The deterministic part of the report that `make test` runs: flash and worst-case stack
# against Firmware/budget.json (a regression fails the day it happens).
budgets: firmware
	python3 Tools/report.py --budgets

# Mutation testing: MUTATE_SAMPLE single-token mutants of the module drawn with MUTATE_SEED
# (MUTATE_FILTER: a regular expression on the file paths), each judged by quarn-emu check and
# quarn-tests in a mirror of the sources (build/mutate); score and survivors printed and in
# build/mutate/report.json. The default run takes minutes after the first build of
# the mirror: not part of `make test`. MUTATE_SCOPE=tool (or `make mutate-tool`): the mutants
# of quarn-emu (Tools/quarn-emu/) instead, judged by the tool's GoogleTest suites, quarn-emu
# check and, for the command line, its exit-status tests; report build/mutate/report-tool.json.
MUTATE_SCOPE ?= module
MUTATE_SAMPLE ?= 100
MUTATE_SEED ?= 16
MUTATE_FILTER ?=

# Coverage: lines and branches of Pei/ and Library/ under the whole host suite (build/coverage);
# HTML in build/coverage/report/, Cobertura XML in build/coverage/coverage.xml.
.PHONY: mutate mutate-tool coverage

mutate: deps
	python3 Tools/mutate.py --scope $(MUTATE_SCOPE) --sample $(MUTATE_SAMPLE) --seed $(MUTATE_SEED) --filter '$(MUTATE_FILTER)'

mutate-tool: deps
	python3 Tools/mutate.py --scope tool --sample $(MUTATE_SAMPLE) --seed $(MUTATE_SEED) --filter '$(MUTATE_FILTER)'

coverage: deps
	JOBS=$(JOBS) Tools/coverage.sh

clean:
	rm -rf build
