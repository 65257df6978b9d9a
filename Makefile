# The two entry points of a fresh machine: `make demo` and `make test`.
# Both install what is missing first (scripts/install-deps.sh), then build with CMake.

JOBS        ?= $(shell nproc 2>/dev/null || echo 2)
RELEASE_DIR := build/release
ASAN_DIR    := build/asan
TSAN_DIR    := build/tsan
CTEST_FLAGS := --output-on-failure --timeout 600 -j $(JOBS)

.PHONY: demo test deps release asan tsan test-release test-asan test-tsan bench format clean

demo: deps release
	$(RELEASE_DIR)/apps/valvorama/valvorama effects

test: deps
	$(MAKE) test-release
	$(MAKE) test-tsan
	$(MAKE) test-asan

deps:
	@scripts/install-deps.sh

release:
	cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(RELEASE_DIR) -j $(JOBS)

asan:
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DVALVO_SANITIZE=ON -DVALVO_BENCH=OFF
	cmake --build $(ASAN_DIR) -j $(JOBS)

# ThreadSanitizer needs a fixed address-space layout on kernels with wide mmap randomisation.
tsan:
	cmake -S . -B $(TSAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DVALVO_TSAN=ON -DVALVO_BENCH=OFF
	cmake --build $(TSAN_DIR) -j $(JOBS)

test-tsan: tsan
	@echo "== threaded tests, ThreadSanitizer build"
	cd $(TSAN_DIR) && setarch $$(uname -m) -R ctest $(CTEST_FLAGS) -R Concurrency

test-release: release
	@echo "== tests, release build"
	cd $(RELEASE_DIR) && ctest $(CTEST_FLAGS)

test-asan: asan
	@echo "== tests, AddressSanitizer + UndefinedBehaviorSanitizer build"
	cd $(ASAN_DIR) && ctest $(CTEST_FLAGS)

bench: release
	@for b in $(RELEASE_DIR)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

format:
	find src tests bench apps -name '*.h' -o -name '*.cpp' | xargs -r clang-format -i

clean:
	rm -rf build
