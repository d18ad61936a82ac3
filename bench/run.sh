#!/usr/bin/env bash
# Times velmora-map (Release build) against other tree walkers on a synthetic
# tree with a warm cache, measures its peak memory, and with --scaling shows
# how the time per entry grows with the tree. Numbers on a shared or busy
# machine are noisy: compare runs made on the same machine.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
release_dir=$repo/build-release
# hyperfine's full output and results stay here after the temporary trees are gone.
log_dir=$release_dir/bench
maketree=$release_dir/velmora-maketree
velmora=${VELMORA_MAP:-$release_dir/app/velmora-map}

# shellcheck source=SCRIPTDIR/../scripts/common.sh
source "$repo/scripts/common.sh"

usage() {
    cat <<EOF
Usage: bench/run.sh [--size small|default|large] [--scaling]

Builds velmora-map in Release mode into build-release/, makes a synthetic tree
in a temporary folder (removed at the end) and prints:
  - the median time of velmora-map (directories only, and with files), bfs,
    find -L and tree -H, timed side by side by hyperfine on a warm cache, each
    with its ratio to velmora-map -f;
  - the peak resident memory of velmora-map -f beside the size of its report.

Options:
  --size SIZE  tree to map: small (about 20,000 entries), default (about
               200,000) or large (about 1,000,000)
  --scaling    then also time velmora-map -f on all three sizes and print the
               time per entry, to show how it grows (takes several minutes)
  -h, --help   show this help

Missing packages are installed with apt-get when run as root; otherwise the
apt-get line to run is printed. The trees go under \$TMPDIR (default /tmp).
Set VELMORA_MAP to a velmora-map binary to time that one instead of building.
Full hyperfine output and CSV files are kept in build-release/bench/.
EOF
}

size=default
scaling=false
work=
# What a walk that follows links counts in each tree made, by size.
declare -A folders files entries

parse_arguments() {
    while [ $# -gt 0 ]; do
        case $1 in
            --size)
                [ $# -ge 2 ] || { usage >&2; exit 2; }
                size=$2
                shift 2
                ;;
            --size=*) size=${1#--size=}; shift ;;
            --scaling) scaling=true; shift ;;
            -h | --help) usage; exit 0 ;;
            *) usage >&2; exit 2 ;;
        esac
    done
    case $size in
        small | default | large) ;;
        *) echo "run.sh: unknown size '$size' (small, default or large)" >&2; exit 2 ;;
    esac
}

remove_work() {
    if [ -n "$work" ]; then
        rm -rf -- "$work"
    fi
}

# Quotes one word for the sh that hyperfine runs commands with.
quote() {
    printf "'%s'" "${1//\'/\'\\\'\'}"
}

install_tools() {
    ensure_packages "${build_packages[@]}" hyperfine bfs tree findutils time
}

build() {
    mkdir -p "$log_dir"
    if [ -n "${VELMORA_MAP:-}" ]; then
        echo "velmora-map: $velmora (from VELMORA_MAP, not built)"
    else
        echo "building velmora-map (Release) in build-release/ ..."
        if ! { cmake -S "$repo" -B "$release_dir" -DCMAKE_BUILD_TYPE=Release \
                && cmake --build "$release_dir" --target velmora-map --parallel "$(nproc)"; } \
                >"$log_dir/build.log" 2>&1; then
            tail -n 20 "$log_dir/build.log" >&2
            echo "run.sh: velmora-map did not build (full log: $log_dir/build.log)" >&2
            exit 1
        fi
    fi
    [ -x "$velmora" ] || { echo "run.sh: no velmora-map at $velmora" >&2; exit 1; }

    # Rebuilt only when its source changed.
    if [ ! -x "$maketree" ] || [ "$repo/bench/maketree.cpp" -nt "$maketree" ]; then
        g++ -O2 -std=c++20 -Wall -Wextra "$repo/bench/maketree.cpp" -o "$maketree"
    fi
}

tree_root() {
    echo "$work/tree-$1"
}

# Trees are kept until the end, not removed once timed: on ext4 without a
# journal, new inodes skip the ones freed in the last minutes, which makes
# building the next tree many times slower.
make_tree() {
    local size=$1 started report
    [ -d "$(tree_root "$size")" ] && return 0
    started=$(date +%s.%N)
    report=$("$maketree" "$size" "$(tree_root "$size")")
    echo
    awk -v size="$size" -v started="$started" -v ended="$(date +%s.%N)" \
        'BEGIN {printf "%s tree, built in %.1f s:\n", size, ended - started}'
    sed 's/^/  /' <<<"$report"
    read -r "folders[$size]" "files[$size]" "entries[$size]" \
        < <(awk '/^a walk/ {print $7, $10, $12}' <<<"$report")
}

# median_ms CSV NAME: the median of one command in a hyperfine CSV export.
median_ms() {
    awk -F, -v name="$2" '
        NR == 1 { for (i = 1; i <= NF; i++) column[$i] = i; next }
        $column["command"] == name { printf "%.3f", $column["median"] * 1000 }
    ' "$1"
}

