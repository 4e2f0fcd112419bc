# Entry points: make setup | make | make test | make demo [PACKAGE=...]
.PHONY: all setup build test demo clean

all: build

setup:
	@tools/setup.sh

build: setup
	@tools/build.sh

test: build
	@tools/test.sh

# make demo PACKAGE=path/to/install.exe runs another package (x86_64 stub).
demo: build
	@PACKAGE="$(PACKAGE)" tools/demo.sh

clean:
	rm -rf build
