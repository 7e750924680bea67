# Two commands: `make demo` builds every deliverable into dist/ and shows a
# firmware update on a simulated board under Wine; `make test` builds and runs
# every test level. Both install what they need first. `make` alone stops
# after dist/.
PRESETS := host win32 win64
JOBS ?= $(shell nproc)

.PHONY: all bootstrap build dist demo test clean

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

# The updater with -F on the deliverables of dist/, with the Wine test driver
# (a simulated board) in place of driver/x64/Orvane.sys; see scripts/e2e-update.
DEMO_DIR := build/demo
demo: dist
	@mkdir -p $(DEMO_DIR)
	@xvfb-run -a -s "-screen 0 1024x768x24" \
	  env SHOT=$(CURDIR)/$(DEMO_DIR)/popup.png X86_DIR=dist/driver/x86 \
	  scripts/e2e-update -F $(DEMO_DIR) dist/Zelvar_FW_Update_Tool.exe dist/VexmarHotKeyDll.dll \
	    dist/218_Win.exe dist/driver/x64 build/win64/tests/wine/OrvaneSim.sys \
	    build/win32/tests/wine/wine_keepalive.exe build/win32/tests/win32/updater/updater_standin.exe

test: build
	@status=0; for p in $(PRESETS); do \
	  ctest --preset $$p -j $(JOBS) || status=1; \
	done; exit $$status

clean:
	rm -rf build dist
