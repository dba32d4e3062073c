# The README's two commands: `make run` and `make test`.
# Both install what is missing first (tools/bootstrap.sh), then configure and build.
.PHONY: run test build bootstrap clean windows

JOBS ?= $(shell nproc 2>/dev/null || echo 2)

bootstrap:
	@tools/bootstrap.sh

build: bootstrap
	@cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build build -j $(JOBS)

run: build
	@tools/run.sh build

test: bootstrap
	@tools/test.sh

# The Windows edition, cross-built with mingw-w64 against Qt for Windows (built from Debian's
# source once per machine): build-win64 (programs, DLLs, installer), build-win32 (Bulklink.dll,
# instlaunch.exe). See tools/windows.sh.
windows: bootstrap
	@tools/windows.sh

clean:
	rm -rf build build-asan build-win64 build-win32
