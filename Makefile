# Front door: every target does its own set-up (missing Debian packages are
# installed on first use) and builds what it needs.
#
#   make demo      the installer under Wine on a simulated point-of-sale machine
#                  (its screenshot goes to build/demo/progress-window.png); it
#                  installs and builds only what it shows: the 64-bit program
#                  and posmachine, in a 64-bit Wine prefix
#   make screenshot  the demo, its screenshot replacing docs/progress-window.png
#   make test      every test: the native unit tests under ASan+UBSan and TSan,
#                  both Windows builds, and the end-to-end tests under Wine on
#                  both programs, side by side (tools/test.sh); prints each
#                  phase's time and the wall time at the end
#   make windows   build/win64/ZanDriverInstaller.exe and build/win32/ZanDriverInstaller.exe
#   make dist      build/dist (the 32-bit program, x64/ the 64-bit one, README.txt,
#                  SHA256SUMS) and build/ZanDriverInstaller-<version>.zip of it;
#                  signed with SIGN_CERT=... (see tools/dist.sh)
#   make reproducible  make dist in two fresh clones of the last commit, compared
#   make bench     timing figures from runs under Wine, for both programs
#   make fuzz      libFuzzer targets (FUZZ_SECONDS per target, default 60)
#   make coverage  line and branch coverage of the program's own files by the
#                  native suite (build/coverage; not part of make test)

JOBS ?= $(shell nproc)
CMAKE_GEN := -G "Unix Makefiles"

# Compilations go through ccache when it is there (make deps installs it):
# the machine keeps each object in its cache (~/.cache/ccache), so a clone of
# the same sources builds again from it, but for the two test files that are
# given a path of the clone. In its depend mode an object not in the cache
# costs one compilation, as without ccache. Paths are left out of what a
# cached object is known by: the Windows objects hold none
# (-ffile-prefix-map), while a native test object's debug information names
# the clone that compiled it first. A build in which CCACHE_DISABLE is set
# (make reproducible) compiles everything. The native suite's precompiled
# header is left out: it holds the clone's path, so no other clone could take
# the objects compiled with it from the cache.
CCACHE := $(shell command -v ccache 2>/dev/null)
ifneq ($(CCACHE),)
CMAKE_GEN += -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
CMAKE_GEN += -DCMAKE_DISABLE_PRECOMPILE_HEADERS=ON
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1
export CCACHE_DEPEND := 1
export CCACHE_IGNOREOPTIONS := -ffile-prefix-map=*
export CCACHE_SLOPPINESS := pch_defines,time_macros,include_file_mtime,include_file_ctime
endif
FUZZ_SECONDS ?= 60
comma := ,

.PHONY: all deps deps-native deps-demo native native-build unit asan tsan asan-build tsan-build native-suite asan-suite tsan-suite windows win64 win32 e2e test dist reproducible demo demo-programs screenshot bench fuzz coverage clean

all: native windows

deps:
	@tools/install-deps.sh

deps-native:
	@tools/install-deps.sh --native

deps-demo:
	@tools/install-deps.sh --demo

# $(call build,DIR,CMAKE OPTIONS[,TARGETS]): configures and builds DIR, all of
# it or only TARGETS. The compiler's output goes to DIR/build.log; a failed
# build prints its last lines.
# (--no-warn-unused-cli: a configured DIR ignores the toolchain file given
# again, and need not say so at every build.)
define build
	@cmake --no-warn-unused-cli -S . -B $(1) $(CMAKE_GEN) $(2) >/dev/null
	@echo "Building $(1)$(if $(3), ($(3)),) (compiler output: $(1)/build.log)"
	@cmake --build $(1) -j $(JOBS)$(if $(3), --target $(3),) >$(1)/build.log 2>&1 || \
	  { tail -n 40 $(1)/build.log; echo "make: the build of $(1) failed; its output: $(1)/build.log" >&2; exit 1; }
endef

# $(call suite,DIR,ENVIRONMENT): the native suite of the build DIR (ctest;
# the output of a test that fails is printed).
define suite
	@cd $(1) && $(2) ctest --output-on-failure -j $(JOBS)
endef

native native-build: deps-native
	$(call build,build/native,-DCMAKE_BUILD_TYPE=Debug)

asan-build: deps-native
	$(call build,build/asan,-DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DZAN_SANITIZE=address$(comma)undefined)

tsan-build: deps-native
	$(call build,build/tsan,-DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DZAN_SANITIZE=thread)

# The suites alone, of builds already made (make test runs each as soon as
# its build is done).
native-suite:
	$(call suite,build/native,)

asan-suite:
	$(call suite,build/asan,ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1)

tsan-suite:
	$(call suite,build/tsan,TSAN_OPTIONS=halt_on_error=1)

unit: native
	@$(MAKE) --no-print-directory native-suite

asan: asan-build
	@$(MAKE) --no-print-directory asan-suite

tsan: tsan-build
	@$(MAKE) --no-print-directory tsan-suite

WIN64_OPTIONS := -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake

win64: deps
	$(call build,build/win64,$(WIN64_OPTIONS))

win32: deps
	$(call build,build/win32,-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake)

windows: win64 win32

e2e: windows
	tests/e2e/run-all.sh

# Every suite, the Windows and the native builds side by side (tools/test.sh).
test:
	@JOBS=$(JOBS) tools/test.sh

dist: windows
	tools/dist.sh

reproducible: deps
	tools/reproducible.sh

# The demo installs only its own packages (no 32-bit Wine, no test tools);
# tools/demo.sh builds demo-programs while the Wine prefix makes its first start.
demo: deps-demo
	@tools/demo.sh

# What the demo runs, and no more: the 64-bit program and posmachine.
demo-programs:
	$(call build,build/win64,$(WIN64_OPTIONS),ZanDriverInstaller posmachine)

# The only target that changes a tracked file: the README's picture.
screenshot: deps-demo
	tools/demo.sh --screenshot docs/progress-window.png

bench: windows
	tools/bench.sh

fuzz: deps-native
	tests/fuzz/run.sh $(FUZZ_SECONDS)

# gcc's --coverage in a build of its own; tools/coverage.sh runs the suite and
# reports with gcovr (the text on stdout, HTML under build/coverage/html/).
coverage:
	@tools/install-deps.sh --coverage
	$(call build,build/coverage,-DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=g++ -DCMAKE_CXX_FLAGS=--coverage)
	@tools/coverage.sh build/coverage $(JOBS)

clean:
	rm -rf build
