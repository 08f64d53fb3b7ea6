# Kolvo: the commands a user and CI run. Everything else is CMake.
BUILD        ?= build
ASAN_BUILD   ?= build-asan
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 10
FUZZ_TARGETS ?=
FUZZ_JOBS    ?= 1
JOBS         ?= $(shell nproc)
CMAKE_GEN    := -G Ninja
PREFIX       ?= /usr/local
DESTDIR      ?=

.PHONY: all deps configure build run test test-real test-asan bench fuzz fuzz-build fuzz-long format \
	clean install uninstall deb

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY" ] && [ -z "$$QT_QPA_PLATFORM" ]; then \
	  echo "No desktop session (DISPLAY and WAYLAND_DISPLAY are unset): playing the demo album without windows."; \
	  $(BUILD)/bin/kolvo-cli play $(BUILD)/share/kolvo/demo/*.wav $(BUILD)/share/kolvo/demo/*.mp3; \
	else $(BUILD)/bin/kolvo; fi

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=$(FUZZ_SECONDS)

# Real media from Debian packages, checked against independent readers (tests/real). The
# network is needed once, for the download into the cache (tools/real-media dir).
test-real: build
	@tools/real-media fetch
	@rm -f $(BUILD)/real-media-report.txt
	@cd $(BUILD) && KOLVO_REAL_MEDIA_RUN=1 KOLVO_REAL_MEDIA_REPORT=$(abspath $(BUILD))/real-media-report.txt \
	  ctest -R '^(pulse_start|real_media|pulse_stop)$$' --output-on-failure; status=$$?; \
	  cat real-media-report.txt 2>/dev/null; exit $$status

test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DKOLVO_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	@cmake --build $(BUILD) --target benchmarks -j $(JOBS)
	@scripts/run-benchmarks $(BUILD)

# The readers of outside data under libFuzzer (scripts/run-fuzzers). `make fuzz` gives each
# target FUZZ_SECONDS from the committed corpus and keeps nothing; `make fuzz-long` gives each
# FUZZ_SECONDS (600 unless set) and merges what it found into tests/fuzz/corpus/<target>.
# FUZZ_TARGETS="fuzz_id3 fuzz_playlist" names targets; FUZZ_JOBS=2 runs two at a time.
fuzz-build: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOLVO_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) --target $(or $(FUZZ_TARGETS),fuzzers) -j $(JOBS)

fuzz: fuzz-build
	@FUZZ_JOBS=$(FUZZ_JOBS) scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

fuzz-long: fuzz-build
	@FUZZ_JOBS=$(FUZZ_JOBS) scripts/run-fuzzers $(FUZZ_BUILD) \
	  $(if $(filter file,$(origin FUZZ_SECONDS)),600,$(FUZZ_SECONDS)) --long $(FUZZ_TARGETS)

# Installing: the programs, their data and the desktop pieces under $(DESTDIR)$(PREFIX); no path
# of the build tree is kept. `make uninstall` removes exactly what the last install put there.
install: build
	@DESTDIR="$(DESTDIR)" scripts/install-kolvo $(BUILD) "$(PREFIX)"

uninstall:
	@scripts/install-kolvo --uninstall $(BUILD)/kolvo-installed.txt

# A Debian package, kolvo_<version>_<arch>.deb in $(BUILD), its library dependencies found by
# dpkg-shlibdeps. `ctest -R package_tests` checks one (it is part of `make test`).
deb: build
	@cd $(BUILD) && cpack -G DEB

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
