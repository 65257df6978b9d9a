# The two entry points of a fresh machine: `make demo` and `make test`.
# Both install what is missing first (scripts/install-deps.sh), then build with CMake.

JOBS        ?= $(shell nproc 2>/dev/null || echo 2)
RELEASE_DIR := build/release
ASAN_DIR    := build/asan
TSAN_DIR    := build/tsan
FUZZ_DIR    := build/fuzz
FUZZERS     := fuzz_atoms_file fuzz_text_settings fuzz_resource_file fuzz_driver_registry fuzz_program_bank fuzz_panel_resource
CTEST_FLAGS := --output-on-failure --timeout 600 -j $(JOBS)

.PHONY: demo test deps release install asan tsan test-release test-asan test-tsan bench fuzz mutants format clean

demo: deps release
	$(RELEASE_DIR)/apps/valvorama/valvorama demo demo
	$(RELEASE_DIR)/tools/skin_sheet $(RELEASE_DIR)/apps/valvorama-live/ValvoramaLive.xrs demo/skins.png
	scripts/live-demo.sh $(RELEASE_DIR) demo

test: deps
	$(MAKE) fuzz
	$(MAKE) test-release
	$(MAKE) test-tsan
	$(MAKE) test-asan

deps:
	@scripts/install-deps.sh

release:
	cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(RELEASE_DIR) -j $(JOBS)

# The programs, the resource file, the JACK driver and the VST2 plug-in under PREFIX, inside
# DESTDIR when given (a staging folder for packaging). The prefix is built in: the driver's
# registry entry names the library by its installed path.
PREFIX ?= /usr/local
install:
	cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=$(PREFIX)
	cmake --build $(RELEASE_DIR) -j $(JOBS)
	DESTDIR="$(DESTDIR)" cmake --install $(RELEASE_DIR)

asan:
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DVALVO_SANITIZE=ON -DVALVO_BENCH=OFF
	cmake --build $(ASAN_DIR) -j $(JOBS)

# Only the suites with threaded ("Concurrency") tests are built for ThreadSanitizer, which
# needs a fixed address-space layout on kernels with wide mmap randomisation.
TSAN_SUITES := test_rack test_plugin test_host test_ui
tsan:
	cmake -S . -B $(TSAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DVALVO_TSAN=ON -DVALVO_BENCH=OFF
	cmake --build $(TSAN_DIR) -j $(JOBS) --target $(TSAN_SUITES)

test-tsan: tsan
	@echo "== threaded tests, ThreadSanitizer build"
	cd $(TSAN_DIR) && TSAN_OPTIONS="suppressions=$(CURDIR)/tests/tsan.supp" \
	  setarch $$(uname -m) -R ctest $(CTEST_FLAGS) -R Concurrency

test-release: release
	@echo "== tests, release build"
	cd $(RELEASE_DIR) && ctest $(CTEST_FLAGS)

test-asan: asan
	@echo "== tests, AddressSanitizer + UndefinedBehaviorSanitizer build"
	cd $(ASAN_DIR) && ctest $(CTEST_FLAGS)

# Each parser fuzzed for 30 s from its seed corpus (fuzz/corpus/<target>); any crash fails.
# New inputs and crash reproducers stay in the build folder.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=Debug -DVALVO_FUZZ=ON -DVALVO_BENCH=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target $(FUZZERS)
	@for f in $(FUZZERS); do \
	  echo "== fuzzing $$f for 30 s"; \
	  mkdir -p $(FUZZ_DIR)/corpus/$$f $(FUZZ_DIR)/crashes/$$f && \
	  $(FUZZ_DIR)/fuzz/$$f -max_total_time=30 -timeout=10 -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_DIR)/crashes/$$f/ $(FUZZ_DIR)/corpus/$$f fuzz/corpus/$$f \
	    || exit 1; \
	done

# Each deliberate fault of tools/mutants in turn, built into a copy of the tree (build/mutants)
# and run against the suites its patch names; the table of what caught it goes to
# build/mutants/report.txt. Not part of `make test`.
mutants: deps
	tools/mutants/run.sh --jobs $(JOBS)

bench: release
	@for b in $(RELEASE_DIR)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

format:
	find src tests bench apps fuzz -name '*.h' -o -name '*.cpp' | xargs -r clang-format -i

clean:
	rm -rf build
