# Thin wrapper over CMake: both plug-ins and host tools into dist/, the demo, the tests, the
# benchmark and the release archive.
# Every target first installs what is missing (scripts/setup.sh, as root).

WIDTHS := x64 x86
SESSION := scripts/wine-session.sh

.PHONY: all setup configure build demo test bench soak fuzz release clean

all: build
	@mkdir -p dist
	cp build/x64/bin/Sorvane.sph build/x86/bin/Sorvane.spi \
	  build/x64/bin/spihost64.exe build/x86/bin/spihost32.exe dist/
	@ls -l dist

setup:
	@scripts/setup.sh

# Configured every time (well under a second when nothing changed): a build tree whose first
# configure failed has a CMakeCache.txt but no build system to re-run CMake from, and a changed
# preset (its cache variables) is applied only by `cmake --preset`.
configure: setup
	@for w in $(WIDTHS); do cmake --preset $$w >/dev/null || exit 1; done

# The portable DDS reader is also built for this machine itself: its tests run natively.
build: configure
	@for w in $(WIDTHS); do cmake --build --preset $$w -j 2 || exit 1; done
	@cmake -S native -B build/native >/dev/null && cmake --build build/native -j 2

demo: all
	$(SESSION) scripts/demo.sh

test: build
	$(SESSION) scripts/run-tests.sh

bench: build
	$(SESSION) scripts/bench.sh

# Many requests in one process per build, next to a bare device loop (not part of make test).
soak: build
	$(SESSION) scripts/soak.sh $(REQUESTS) $(CYCLES)

# The DDS reader natively under sanitizers and mutated files through both plug-ins, for MINUTES.
fuzz: build
	$(SESSION) scripts/fuzz.sh $(MINUTES)

release: all
	/usr/bin/python3 scripts/release.py

clean:
	rm -rf build dist