compare() {
    local root out=$work/out csv=$log_dir/compare-$size.csv base
    root=$(tree_root "$size")
    mkdir -p "$out"
    echo
    echo "timing 5 commands with hyperfine (warm cache; log: build-release/bench/compare-$size.txt) ..."
    hyperfine --warmup 2 --style basic --export-csv "$csv" \
        -n "velmora-map -q" "$(quote "$velmora") -q $(quote "$root") $(quote "$out/dirs.html")" \
        -n "velmora-map -q -f" "$(quote "$velmora") -q -f $(quote "$root") $(quote "$out/files.html")" \
        -n "bfs" "bfs $(quote "$root") > $(quote "$out/bfs.txt")" \
        -n "find -L -mindepth 1" "find -L $(quote "$root") -mindepth 1 > $(quote "$out/find.txt")" \
        -n "tree -a -H ." "tree -a -H . $(quote "$root") -o $(quote "$out/tree.html")" \
        >"$log_dir/compare-$size.txt" 2>&1 \
        || { tail -n 20 "$log_dir/compare-$size.txt" >&2; exit 1; }

    base=$(median_ms "$csv" "velmora-map -q -f")
    echo
    printf '%-22s %12s %14s\n' command "median ms" "vs velmora -f"
    awk -F, -v base="$base" '
        NR == 1 { for (i = 1; i <= NF; i++) column[$i] = i; next }
        {
            median = $column["median"] * 1000
            printf "%-22s %12.1f %14.2f\n", $column["command"], median, median / base
        }
    ' "$csv"
    echo
    printf 'velmora-map median: %.1f ms directories only, %.1f ms with files (%s entries)\n' \
        "$(median_ms "$csv" "velmora-map -q")" "$base" "${entries[$size]}"

    check_counts "$out"
}

# The timings mean little if a walker did not see the whole tree.
check_counts() {
    local out=$1 listed reported expected
    listed=$(wc -l <"$out/find.txt")
    [ "$listed" -eq "${entries[$size]}" ] \
        || echo "WARNING: find -L listed $listed entries, expected ${entries[$size]}"
    reported=$(grep -o 'Number of F[a-z]*: </b>[0-9]*' "$out/files.html" | grep -o '[0-9]*$' | tr '\n' ' ') || true
    expected="${folders[$size]} ${files[$size]} "
    [ "$reported" = "$expected" ] \
        || echo "WARNING: velmora-map -f reported folders and files '${reported% }', expected '${expected% }'"
}

memory() {
    local report=$work/out/memory.html rss_kb bytes
    /usr/bin/time -v -o "$work/time.txt" "$velmora" -q -f "$(tree_root "$size")" "$report"
    rss_kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
    bytes=$(stat -c %s "$report")
    echo
    printf '%-22s %12s %14s %24s\n' "" "peak RSS" "report" "3 x report + 40 MiB"
    awk -v kb="$rss_kb" -v bytes="$bytes" 'BEGIN {
        printf "%-22s %8.1f MiB %10.1f MiB %20.1f MiB\n", "velmora-map -q -f", kb / 1024, bytes / 1048576,
            3 * bytes / 1048576 + 40
    }'
}

scaling() {
    local s csv
    declare -A median per_entry
    rm -rf -- "$work/out"
    echo
    echo "time per entry of velmora-map -q -f, by tree size (logs: build-release/bench/scaling-*.txt) ..."
    for s in small default large; do
        make_tree "$s"
        csv=$log_dir/scaling-$s.csv
        hyperfine --warmup 1 --min-runs 5 --style basic --export-csv "$csv" \
            -n "velmora-map -q -f" \
            "$(quote "$velmora") -q -f $(quote "$(tree_root "$s")") $(quote "$work/scaling.html")" \
            >"$log_dir/scaling-$s.txt" 2>&1 \
            || { tail -n 20 "$log_dir/scaling-$s.txt" >&2; exit 1; }
        median[$s]=$(median_ms "$csv" "velmora-map -q -f")
        per_entry[$s]=$(awk -v ms="${median[$s]}" -v n="${entries[$s]}" 'BEGIN {printf "%.1f", ms * 1e6 / n}')
    done
    echo
    printf '%-10s %12s %12s %12s %14s\n' size entries "median ms" "ns / entry" "vs default"
    for s in small default large; do
        awk -v s="$s" -v n="${entries[$s]}" -v ms="${median[$s]}" -v ns="${per_entry[$s]}" -v base="${per_entry[default]}" \
            'BEGIN {printf "%-10s %12d %12.1f %12.1f %14.2f\n", s, n, ms, ns, ns / base}'
    done
}

main() {
    parse_arguments "$@"
    install_tools
    build
    trap remove_work EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-bench.XXXXXX")

    make_tree "$size"
    compare
    memory
    if $scaling; then
        scaling
    fi
}

main "$@"
