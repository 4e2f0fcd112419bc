# Entry points: make setup | make | make test | make demo
.PHONY: all setup build test demo clean

all: build

setup:
	@tools/setup.sh

build: setup
	@tools/build.sh

test: build
	@tools/test.sh

demo: build
	@tools/demo.sh

clean:
	rm -rf build
