# Sourced by tools/run-sample and tools/run-tests (from the project root):
# one line per stage on standard error, each stage's own output in a log
# file under build-logs/, shown only when the stage fails; and the settings
# of the g++ build in build/, which both scripts use, so that neither
# throws away what the other built.

logs=build-logs
jobs=$(nproc)

# stage NAME LABEL COMMAND...: runs the command with its output in the log.
stage() {
    local name=$1 label=$2
    shift 2
    echo "$label ..." >&2
    mkdir -p "$logs"
    if ! "$@" >"$logs/$name.log" 2>&1; then
        tail -n 60 "$logs/$name.log" >&2
        echo "${0##*/}: $label failed; the whole output is in $logs/$name.log" >&2
        exit 1
    fi
}

# Configures build/: Release, every warning an error, g++. The compiler is
# named only while build/ does not use it already: CMake takes g++ named
# where its cache holds the same compiler under another name (c++) for a
# change of compiler, deletes the cache and builds everything again.
configure_gxx_build() {
    local args=(-S . -B build -DCMAKE_BUILD_TYPE=Release -DTREVANIX_WERROR=ON) cached=""
    [ -f build/CMakeCache.txt ] && cached=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' build/CMakeCache.txt)
    if [ -z "$cached" ] || [ "$(readlink -f "$cached")" != "$(readlink -f "$(command -v g++)")" ]; then
        args+=(-DCMAKE_CXX_COMPILER=g++)
    fi
    cmake "${args[@]}"
}
