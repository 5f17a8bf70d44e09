# Sourced by the scripts that build the project (scripts/demo, scripts/test,
# scripts/bench-streaming); not a program of its own. Run from the repository's root.

# configure_build DIR [CMAKE-OPTION...]: configures the project into DIR with Ninja. The output
# goes to DIR.configure.log and is shown only when configuring fails. The log's folder is made
# first, since a fresh clone has no build/ yet.
configure_build() {
    local dir=$1
    shift
    mkdir -p "$(dirname "$dir")"
    cmake -S . -B "$dir" -G Ninja "$@" >"$dir.configure.log" 2>&1 || {
        cat "$dir.configure.log"
        echo "configuring $dir failed (log: $dir.configure.log)" >&2
        return 1
    }
}

# build_quietly DIR TARGET...: builds the targets in DIR, the output in DIR.build.log, shown
# only when the build fails.
build_quietly() {
    local dir=$1
    shift
    cmake --build "$dir" -j "$(nproc)" --target "$@" >"$dir.build.log" 2>&1 || {
        cat "$dir.build.log"
        echo "building $dir failed (log: $dir.build.log)" >&2
        return 1
    }
}

# lock_build DIR ... unlock_build: while held, another run of a script that builds DIR waits
# (two demos started at once would otherwise configure and build the same folder together).
lock_build() {
    mkdir -p "$(dirname "$1")"
    exec {build_lock}>"$1.lock"
    flock "$build_lock"
}
unlock_build() {
    exec {build_lock}>&-
}
