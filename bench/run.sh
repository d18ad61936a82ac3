#!/usr/bin/env bash
# Times velmora-map (Release build) against other tree walkers and a bare
# listing floor on the tree shapes users meet, warm and cold, and holds its
# memory, growth and descriptor use against their targets. Numbers on a
# shared or busy machine are noisy: compare figures from the same run.
set -Eeuo pipefail
trap 'echo "run.sh: stopped: \"$BASH_COMMAND\" failed (line $LINENO of ${BASH_SOURCE[0]##*/})" >&2' ERR

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
release_dir=$repo/build-release
# hyperfine's full output stays here after the temporary trees are gone.
log_dir=$release_dir/bench
velmora=${VELMORA_MAP:-$release_dir/cli/velmora-map}

# shellcheck source=SCRIPTDIR/setup.sh
source "$repo/bench/setup.sh"
# shellcheck source=SCRIPTDIR/trees.sh
source "$repo/bench/trees.sh"
# shellcheck source=SCRIPTDIR/timing.sh
source "$repo/bench/timing.sh"
# shellcheck source=SCRIPTDIR/limits.sh
source "$repo/bench/limits.sh"
# shellcheck source=SCRIPTDIR/sweep.sh
source "$repo/bench/sweep.sh"
# shellcheck source=SCRIPTDIR/rules.sh
source "$repo/bench/rules.sh"
# shellcheck source=SCRIPTDIR/page.sh
source "$repo/bench/page.sh"
# shellcheck source=SCRIPTDIR/sizes.sh
source "$repo/bench/sizes.sh"
# shellcheck source=SCRIPTDIR/links.sh
source "$repo/bench/links.sh"

usage() {
    cat <<EOF
Usage: bench/run.sh [--quick] [--only-sizes] [--comb-levels N,N,...]

Builds velmora-map in Release mode into build-release/, makes its trees in a
temporary folder (removed at the end) and prints, from one run:
  - the median time of velmora-map -q -f and -q, floorwalk (a bare getdents64
    walk on velmora's thread count), bfs -L, bfs, fdfind -uu, find -L, find,
    du -s --inodes and tree -a -H ., each with its ratio to velmora-map -q -f
    (above 1: velmora is faster) and the entries it saw, warm on a mixed tree
    of 210,000 entries, one flat directory of 300,000 files, a mixed tree of
    1,000,000 entries and /usr, and cold (page cache dropped before each run)
    on the two mixed trees;
  - velmora-map's time on combs of 40,000, 80,000 and 160,000 levels, per
    level, and how it grows from one to the next;
  - its peak memory on the mixed trees against 3 x report + 40 MiB (with
    --format=json and --format=browse held to the HTML report's), its time
    per entry at 1,000,000 against 210,000 entries, and whether its report
    with 8 descriptors is the one it writes without a limit;
  - velmora-map -q -f's ratios against its speed targets (bfs, floorwalk);
  - velmora-map -q -f --format=json, --format=jsonl and --format=ncdu
    against the HTML report on the mixed tree, warm, in one hyperfine
    session (target: each at most 1.2 x), and the JSON's peak memory
    against the HTML report's limit;
  - velmora-map -q -f --format=browse against the HTML report on the two
    mixed trees, warm, in one hyperfine session (target: at most 1.2 x), and
    the page's size against the report's (target: at most 1.3 x);
  - the plain report and the browsable page of the two mixed trees loaded in
    headless Chromium: first paint, load, the page's first rows drawn
    (targets: 1 s for the smaller tree, 3 s for the larger), the browser's
    peak memory (target at the larger: a PSS of 1 GiB), and searches on the
    page (target: 250 ms each); then, every folder of the flat directory
    and of the larger tree open, a sort by name (target at the larger:
    2 s) and the longest the page did not answer meanwhile;
  - velmora-map -q -f with ten exclude patterns against none on the mixed
    tree (target: at most 1.15 x), and with --sort=name against the file
    system's order on the mixed tree and the flat directory (target: at
    most 1.3 x), warm, each pair in one hyperfine session;
  - the walk that reads every entry's metadata (velmora-threadsweep
    --sizes) on the mixed tree against floorwalk --stat on the same threads
    (targets: at most 1.15 x warm, 1.1 x cold), du -s --apparent-size and
    du -s (target: ahead of both), with velmora-map --sizes writing JSON
    Lines beside them, warm in one hyperfine session, cold in rounds of one
    run each that take turns, and the peak memory of velmora-map --sizes
    on the mixed trees against the report's limit;
  - velmora-map --sizes writing JSON Lines on three cp -al snapshots of the
    mixed tree (every file with three links), on one snapshot, and du -s on
    the three, warm in one hyperfine session (targets: the three at most
    1.5 x three times the one, and ahead of du -s);
  - velmora-map --sizes writing JSON on chains of 50,000 and 100,000
    levels with a hard-linked file at the top and at the bottom, each also
    linked from the root, warm in one hyperfine session: the time from one
    to the other (target: linear) and the peak memory of each;
  - the listing alone on the mixed tree, warm and cold, at 1, 2, 4, 8, 16
    and 32 threads against the count velmora-map chooses itself;
  - the machine, its load at the start and the end, floorwalk's thread count.

Options:
  --quick              mixed trees of 5,000 and 21,000 entries, 30,000 files,
                       /usr/include and fewer runs: checks the benchmark itself
                       in about a minute (the full run takes about 25 minutes
                       on 2 cores); its times mean little
  --only-sizes         only the rows that read sizes: the walk with metadata
                       on the mixed tree, warm and cold, the hard-linked
                       snapshots and chains, and velmora-map --sizes's peak
                       memory on the mixed tree
  --comb-levels LIST   comb sizes, comma-separated (default 40000,80000,160000;
                       --quick: 2000,4000,8000)
  -h, --help           show this help

Cold runs need root and a writable /proc/sys; without them they are skipped
with a message. Missing packages are installed with apt-get when run as
root; otherwise the apt-get line to run is printed. The trees go under
\$TMPDIR (default /tmp). Set VELMORA_MAP to a velmora-map binary to time that
one instead of building. Full hyperfine output is kept in build-release/bench/.
EOF
}

