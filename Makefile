# SPDX-License-Identifier: MIT
# Front door: `make test` and `make run` install what is missing, build and go.
BUILD ?= build
SAN_BUILD ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
PKG_BUILD ?= build-package
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local
DESTDIR ?=
# What each goal needs from Debian, installed with apt-get when missing.
# Configuring looks for GoogleTest and Google Benchmark as well.
BUILD_PACKAGES = cmake ninja-build g++ qt6-base-dev qt6-l10n-tools zlib1g-dev libisal-dev libdeflate-dev libgtest-dev \
                 libbenchmark-dev
# The desktop program shows Qt's own texts (dialog buttons) in Japanese.
QT_TEXT_PACKAGES = qt6-translations-l10n
# The .deb packages take Debian's hardening flags from dpkg-buildflags.
PACKAGE_PACKAGES = $(BUILD_PACKAGES) dpkg-dev
# The tests also check the installed tree, the desktop entry, the MIME type,
# the AppStream metainfo, the manual pages, the completion and the .deb
# packages (lintian, and the hardening with binutils' readelf), and Python's
# zlib reads what the writer compressed.
TEST_PACKAGES = $(BUILD_PACKAGES) $(QT_TEXT_PACKAGES) desktop-file-utils shared-mime-info libglib2.0-bin \
                gtk-update-icon-cache appstream libxml2-utils man-db groff-base bsdextrautils bash-completion pkgconf \
                dpkg-dev file lintian binutils python3-minimal
# A window on a real display needs Qt's platform plugins and a font with Japanese.
RUN_PACKAGES = $(BUILD_PACKAGES) $(QT_TEXT_PACKAGES) qt6-qpa-plugins fonts-droid-fallback
FUZZ_PACKAGES = clang libclang-rt-14-dev
SUDO = $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: deps deps-run deps-fuzz build test test-gui-stress run test-sanitize bench fuzz install uninstall package clean

# Installs those of the Debian packages named in $(1) that are missing.
define install_missing
	@missing=$$(for p in $(1); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing:" $$missing; \
	    $(SUDO) apt-get update && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call install_missing,$(TEST_PACKAGES))
deps-run:
	$(call install_missing,$(RUN_PACKAGES))
deps-fuzz:
	$(call install_missing,$(FUZZ_PACKAGES))

# WERROR=ON makes every compiler warning an error (.ci/run sets it).
WERROR ?= OFF

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVZA_WERROR=$(WERROR)

build: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: deps
	@$(MAKE) --no-print-directory build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The desktop program's tests 20 times under load (stress-ng --cpu 4): a
# test that waits for a time instead of a state fails here. Not run by CI.
test-gui-stress: deps
	$(call install_missing,stress-ng)
	@$(MAKE) --no-print-directory build
	tests/gui/stress.sh $(BUILD) 20 4

run: deps-run
	@$(MAKE) --no-print-directory build
	./$(BUILD)/vza-extract

# The sanitized build inflates and deflates with zlib alone, where the main
# build uses ISA-L and libdeflate: the suite runs against every engine.
test-sanitize: deps
	cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVZA_SANITIZE=ON -DVZA_WITH_ISAL=OFF \
	    -DVZA_WITH_LIBDEFLATE=OFF -DVZA_WERROR=$(WERROR)
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
	    UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# Builds the libFuzzer targets with clang (own build folder) and runs each one
# in turn for FUZZ_SECONDS, starting from the writer's seeds, the corpus kept
# from earlier runs and the regression inputs. Crashes go to $(FUZZ_BUILD)/artifacts.
fuzz: deps deps-fuzz
	cmake -S fuzz -B $(FUZZ_BUILD) -G Ninja -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@for target in archive decoder inflate deflate; do \
	    mkdir -p $(FUZZ_BUILD)/corpus/$$target $(FUZZ_BUILD)/artifacts; \
	    echo "== fuzz_$$target for $(FUZZ_SECONDS) s"; \
	    ./$(FUZZ_BUILD)/fuzz_$$target -max_total_time=$(FUZZ_SECONDS) -timeout=10 -print_final_stats=1 \
	        -artifact_prefix=$(FUZZ_BUILD)/artifacts/ $(FUZZ_BUILD)/corpus/$$target \
	        $(FUZZ_BUILD)/seeds/$$target $$(ls -d tests/data/fuzz/$$target 2>/dev/null) || exit 1; \
	done

# Side-by-side comparison with cp, tar, unzip, bsdtar and OpenSSL on generated
# data, and of vza create with tar and zip (tar and gzip come with every Debian system).
BENCH_PACKAGES = zip unzip libarchive-tools openssl time
bench: deps
	$(call install_missing,$(BENCH_PACKAGES))
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVZA_BUILD_BENCH=ON
	@$(MAKE) --no-print-directory build
	bench/compare $(BUILD)
	bench/compare_create $(BUILD)

# `make install` (PREFIX=/usr/local, DESTDIR for a staged tree) and its undo,
# which removes what the last install wrote (build/install_manifest.txt) and
# the folders it made (build/install_folders.txt), and nothing else.
# Without DESTDIR the MIME, desktop and icon caches are refreshed, and
# removed by the undo when ours were their last entries. An
# existing build folder is not reconfigured, so `sudo make install` after a
# build leaves no root-owned files in it but those two lists.
install:
	@$(MAKE) --no-print-directory build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

uninstall:
	DESTDIR=$(DESTDIR) cmake --build $(BUILD) --target uninstall

# The .deb packages (vza, vza-extract, libvza-dev), built in a folder of
# their own (prefix /usr, Debian's hardening flags: cmake/PackageCache.cmake)
# and written to it.
package:
	$(call install_missing,$(PACKAGE_PACKAGES))
	cmake -C cmake/PackageCache.cmake -S . -B $(PKG_BUILD) -G Ninja
	cmake --build $(PKG_BUILD) -j $(JOBS)
	cd $(PKG_BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD) $(PKG_BUILD)
