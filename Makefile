# The two set-up commands are `make run` and `make test`; both install what is missing first.
SHELL := /bin/bash
.PHONY: deps configure build build-win build-host run test test-host test-win bench dist clean

deps:
	@scripts/setup-deps

build-win: deps
	@[ -f build/win/build.ninja ] || cmake --preset win >/dev/null
	cmake --build --preset win

build-host: deps
	@[ -f build/host/build.ninja ] || cmake --preset host >/dev/null
	cmake --build --preset host

build: build-win build-host

run: build-win
	scripts/run-penloom

test: build
	scripts/run-tests

test-host: build-host
	scripts/run-tests host

test-win: build-win
	scripts/run-tests win

bench: build-win
	@[ -f build/bench/build.ninja ] || cmake --preset bench >/dev/null
	cmake --build --preset bench
	scripts/run-bench

dist: build-win
	mkdir -p dist
	cp build/win/app/Penloom.exe dist/
	@if [ -f build/win/installer/PLMsetup.exe ]; then cp build/win/installer/PLMsetup.exe dist/; fi
	@ls -l dist

clean:
	rm -rf build dist
