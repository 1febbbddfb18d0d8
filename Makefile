# korvana: `make demo` and `make test` work on a fresh machine with nothing
# done by hand: system libraries, virtual environment, build, then the job.

PYTHON  ?= python3
VENV    := .venv
VPY     := $(VENV)/bin/python
BUILD   := build/wheel
STAMPS  := build/stamps
APT_PKGS := g++ pkg-config libfftw3-dev libcjson-dev libgtest-dev libfec-dev
SUDO    := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps venv install demo test bench clean

all: install

# Debian packages the build links against (FFTW, cJSON, GoogleTest) and the
# benchmark peer libfec; installed only when missing.
deps:
	@missing=""; for p in $(APT_PKGS); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

$(STAMPS)/venv: pyproject.toml
	@mkdir -p $(STAMPS)
	[ -x $(VPY) ] || $(PYTHON) -m venv $(VENV)
	$(VPY) -m pip install -q --upgrade pip
	$(VPY) -m pip install -q "scikit-build-core>=0.10" "numpy>=2.0" cmake ninja \
	    pytest scipy reedsolo galois
	@touch $@

venv: $(STAMPS)/venv

# The package is built by its own build backend into a fixed build directory,
# so rebuilds are incremental and CTest runs the C++ tests of that same build.
install: deps venv
	$(VPY) -m pip install -q --no-build-isolation \
	    --config-settings=cmake.define.KORVANA_TESTS=ON \
	    --config-settings=cmake.define.KORVANA_BENCH=ON ".[test]"

demo: install
	$(VPY) -m korvana.demo

test: install
	$(VENV)/bin/ctest --test-dir $(BUILD) --output-on-failure
	$(VPY) -m pytest

bench: install
	-$(VPY) -m pip install -q pyfftw
	@for b in bench/bench_*.py; do echo "== $$b"; $(VPY) $$b || exit 1; done

clean:
	rm -rf build $(VENV)
