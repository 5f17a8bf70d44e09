# Sourced by the scripts that build the project (scripts/demo, scripts/test,
# scripts/bench-streaming); not a program of its own. Run from the repository's root.
#
# Builds take turns: each configure and each build holds build/.build.lock meanwhile, so that
# two demos started at once never work in one build folder together, and the builds of
# scripts/test's stages do not share the cores with each other (tests and waits still run
# beside them).

build_lock=build/.build.lock
mkdir -p build

# One cmake command while holding the build lock (which cmake's children do not inherit).
with_build_lock() {
    flock --close "$build_lock" "$@"
}

# configure_build DIR [CMAKE-OPTION...]: configures the project into DIR with Ninja. The output
# goes to DIR.configure.log and is shown only when configuring fails. The log's folder is made
# first: a fresh clone has no build/.
configure_build() {
    local dir=$1
    shift
    mkdir -p "$(dirname "$dir")"
    with_build_lock cmake -S . -B "$dir" -G Ninja "$@" >"$dir.configure.log" 2>&1 || {
        cat "$dir.configure.log"
        echo "configuring $dir failed (log: $dir.configure.log)" >&2
        return 1
    }
}

# build_quietly DIR [TARGET...]: builds the targets (all without one) in DIR. The output goes to
# DIR.build.log and is shown only when the build fails.
build_quietly() {
    local dir=$1 targets=()
    shift
    (($# == 0)) || targets=(--target "$@")
    with_build_lock cmake --build "$dir" -j "$(nproc)" "${targets[@]}" >"$dir.build.log" 2>&1 || {
        cat "$dir.build.log"
        echo "building $dir failed (log: $dir.build.log)" >&2
        return 1
    }
}
