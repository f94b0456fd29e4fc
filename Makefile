# The entry points of the README. Each one installs what is missing first.
PRESET ?= release
JOBS ?= $(shell nproc)
ifeq ($(CI),true)
export QUIL_WERROR := ON
endif

.PHONY: all deps build test demo sanitize fuzz bench package clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake --preset $(PRESET) >/dev/null
	cmake --build --preset $(PRESET) -j $(JOBS)

test: build
	ctest --preset $(PRESET)

demo: build
	scripts/demo build/$(PRESET)

sanitize: deps
	scripts/sanitize

bench: build
	scripts/run-benchmarks build/$(PRESET)

# The Debian package of the build, in build/$(PRESET)/packages/.
package: build
	cpack --config build/$(PRESET)/CPackConfig.cmake

clean:
	rm -rf build
