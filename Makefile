# Front door: `make run` builds the program and starts it here; `make test`
# builds everything and runs every test.
#
# Hardening, each in its own build directory:
#   make test-install    the codec library installed alone, and examples/
#                        built against it (CMake package and pkg-config)
#   make test-sanitize   the whole test suite under AddressSanitizer and UBSan
#   make test-thread     the whole test suite under ThreadSanitizer (the codec
#                        codes large blocks on several threads, which also read
#                        and write beside the coding)
#   make fuzz            the libFuzzer targets for FUZZ_SECONDS in all (default
#                        300), most of it on the fast decoder target
#   make lint            clang-tidy and cppcheck over the C++ files of src/,
#                        tests/ and fuzz/, failing on findings
#   make test-large      a sparse source of more than 4 GiB through the program
#                        (opt-in: needs about 5 GiB of free disk and minutes)
#   make windows        build-windows/huffman.exe for 64-bit Windows, linked
#                        statically, cross-compiled with MinGW-w64
#   make test-windows    the Windows build's codec tests and end-to-end suites
#                        run under Wine
#   make bench           codec speed (one thread and every core) beside the
#                        literal algorithms, the whole program (menu and
#                        command line, one core and every core) beside cat, on
#                        a corpus made from files found on this machine
#                        (bench/corpus, about 256 MB), and the cost per file of
#                        1000 small files beside gzip -1
BUILD_DIR ?= build
CMAKE_FLAGS ?=
PREFIX ?= /usr/local
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

SANITIZE_DIR ?= build-asan
THREAD_DIR ?= build-tsan
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 300
LINT_DIR ?= build-lint
LARGE_DIR ?= build-large
WINDOWS_DIR ?= build-windows
WINDOWS_TOOLCHAIN = cmake/x86_64-w64-mingw32.cmake
CORPUS_DIR ?= bench/corpus
# The hardened builds keep assertions on (no NDEBUG) and optimise lightly.
HARDENED_FLAGS = -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DCMAKE_CXX_COMPILER=clang++
# Both sanitizers stop the process at their first finding, with a stack.
SANITIZER_ENV = ASAN_OPTIONS=abort_on_error=0:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

.PHONY: all build build-tests run test install uninstall clean test-install test-sanitize test-thread fuzz lint test-large bench windows test-windows

all: build

CONFIGURE = cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=$(PREFIX)

# A first configure leaves the tests out, so that building and starting the
# program needs only CMake and a compiler (no GoogleTest, no Python).
$(BUILD_DIR)/CMakeCache.txt:
	$(CONFIGURE) -DBUILD_TESTING=OFF $(CMAKE_FLAGS)

build: $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Only the program itself, so that starting it does not wait for the tests.
run: $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS) --target huffman
	@$(BUILD_DIR)/huffman

# Configures every time (quick when nothing changed): the tests are switched
# on, and CMAKE_FLAGS take effect on a build directory configured before.
build-tests:
	$(CONFIGURE) -DBUILD_TESTING=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build-tests
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS)

install: build
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# Removes the files the last `make install` from $(BUILD_DIR) put, as CMake
# listed them in its install_manifest.txt, and nothing else: no other file
# and no directory (bin/ and share/man/man1/ are shared with other programs).
uninstall:
	@test -f $(BUILD_DIR)/install_manifest.txt || \
	  { echo "nothing to uninstall: no $(BUILD_DIR)/install_manifest.txt (make install writes it)" >&2; exit 1; }
	@while IFS= read -r file || [ -n "$$file" ]; do \
	  if [ -f "$$file" ] || [ -L "$$file" ]; then rm -f -- "$$file" && echo "removed $$file"; fi; \
	done < $(BUILD_DIR)/install_manifest.txt
	@rm -f $(BUILD_DIR)/install_manifest.txt

# The codec library installed alone under a scratch prefix, and the example
# program built against it as another project would: through its CMake
# package, and through pkg-config; both builds round-trip a file.
INSTALL_TEST_DIR ?= build-install-test
test-install: build
	rm -rf $(INSTALL_TEST_DIR)
	cmake --install $(BUILD_DIR) --component codec --prefix $(abspath $(INSTALL_TEST_DIR))/prefix
	cmake -S examples -B $(INSTALL_TEST_DIR)/by-cmake -DCMAKE_PREFIX_PATH=$(abspath $(INSTALL_TEST_DIR))/prefix
	cmake --build $(INSTALL_TEST_DIR)/by-cmake
	$(INSTALL_TEST_DIR)/by-cmake/round_trip README.md
	PKG_CONFIG_PATH=$$(dirname $$(find $(INSTALL_TEST_DIR)/prefix -name huffman.pc)) && export PKG_CONFIG_PATH && \
	  $$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' $(BUILD_DIR)/CMakeCache.txt) -std=c++20 -O2 examples/round_trip.cpp \
	  $$(pkg-config --cflags huffman) -o $(INSTALL_TEST_DIR)/round_trip $$(pkg-config --libs huffman)
	$(INSTALL_TEST_DIR)/round_trip

