# The commands of the README. Each first installs what is missing (scripts/setup).
JOBS ?= $(shell nproc)

.PHONY: setup test run bench bench-content dist fuzz build-linux build-win32 build-win64 clean

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

# Wine's loader is chosen once here (tools/wine-host.sh) and the choice passed down to every test.
# On a host that runs no 32-bit programs the win32 lane still builds and runs its checks that need
# no Wine; its Wine tests are reported as skipped. RARBATCH_WIN32=off makes any host behave so.
test: build-linux build-win32 build-win64
	@. tools/wine-host.sh; rarbatch_detect_win32; \
	status=0; results=""; \
	for p in linux win32 win64; do \
	  echo "== tests: $$p"; \
	  rm -f build/$$p/junit.xml; \
	  ctest --preset $$p --output-junit junit.xml || status=1; \
	  results="$$results $$p=build/$$p/junit.xml"; \
	done; \
	WINEPREFIX=$(CURDIR)/build/wineprefix wineserver -k 2>/dev/null; \
	tools/test-summary.py $$results; \
	exit $$status

# The window of the 32-bit build, the release's own; the 64-bit build where this host runs no 32-bit
# programs (tools/show-lane says which, in one line).
ifeq ($(OS),Windows_NT)
run: build-win32
	@build/win32/rarbatch.exe
else
run: setup
	@lane=$$(tools/show-lane) && $(MAKE) --no-print-directory build-$$lane && \
	if [ -n "$$DISPLAY" ]; then \
	  export WINEPREFIX=$(CURDIR)/build/wineprefix LC_ALL=zh_CN.UTF-8 WINEDEBUG=-all; \
	  . tools/wine-prefix.sh && prepare_wine_prefix && tools/wine-exec build/$$lane/rarbatch.exe; \
	else \
	  echo "rarbatch: no display (DISPLAY is not set), so the window cannot be shown here."; \
	  echo "rarbatch: 'make screenshot' renders it under Xvfb to build/screenshot.png instead."; \
	fi
endif

.PHONY: screenshot
screenshot: setup
	@lane=$$(tools/show-lane) && $(MAKE) --no-print-directory build-$$lane && \
	  ui/screenshot.sh build/$$lane/rarbatch.exe build/screenshot.png 96 && \
	  ui/screenshot.sh build/$$lane/rarbatch.exe build/screenshot-144dpi.png 144

# The release zips, build/dist/rarbatch-VERSION.zip (32-bit) and rarbatch-VERSION-x64.zip (64-bit);
# the version is set in CMakeLists.txt.
dist: build-win32 build-win64
	@cmake --build --preset win32 --target dist
	@cmake --build --preset win64 --target dist

# The Windows benchmarks run in the build that this host can run (tools/show-lane).
bench: setup
	@cmake --preset linux -DRARBATCH_BENCH=ON >/dev/null
	@cmake --build --preset linux -j $(JOBS) --target script_bench
	@build/linux/bin/script_bench
	@lane=$$(tools/show-lane) && \
	  cmake --preset $$lane >/dev/null && \
	  cmake --build --preset $$lane -j $(JOBS) --target lists_import_bench && \
	  dir=$$(mktemp -d /tmp/rarbatch-import-bench.XXXXXX) && \
	  (cd "$$dir" && seq -f 'Archive %05g.rar' 0 32766 | tr '\n' '\0' | xargs -0 touch) && \
	  { tools/wine-run build/$$lane/bin/lists_import_bench.exe 32767 5 "Z:$$(echo $$dir | tr / '\\\\')"; \
	    status=$$?; rm -rf "$$dir"; [ $$status = 0 ]; } && \
	  cmake --preset $$lane -DRARBATCH_BENCH=ON >/dev/null && \
	  cmake --build --preset $$lane -j $(JOBS) --target job_bench fake_rar && \
	  tools/wine-run build/$$lane/bin/job_bench.exe >/dev/null
	@# Above: the 32,767 archives are made by the host, since making them through Wine takes minutes;
	@# job_bench's report is on error output, and its standard output only echoes the script's commands.
	@# Real archives with /usr/bin/rar: 20 of 20 MB, rewritten by the script's calls and by the plan.
	@cmake --preset linux -DRARBATCH_BENCH=ON >/dev/null
	@cmake --build --preset linux -j $(JOBS) --target rewrite_bench
	@build/linux/bin/rewrite_bench

# The preview by content against the preview by names, natively and under Wine, with the real archiver.
bench-content: setup
	@lane=$$(tools/show-lane) && cmake --preset $$lane >/dev/null && bench/content_preview.sh 1000 $$lane

# The parsers' fuzz targets (clang, libFuzzer, address and undefined-behaviour sanitizers), each for
# FUZZ_SECONDS; a crash fails and leaves its input in build/fuzz/crashes (tools/fuzz-run).
FUZZ_SECONDS ?= 60
fuzz: setup
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)
	@tools/fuzz-run $(FUZZ_SECONDS)

clean:
	rm -rf build
