# Front door: `make test` and `make run` do all the set-up they need.
PRESETS := win64 win32
BUILD   := build
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)
# `make run WINEPREFIX=...` runs in that prefix; a WINEPREFIX merely exported
# in the environment does not replace the demo prefix.
RUN_PREFIX := $(if $(filter command line,$(origin WINEPREFIX)),$(WINEPREFIX),)

.PHONY: all setup configure build test run screenshot dist bench clean

all: build

setup:
	@sh scripts/setup-debian.sh

configure: setup
	@for p in $(PRESETS); do \
	    [ -f $(BUILD)/$$p/Makefile ] || cmake --preset $$p >/dev/null || exit 1; \
	done

build: configure
	@for p in $(PRESETS); do cmake --build $(BUILD)/$$p -j $(JOBS) || exit 1; done

# Checks the download zips, then runs every test of both builds under Wine;
# ends with ctest's summary. A machine that cannot execute 32-bit programs
# (or LUMIVANE_NO_WIN32=1) still builds and checks win32, and says in one line
# that its tests did not run.
test: build
	@status=0; \
	sh scripts/make-dist.sh pack $(BUILD) $(PRESETS) >/dev/null && \
	    sh scripts/make-dist.sh check $(BUILD) $(PRESETS) || status=1; \
	for p in $(PRESETS); do \
	    echo "== $$p =="; \
	    sh scripts/test-target.sh $(BUILD) $$p $(JOBS) || status=1; \
	done; exit $$status

# Starts the 64-bit program in a demo prefix with sample entries, or in the
# prefix given as WINEPREFIX=...; without a display, prints the list with
# lumivanec.exe instead.
run: setup
	@[ -f $(BUILD)/win64/Makefile ] || cmake --preset win64 >/dev/null
	@cmake --build $(BUILD)/win64 -j $(JOBS) --target lumivane lumivanec demo
	@sh scripts/run-demo.sh $(CURDIR)/$(BUILD)/win64/lumivane.exe $(RUN_PREFIX)

screenshot: setup
	@[ -f $(BUILD)/win64/Makefile ] || cmake --preset win64 >/dev/null
	@cmake --build $(BUILD)/win64 -j $(JOBS) --target lumivane demo
	@sh scripts/screenshot.sh $(CURDIR)/$(BUILD)/win64/lumivane.exe docs/screenshots

# One zip per build in build/dist: both programs, Manual.html, ReadMe.txt, License.txt.
dist: configure
	@for p in $(PRESETS); do cmake --build $(BUILD)/$$p -j $(JOBS) --target lumivane lumivanec || exit 1; done
	@sh scripts/make-dist.sh pack $(BUILD) $(PRESETS)
	@sh scripts/make-dist.sh check $(BUILD) $(PRESETS) >/dev/null

# Times a refresh of a heavy synthetic profile against the bare-API bound
# (both builds, under Wine in each build tree's prefix); BENCH_RUNS=5 by default.
BENCH_RUNS ?= 5
bench: configure
	@for p in $(PRESETS); do \
	    cmake --build $(BUILD)/$$p -j $(JOBS) --target refresh_bench || exit 1; \
	    echo "== $$p =="; \
	    if ! why=$$(. scripts/wine-env.sh && wine_can_run $$p); then \
	        echo "$$p: not run: this machine cannot start its Wine loader ($$why)"; continue; \
	    fi; \
	    prefix=$(CURDIR)/$(BUILD)/$$p/wineprefix; \
	    sh scripts/wine-prefix.sh start $$prefix $$p && \
	    sh scripts/wine-run.sh $$prefix $$p $(BUILD)/$$p/bench/refresh_bench.exe $(BENCH_RUNS); \
	    status=$$?; sh scripts/wine-prefix.sh stop $$prefix $$p; [ $$status -eq 0 ] || exit $$status; \
	done

clean:
	rm -rf $(BUILD)