quick=false
only_sizes=false
comb_levels=()
work=

parse_arguments() {
    local list
    while [ $# -gt 0 ]; do
        case $1 in
            --quick) quick=true; shift ;;
            --only-sizes) only_sizes=true; shift ;;
            --comb-levels)
                [ $# -ge 2 ] || { usage >&2; exit 2; }
                list=$2
                shift 2
                ;;
            --comb-levels=*) list=${1#--comb-levels=}; shift ;;
            -h | --help) usage; exit 0 ;;
            *) usage >&2; exit 2 ;;
        esac
    done
    if [ -n "${list:-}" ]; then
        [[ $list =~ ^[1-9][0-9]*(,[1-9][0-9]*)*$ ]] \
            || { echo "run.sh: --comb-levels takes numbers separated by commas, not '$list'" >&2; exit 2; }
        IFS=, read -r -a comb_levels <<<"$list"
    fi
}

# What each tree is made of, and how often commands run, full or quick.
choose_sizes() {
    if $quick; then
        mixed_shape=tiny large_shape=small flat_shape=flat-small usr_root=/usr/include
        [ "${#comb_levels[@]}" -gt 0 ] || comb_levels=(2000 4000 8000)
        chain_levels=(5000 10000)
        warm_options=(--warmup 1 --runs 3)
        cold_options=(--runs 2)
    else
        mixed_shape=default large_shape=large flat_shape=flat usr_root=/usr
        [ "${#comb_levels[@]}" -gt 0 ] || comb_levels=(40000 80000 160000)
        chain_levels=(50000 100000)
        warm_options=(--warmup 2 --min-runs 5)
        cold_options=(--runs 3)
    fi
}

remove_work() {
    if [ -n "$work" ]; then
        echo
        echo "removing the trees in $work ..."
        rm -rf -- "$work"
    fi
}

# The rows that read sizes, on the mixed tree and the hard-linked trees.
sizes_rows() {
    sizes_header
    time_sizes mixed warm
    time_sizes mixed cold
    links_header
    make_snapshots snapshots "$mixed_shape" "$snapshot_count"
    time_snapshots snapshots
    linked_chains "${chain_levels[@]}"
}

main() {
    parse_arguments "$@"
    choose_sizes
    install_tools
    build
    describe_machine
    check_cold_runs
    echo "ratio: a walker's median over velmora-map -q -f's from the same hyperfine run (above 1: velmora is faster)"
    trap remove_work EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-bench.XXXXXX")

    make_shape mixed "$mixed_shape" "mixed tree ($mixed_shape)"
    if $only_sizes; then
        sizes_rows
        memory_header
        memory mixed
        memory_sizes mixed
        echo
        echo "load average at the end: $(load_average)"
        return 0
    fi
    time_tree mixed warm
    time_tree mixed cold
    time_formats mixed
    time_page_writing mixed
    time_rule mixed "--exclude (10 patterns)" 1.15 "${bench_excludes[@]}"
    time_rule mixed --sort=name 1.3 --sort=name
    sizes_rows
    make_shape flat "$flat_shape" "flat directory ($flat_shape)"
    time_tree flat warm
    time_rule flat --sort=name 1.3 --sort=name
    make_shape large "$large_shape" "mixed tree ($large_shape)"
    time_tree large warm
    time_tree large cold
    time_page_writing large
    use_real_tree usr "$usr_root"
    time_tree usr warm
    explain_counting "$usr_root"
    speed_targets

    page_header
    show_empty_page
    show_pages mixed 1000
    show_pages large 3000 1024
    show_sized_page large 3000 1024
    echo "sorting by name with every folder open, in headless Chromium:"
    show_sorted_page flat
    show_sorted_page large 2000

    sweep_header
    sweep_threads mixed warm
    sweep_threads mixed cold

    memory_header
    memory mixed
    memory mixed --format=json
    memory mixed --format=browse
    memory large
    memory large --format=browse
    memory_sizes mixed
    memory_sizes large
    time_per_entry mixed large
    combs
    make_descriptor_tree descriptors
    few_descriptors descriptors

    echo
    echo "load average at the end: $(load_average)"
}

main "$@"
