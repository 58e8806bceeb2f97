# The two commands of the README. Both first install what is missing (scripts/setup).
JOBS ?= $(shell nproc)

.PHONY: setup test run bench build-linux build-win32 build-win64 clean

setup:
	@scripts/setup

build-linux: setup
	@cmake --preset linux >/dev/null
	@cmake --build --preset linux -j $(JOBS)

build-win32: setup
	@cmake --preset win32 >/dev/null
	@cmake --build --preset win32 -j $(JOBS)

build-win64: setup
	@cmake --preset win64 >/dev/null
	@cmake --build --preset win64 -j $(JOBS)

test: build-linux build-win32 build-win64
	@status=0; \
	for p in linux win32 win64; do \
	  echo "== tests: $$p"; \
	  ctest --preset $$p || status=1; \
	done; \
	WINEPREFIX=$(CURDIR)/build/wineprefix wineserver -k 2>/dev/null; \
	exit $$status

run: build-win32
	@echo "rarbatch: the main window is not built yet; 'make test' runs what exists."

bench: setup
	@cmake --preset linux -DRARBATCH_BENCH=ON >/dev/null
	@cmake --build --preset linux -j $(JOBS) --target script_bench
	@build/linux/bin/script_bench

clean:
	rm -rf build
