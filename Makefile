# Two commands: `make` builds every deliverable into dist/, `make test` builds
# and runs every test level. Both install what they need first.
PRESETS := host win32 win64
JOBS ?= $(shell nproc)

.PHONY: all bootstrap build dist test clean

all: dist

bootstrap:
	@./scripts/bootstrap

build: bootstrap
	@for p in $(PRESETS); do \
	  cmake --preset $$p >/dev/null && cmake --build --preset $$p -j $(JOBS) || exit 1; \
	done

dist: build
	@rm -rf dist
	@for p in win32 win64; do cmake --install build/$$p >/dev/null || exit 1; done
	@echo "deliverables staged in dist/"; find dist -type f | sort

test: build
	@status=0; for p in $(PRESETS); do \
	  ctest --preset $$p -j $(JOBS) || status=1; \
	done; exit $$status

clean:
	rm -rf build dist
