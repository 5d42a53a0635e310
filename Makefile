# The two everyday commands:
#   make run   - build quarn-emu and run it on the default scenario
#   make test  - build everything and run every test (host, sanitizers, firmware image,
#                a short smoke of every fuzz target) and check the budgets (make report)
# Both install missing Debian packages first. `make qemu` boots the firmware ROM in QEMU's
# q35 model and compares its console with quarn-emu's (also part of `make test`); `make ovmf`
# has OVMF's PEI core dispatch the module's FFS file there (also part of `make test`).

PACKAGES := cmake ninja-build g++ g++-multilib qemu-user-static googletest \
            nlohmann-json3-dev libcli11-dev libtomlplusplus-dev clang libclang-rt-14-dev \
            binutils python3 qemu-system-x86 gcovr ovmf-ia32 uefitool-cli
SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)
JOBS ?= $(shell nproc)

.PHONY: all deps run test report firmware host host-san test-host test-san qemu peim ovmf fuzz fuzz-build fuzz-seeds fuzz-smoke clean

FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 4
FUZZ_TARGETS := FuzzFormat FuzzHobList FuzzConfigBlock FuzzFirmware

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

build/firmware/build.ninja: | deps
	cmake --preset firmware >/dev/null

build/fuzz/build.ninja: | deps
	cmake --preset fuzz >/dev/null

host: deps build/host/build.ninja
	cmake --build build/host -j $(JOBS)

host-san: deps build/host-san/build.ninja
	cmake --build build/host-san -j $(JOBS)

firmware: deps build/firmware/build.ninja
	cmake --build build/firmware -j $(JOBS)
	Firmware/check-image.sh build/firmware/QuarnPeiPreMem.elf

run: deps build/host/build.ninja
	cmake --build build/host -j $(JOBS) --target quarn-emu
	build/bin/quarn-emu

test-host: host firmware
	ctest --preset host

test-san: host-san firmware
	ctest --preset host-san

test: test-host test-san fuzz-smoke peim ovmf report

# Fuzzing: the targets built with the fuzzing engine (clang, ASan, UBSan), seeded from the
# built-in scenarios. `make fuzz` runs each for FUZZ_SECONDS; crashes land in
# build/fuzz/crashes/ (keep them as Fuzz/Corpus/<target>/ regressions once fixed).
fuzz-build: deps build/fuzz/build.ninja
	cmake --build build/fuzz -j $(JOBS)

fuzz-seeds: host
	build/host/fuzz/make-fuzz-seeds build/fuzz/seeds

fuzz: fuzz-build fuzz-seeds
	@mkdir -p build/fuzz/crashes
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p build/fuzz/corpus/$$t; \
	  echo "== $$t: $(FUZZ_SECONDS) s"; \
	  kept=""; [ -d Fuzz/Corpus/$$t ] && kept=Fuzz/Corpus/$$t; \
	  ASAN_OPTIONS=detect_leaks=0 build/fuzz/fuzz/$$t build/fuzz/corpus/$$t build/fuzz/seeds/$$t $$kept \
	    -max_total_time=$(FUZZ_SECONDS) -detect_leaks=0 -print_final_stats=1 \
	    -artifact_prefix=build/fuzz/crashes/$$t- 2>&1 | grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::average_exec_per_sec|==[0-9]+==ERROR|SUMMARY)' ; \
	done

fuzz-smoke: fuzz-build fuzz-seeds
	@mkdir -p build/fuzz/crashes
	@for t in $(FUZZ_TARGETS); do \
	  kept=""; [ -d Fuzz/Corpus/$$t ] && kept=Fuzz/Corpus/$$t; \
	  ASAN_OPTIONS=detect_leaks=0 build/fuzz/fuzz/$$t build/fuzz/seeds/$$t $$kept \
	    -max_total_time=$(FUZZ_SMOKE_SECONDS) -detect_leaks=0 -artifact_prefix=build/fuzz/crashes/$$t- \
	    >build/fuzz/$$t.smoke.log 2>&1 || { echo "fuzz smoke $$t: FAILED"; tail -30 build/fuzz/$$t.smoke.log; exit 1; }; \
	  echo "fuzz smoke $$t: $$(grep -Eo '#[0-9]+[[:space:]]+DONE' build/fuzz/$$t.smoke.log | grep -Eo '[0-9]+' | head -1) runs, no crash"; \
	done

# The module as a PE32 PEI module in an FFS file: build/firmware/QuarnPeiPreMem.{efi,ffs},
# checked like the ELF, its base relocations proven against the linker at two other bases.
peim: firmware
	cmake --build build/firmware -j $(JOBS) --target QuarnPeiPreMemPeim QuarnPeiPreMemRebaseCheck
	Firmware/check-image.sh build/firmware/QuarnPeiPreMem.efi

# The module dispatched by OVMF's PEI core (Debian ovmf-ia32) on QEMU q35, both boards
# compared with quarn-emu; about two minutes per boot under TCG (Firmware/Ovmf/ovmf-check.sh).
ovmf: peim build/host/build.ninja
	cmake --build build/host -j $(JOBS) --target quarn-emu
	Firmware/Ovmf/ovmf-check.sh build/firmware build/bin/quarn-emu

qemu: firmware build/host/build.ninja
	cmake --build build/host -j $(JOBS) --target quarn-emu
	Firmware/qemu-check.sh build/firmware/QuarnRom.bin build/bin/quarn-emu

# Budgets: flash, stack (call graph, cross-checked on QEMU), boot time, emulator speed.
# Fails when the image or the worst-case stack passes Firmware/budget.json.
report: firmware host
	python3 Tools/report.py

# Mutation testing: MUTATE_SAMPLE single-token mutants of the module drawn with MUTATE_SEED
# (MUTATE_FILTER: a regular expression on the file paths), each judged by quarn-emu check and
# quarn-tests in a mirror of the sources (build/mutate); score and survivors printed and in
# build/mutate/report.json. The default run takes about 7 minutes after the first build of
# the mirror: not part of `make test`.
MUTATE_SAMPLE ?= 100
MUTATE_SEED ?= 16
MUTATE_FILTER ?=

# Coverage: lines and branches of Pei/ and Library/ under the whole host suite (build/coverage);
# HTML in build/coverage/report/, Cobertura XML in build/coverage/coverage.xml.
.PHONY: mutate coverage

mutate: deps
	python3 Tools/mutate.py --sample $(MUTATE_SAMPLE) --seed $(MUTATE_SEED) --filter '$(MUTATE_FILTER)'

coverage: deps
	JOBS=$(JOBS) Tools/coverage.sh

clean:
	rm -rf build
