# The two everyday commands:
#   make run   - build quarn-emu and run it on the default scenario
#   make test  - build everything and run every test (host, sanitizers, firmware image)
# Both install missing Debian packages first. `make qemu` boots the firmware ROM in QEMU's
# q35 model and compares its console with quarn-emu's (also part of `make test`).

PACKAGES := cmake ninja-build g++ g++-multilib qemu-user-static googletest \
            nlohmann-json3-dev libcli11-dev libtomlplusplus-dev clang libclang-rt-14-dev \
            binutils python3 qemu-system-x86
SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)
JOBS ?= $(shell nproc)

.PHONY: all deps run test firmware host host-san test-host test-san qemu clean

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

test: test-host test-san

qemu: firmware build/host/build.ninja
	cmake --build build/host -j $(JOBS) --target quarn-emu
	Firmware/qemu-check.sh build/firmware/QuarnRom.bin build/bin/quarn-emu

clean:
	rm -rf build
