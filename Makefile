# The README's two commands: `make run` and `make test`.
# Both install what is missing first (tools/bootstrap.sh), then configure and build.
.PHONY: run test build bootstrap clean

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

clean:
	rm -rf build build-asan build-win64 build-win32
