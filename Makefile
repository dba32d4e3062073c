# The README's two commands: `make run` and `make test`.
# Both install what is missing first (tools/bootstrap.sh), then configure and build.
.PHONY: run test build bootstrap clean windows usb-demo package fuzz

JOBS ?= $(shell nproc 2>/dev/null || echo 2)

bootstrap:
	@tools/bootstrap.sh

# Installed under /usr, as the Debian package is (`cmake --install build --prefix DIR` elsewhere).
build: bootstrap
	@cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
	@cmake --build build -j $(JOBS)

run: build
	@tools/run.sh build

test: bootstrap
	@tools/test.sh

# The USB road end to end against a meter emulated on a USB bus (umockdev): tessera-cli
# identify, then read into usb-demo.CSV, through libusb, tessera-usbd and the registry.
usb-demo: build
	@tools/usb-demo.sh build

# The Debian package of the normal build: build/tessera_<version>_<arch>.deb, lintian-checked.
package: build
	@tools/package.sh build

# The fuzzers, each for FUZZ_SECONDS (FUZZ_TARGETS: some of decode accuracy entire_read_csv
# logger_csv setting_file journal).
FUZZ_SECONDS ?= 60
fuzz: bootstrap
	@tools/fuzz.sh run $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# The Windows edition, cross-built with mingw-w64 against Qt for Windows (built from Debian's
# source once per machine): build-win64 (programs, DLLs, installer), build-win32 (Bulklink.dll,
# instlaunch.exe). See tools/windows.sh.
windows: bootstrap
	@tools/windows.sh

clean:
	rm -rf build build-asan build-fuzz build-win64 build-win32
