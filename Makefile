# The two commands of the README: `make run` and `make test`. Both install what is missing first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30
JOBS       ?= $(shell nproc)
GENERATOR  := -G Ninja

PREFIX     ?= /usr/local

.PHONY: all deps configure build run test test-asan test-fuzz test-main bench format clean \
        install package install-udev-rules

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The demo meter unless PORT=/path names the meter's serial device (make run PORT=/dev/ttyUSB0).
run: build
	PORT="$(PORT)" bash scripts/run.sh $(BUILD)

# The engine's tests under AddressSanitizer and UndefinedBehaviorSanitizer, each fuzz target for
# FUZZ_SECONDS, then every test of the main build (its ctest summary is the last line printed).
test: deps test-asan test-fuzz package test-main

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DHALVERN_GUI=OFF \
	      -DHALVERN_BENCH=OFF -DHALVERN_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) --timeout 600

test-fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	      -DHALVERN_GUI=OFF -DHALVERN_TESTS=OFF -DHALVERN_BENCH=OFF -DHALVERN_FUZZ=ON \
	      -DHALVERN_FUZZ_SECONDS=$(FUZZ_SECONDS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	ctest --test-dir $(FUZZ_BUILD) --output-on-failure -j $(JOBS)

test-main: build
	QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) --timeout 600

# Installs under PREFIX (default /usr/local); DESTDIR=/some/root stages the tree there instead.
# It builds nothing: under sudo that would leave files of root's in the build folder.
install:
	@test -x $(BUILD)/halvern || { echo "No build in $(BUILD): run 'make build' first, then 'sudo make install'."; exit 1; }
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# The Debian package, build/halvern_<version>_<arch>.deb: sudo apt install ./build/halvern_*.deb
package: build
	cmake --build $(BUILD) --target package

# udev reads no rules under /usr/local: after `make install`, this puts the device rules where
# it does and applies them to the cables already plugged in.
install-udev-rules:
	$(if $(filter 0,$(shell id -u)),,sudo) install -m 0644 packaging/udev/70-halvern.rules /etc/udev/rules.d/
	$(if $(filter 0,$(shell id -u)),,sudo) udevadm control --reload-rules
	$(if $(filter 0,$(shell id -u)),,sudo) udevadm trigger --action=change --subsystem-match=hidraw --subsystem-match=tty

bench: build
	bash scripts/bench.sh $(BUILD)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
