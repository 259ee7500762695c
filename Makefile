# Front door: `make test` and `make run` install what is missing, build and go.
BUILD ?= build
SAN_BUILD ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc)
PACKAGES = cmake ninja-build g++ qt6-base-dev qt6-translations-l10n zlib1g-dev libgtest-dev libbenchmark-dev xvfb \
           clang libclang-rt-14-dev fonts-droid-fallback
SUDO = $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: deps build test run test-sanitize bench fuzz clean

deps:
	@missing=$$(for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing:" $$missing; \
	    $(SUDO) apt-get update && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release

build: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: deps
	@$(MAKE) --no-print-directory build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

run: deps
	@$(MAKE) --no-print-directory build
	./$(BUILD)/vza-extract

test-sanitize: deps
	cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVZA_SANITIZE=ON -DVZA_BUILD_BENCH=OFF
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
	    UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# Builds the libFuzzer targets with clang (own build folder) and runs each one
# in turn for FUZZ_SECONDS, starting from the writer's seeds, the corpus kept
# from earlier runs and the regression inputs. Crashes go to $(FUZZ_BUILD)/artifacts.
fuzz: deps
	cmake -S fuzz -B $(FUZZ_BUILD) -G Ninja -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@for target in archive decoder; do \
	    mkdir -p $(FUZZ_BUILD)/corpus/$$target $(FUZZ_BUILD)/artifacts; \
	    echo "== fuzz_$$target for $(FUZZ_SECONDS) s"; \
	    ./$(FUZZ_BUILD)/fuzz_$$target -max_total_time=$(FUZZ_SECONDS) -timeout=10 -print_final_stats=1 \
	        -artifact_prefix=$(FUZZ_BUILD)/artifacts/ $(FUZZ_BUILD)/corpus/$$target \
	        $(FUZZ_BUILD)/seeds/$$target $$(ls -d tests/data/fuzz/$$target 2>/dev/null) || exit 1; \
	done

# Side-by-side comparison with unzip, cp and OpenSSL on generated data.
BENCH_PACKAGES = zip unzip openssl time
bench: deps
	@missing=$$(for p in $(BENCH_PACKAGES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    $(SUDO) apt-get update && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi
	@$(MAKE) --no-print-directory build
	bench/compare $(BUILD)

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD)
