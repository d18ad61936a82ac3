# shellcheck shell=bash
# bench/run.sh's preparations: the tools it needs, the programs it times, and
# what it says about the machine. Sourced by run.sh, which sets repo,
# release_dir, log_dir and velmora.

# shellcheck source=SCRIPTDIR/../scripts/common.sh
source "$repo/scripts/common.sh"

maketree=$release_dir/velmora-maketree
makecomb=$release_dir/velmora-makecomb
makechain=$release_dir/velmora-makechain
floorwalk=$release_dir/velmora-floorwalk
threadsweep=$release_dir/bench/velmora-threadsweep

drop_caches='sync; echo 3 > /proc/sys/vm/drop_caches'

install_tools() {
    ensure_packages "${build_packages[@]}" hyperfine bfs fd-find tree findutils coreutils time \
        util-linux jq chromium
}

# The number of threads floorwalk walks on: as many as velmora-map ends up
# with (scan/treescan.cpp). It starts on the processors it may use and adds
# threads, up to 16, only while the walk reads from the disk or they mostly
# wait; so the floor gets the processors warm, and all 16 threads cold.
# Reads walk_mode.
walk_mode=warm
scan_threads() {
    if [ "$walk_mode" = cold ]; then
        echo 16
    else
        nproc
    fi
}

# Compiles one of bench/'s programs when its source is newer than the binary.
compile_helper() {
    local source=$repo/bench/$1.cpp binary=$2
    if [ ! -x "$binary" ] || [ "$source" -nt "$binary" ]; then
        g++ -O2 -std=c++20 -Wall -Wextra -pthread "$source" -o "$binary" \
            || { echo "run.sh: $source did not compile" >&2; exit 1; }
    fi
}

build() {
    local -a targets=(velmora-threadsweep velmora-pagebench)
    mkdir -p "$log_dir"
    if [ -n "${VELMORA_MAP:-}" ]; then
        echo "velmora-map: $velmora (from VELMORA_MAP, not built)"
    else
        targets+=(velmora-map)
    fi
    echo "building ${targets[*]} (Release) in build-release/ ..."
    if ! { cmake -S "$repo" -B "$release_dir" -DCMAKE_BUILD_TYPE=Release -DVELMORA_BENCH=ON \
            && cmake --build "$release_dir" --target "${targets[@]}" --parallel "$(nproc)"; } \
            >"$log_dir/build.log" 2>&1; then
        tail -n 20 "$log_dir/build.log" >&2
        echo "run.sh: ${targets[*]} did not build (full log: $log_dir/build.log)" >&2
        exit 1
    fi
    [ -x "$velmora" ] || { echo "run.sh: no velmora-map at $velmora" >&2; exit 1; }
    compile_helper maketree "$maketree"
    compile_helper makecomb "$makecomb"
    compile_helper makechain "$makechain"
    compile_helper floorwalk "$floorwalk"
}

load_average() {
    cut -d ' ' -f 1-3 /proc/loadavg
}

describe_machine() {
    local model revision
    model=$(awk -F': ' '/^model name/ {print $2; exit}' /proc/cpuinfo)
    revision=$(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo unknown)
    if [ -n "$(git -C "$repo" status --porcelain -- scan report cli 2>/dev/null)" ]; then
        revision="$revision with uncommitted changes"
    fi
    echo
    echo "machine: $(uname -sr), $(getconf _NPROCESSORS_ONLN) processors online (${model:-model unknown})"
    echo "load average at the start: $(load_average)"
    echo "velmora-map: ${VELMORA_MAP:-built from $revision}"
    echo "floorwalk threads: $(walk_mode=warm scan_threads) warm, $(walk_mode=cold scan_threads) cold (as velmora-map ends up with)"
}

# Cold runs need to drop the page cache, which only root may do, and not
# even root where /proc/sys is read-only. Sets cold_skipped to the reason
# when it cannot be done.
cold_skipped=
check_cold_runs() {
    if [ "$(id -u)" -ne 0 ]; then
        cold_skipped="not run as root"
    elif ! (eval "$drop_caches") 2>/dev/null; then
        cold_skipped="/proc/sys/vm/drop_caches cannot be written (read-only /proc/sys, as in a chroot or container)"
    fi
    if [ -n "$cold_skipped" ]; then
        echo "cold runs: skipped, $cold_skipped"
    else
        echo "cold runs: page cache dropped before each timed run"
    fi
}
