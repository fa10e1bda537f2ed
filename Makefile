# SPDX-License-Identifier: MIT
# SPDX-FileCopyrightText: 2026 The Quvelta developers
# Convenience wrapper around scripts/install-deps.sh and CMake.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
JOBS ?= 2

.PHONY: deps build run test test-sanitize bench package check-package check-mingw check-multiconfig test-arm64 clean

deps:
	sh scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/src/app/quvelta

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQUVELTA_SANITIZE=ON -DQUVELTA_BENCH=OFF
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	./$(BUILD)/bench/quvelta-bench

# The Debian package, $(BUILD)/quvelta_<version>_<arch>.deb
package: build
	rm -f $(BUILD)/quvelta_*.deb
	cd $(BUILD) && cpack -G DEB

check-package: package
	sh scripts/check-package.sh $(BUILD)

check-mingw:
	sh scripts/check-mingw.sh

check-multiconfig:
	sh scripts/check-multiconfig.sh build-multiconfig

# The tests of an AArch64 cross build, run under qemu-user.
test-arm64:
	sh scripts/test-arm64.sh build-arm64

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) build-multiconfig build-arm64
