# The commands of the README. Each first installs what is missing (scripts/setup).
JOBS ?= $(shell nproc)

.PHONY: setup test run bench dist build-linux build-win32 build-win64 clean

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
ifeq ($(OS),Windows_NT)
	@build/win32/rarbatch.exe
else
	@if [ -n "$$DISPLAY" ]; then \
	  export WINEPREFIX=$(CURDIR)/build/wineprefix LC_ALL=zh_CN.UTF-8 WINEDEBUG=-all; \
	  . tools/wine-prefix.sh && prepare_wine_prefix && wine build/win32/rarbatch.exe; \
	else \
	  echo "rarbatch: no display (DISPLAY is not set), so the window cannot be shown here."; \
	  echo "rarbatch: 'make screenshot' renders it under Xvfb to build/screenshot.png instead."; \
	fi
endif

.PHONY: screenshot
screenshot: build-win32
	@ui/screenshot.sh build/win32/rarbatch.exe build/screenshot.png 96
	@ui/screenshot.sh build/win32/rarbatch.exe build/screenshot-144dpi.png 144

# The release zip, build/dist/rarbatch-VERSION.zip (the version is set in CMakeLists.txt).
dist: build-win32
	@cmake --build --preset win32 --target dist

bench: setup
	@cmake --preset linux -DRARBATCH_BENCH=ON >/dev/null
	@cmake --build --preset linux -j $(JOBS) --target script_bench
	@build/linux/bin/script_bench
	@cmake --preset win32 >/dev/null
	@cmake --build --preset win32 -j $(JOBS) --target lists_import_bench
	@# The 32,767 archives are made here: making them through Wine takes minutes.
	@dir=$$(mktemp -d /tmp/rarbatch-import-bench.XXXXXX); \
	  (cd "$$dir" && seq -f 'Archive %05g.rar' 0 32766 | tr '\n' '\0' | xargs -0 touch); \
	  tools/wine-run build/win32/bin/lists_import_bench.exe 32767 5 "Z:$$(echo $$dir | tr / '\\\\')"; \
	  status=$$?; rm -rf "$$dir"; exit $$status
	@cmake --preset win32 -DRARBATCH_BENCH=ON >/dev/null
	@cmake --build --preset win32 -j $(JOBS) --target job_bench fake_rar
	@# The report is on error output; standard output only echoes the script's commands.
	@tools/wine-run build/win32/bin/job_bench.exe >/dev/null
	@# Real archives with /usr/bin/rar: 20 of 20 MB, rewritten by the script's calls and by the plan.
	@cmake --preset linux -DRARBATCH_BENCH=ON >/dev/null
	@cmake --build --preset linux -j $(JOBS) --target rewrite_bench
	@build/linux/bin/rewrite_bench

clean:
	rm -rf build
