# Build, test and demo entry points. Everything builds out of tree in build*/.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= 2
FUZZ_SECONDS ?= 15
# The targets make test runs briefly: the reader and each analysis family.
FUZZ_SMOKE_TARGETS ?= reader summaries ttests tables correlation nonparametric regression glm missing

.PHONY: all deps build asan-build test unit-test asan-test fuzz-build fuzz-smoke fuzz torture jar demo clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

asan-build: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQUORIX_SANITIZE=ON >/dev/null
	cmake --build $(ASAN_BUILD) -j$(JOBS)

unit-test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

asan-test: asan-build
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j$(JOBS)

fuzz-build: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORIX_FUZZ=ON >/dev/null
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target fuzz_reader fuzz_analyses fuzz_summaries fuzz_ttests fuzz_tables fuzz_correlation fuzz_nonparametric fuzz_regression fuzz_glm fuzz_missing

# The library must carry the fuzzers' coverage counters; then a short bounded
# run of each target from its corpus.
fuzz-smoke: fuzz-build
	scripts/check-fuzz-instrumentation $(FUZZ_BUILD)
	@for target in $(FUZZ_SMOKE_TARGETS); do scripts/fuzz $$target $(FUZZ_SECONDS) || exit 1; done

# A long run of one target: make fuzz FUZZ_TARGET=analyses FUZZ_SECONDS=900
FUZZ_TARGET ?= reader
fuzz: fuzz-build
	scripts/fuzz $(FUZZ_TARGET) $(FUZZ_SECONDS)

# The Java torture test at length, in the release and the sanitizer builds:
# make torture TORTURE_CALLS=5000
TORTURE_CALLS ?= 5000
torture: build asan-build
	scripts/torture $(BUILD) $(TORTURE_CALLS)
	scripts/torture $(ASAN_BUILD) $(TORTURE_CALLS)

test: unit-test asan-test fuzz-smoke

# The Java client library: classes, sources and javadoc in $(BUILD)/quorix-statistics.jar. The
# native library it loads is the build's libquorixstat.so.
JAVA_SOURCES = $(wildcard java/src/com/quorix/statistics/*.java java/src/com/quorix/statistics/client/*.java)
jar:
	rm -rf $(BUILD)/jar && mkdir -p $(BUILD)/jar
	javac -Xlint:all -Werror --release 17 -d $(BUILD)/jar $(JAVA_SOURCES)
	javadoc -Xdoclint:all -Werror -quiet -d $(BUILD)/jar/javadoc -sourcepath java/src com.quorix.statistics.client
	cp -r java/src/com $(BUILD)/jar/
	jar --create --file $(BUILD)/quorix-statistics.jar -C $(BUILD)/jar .

demo: build jar
	scripts/demo $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) demo