test-sanitize:
	cmake -S . -B $(SANITIZE_DIR) $(HARDENED_FLAGS) -DHUFFMAN_SANITIZE=ON -DBUILD_TESTING=ON $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	$(SANITIZER_ENV) ctest --test-dir $(SANITIZE_DIR) --output-on-failure -j $(JOBS)

# HUFFMAN_THREAD_SANITIZER tells the end-to-end tests which of their checks
# ThreadSanitizer's deferred signal delivery makes meaningless.
test-thread:
	cmake -S . -B $(THREAD_DIR) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g -fsanitize=thread" -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DBUILD_TESTING=ON $(CMAKE_FLAGS)
	cmake --build $(THREAD_DIR) -j $(JOBS)
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 HUFFMAN_THREAD_SANITIZER=1 \
	  ctest --test-dir $(THREAD_DIR) --output-on-failure -j $(JOBS)

fuzz:
	cmake -S . -B $(FUZZ_DIR) $(HARDENED_FLAGS) -DHUFFMAN_FUZZ=ON -DBUILD_TESTING=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target decoder_fast_fuzz decoder_fuzz decoder_large_fuzz encoder_fuzz \
	  encoder_large_fuzz
	$(SANITIZER_ENV) fuzz/run.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

# clang-tidy reads .clang-tidy (every warning an error) and the compile
# commands of a configured build (tests included, so that their files and
# the fuzz targets' have theirs); its findings go to standard output, the
# per-file "N warnings generated" counts to standard error, dropped here.
# cppcheck reads .cppcheck-suppressions, and the GoogleTest macros from
# tests/googletest.cppcheck.cfg. The Windows sources (and tests/windows/) are
# left to the Windows build's compiler: there are no Windows headers for
# clang-tidy here.  The probe that must not compile
# (codec_headers_are_private) is left out.
LINT_SOURCES = $(shell find src tests fuzz -name '*.cpp' ! -name '*_windows.cpp' ! -path 'tests/windows/*' \
  ! -name private_header_probe.cpp | sort)
lint:
	cmake -S . -B $(LINT_DIR) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DBUILD_TESTING=ON
	@status=0; \
	echo $(LINT_SOURCES) | xargs -P $(JOBS) -n 4 clang-tidy -p $(LINT_DIR) --quiet 2>/dev/null || status=1; \
	cppcheck --project=$(LINT_DIR)/compile_commands.json --std=c++20 --library=posix \
	  --library=tests/googletest.cppcheck.cfg \
	  --enable=warning,style,performance,portability --inline-suppr -itests/codec/private_header_probe.cpp \
	  --suppressions-list=.cppcheck-suppressions --error-exitcode=1 --quiet || status=1; \
	exit $$status

bench: build-tests
	bench/make_corpus.sh $(CORPUS_DIR) > /dev/null
	@printf '%s; %s, %s cores, %s GiB; %s %s\n' "$$(date -u '+%Y-%m-%d %H:%M UTC')" \
	  "$$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)" "$$(nproc)" \
	  "$$(awk '/MemTotal/ { printf "%.0f", $$2 / 1048576 }' /proc/meminfo)" \
	  "$$($$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' $(BUILD_DIR)/CMakeCache.txt) --version | head -n 1)" \
	  "$$(sed -n 's/^CMAKE_CXX_FLAGS_RELEASE:[A-Z]*=//p' $(BUILD_DIR)/CMakeCache.txt)"
	$(BUILD_DIR)/bench/codec_bench $(addprefix $(CORPUS_DIR)/,text binary skewed random)
	bench/whole_program.sh $(BUILD_DIR)/huffman $(CORPUS_DIR)/text
	bench/many_files.sh $(BUILD_DIR)/huffman $(CORPUS_DIR)/text

test-large: build
	python3 tests/large/huge_file.py $(BUILD_DIR)/huffman $(LARGE_DIR)

$(WINDOWS_DIR)/CMakeCache.txt:
	cmake -S . -B $(WINDOWS_DIR) -DCMAKE_TOOLCHAIN_FILE=$(WINDOWS_TOOLCHAIN) -DCMAKE_BUILD_TYPE=Release \
	  -DFETCHCONTENT_SOURCE_DIR_GOOGLETEST=/usr/src/googletest -DHUFFMAN_HOST_PROGRAM=$(abspath $(BUILD_DIR))/huffman \
	  $(CMAKE_FLAGS)

windows: $(WINDOWS_DIR)/CMakeCache.txt
	cmake --build $(WINDOWS_DIR) -j $(JOBS) --target huffman

# One wineserver for the whole run (-p: it stays until killed), so each start
# of a Windows program does not pay for a new one; it is stopped at the end.
# The host's program is built too: both builds must write the same files.
test-windows: $(WINDOWS_DIR)/CMakeCache.txt $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS) --target huffman
	cmake --build $(WINDOWS_DIR) -j $(JOBS)
	tests/windows/with_wineserver.sh $(WINDOWS_DIR)/wine-prefix ctest --test-dir $(WINDOWS_DIR) --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD_DIR) $(INSTALL_TEST_DIR) $(SANITIZE_DIR) $(THREAD_DIR) $(FUZZ_DIR) $(LINT_DIR) $(LARGE_DIR) $(WINDOWS_DIR)
