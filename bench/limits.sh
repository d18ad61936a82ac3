# shellcheck shell=bash
# The figures bench/run.sh holds against a target: peak memory, time per
# entry as the tree grows, the comb's growth and the walk short of
# descriptors. Sourced by run.sh after trees.sh and timing.sh.

# report_counts REPORT: "FOLDERS FILES" as a velmora report states them.
report_counts() {
    [ -s "$1" ] || return 0
    grep -o 'Number of F[a-z]*: </b>[0-9]*' "$1" | grep -o '[0-9]*$' | tr '\n' ' ' | sed 's/ $//' || true
}

memory_header() {
    echo
    echo "peak memory of velmora-map -q -f (GNU time; limit: 3 x report + 40 MiB; --format=json and"
    echo "--format=browse are held to the HTML report's limit):"
    printf '  %-48s %12s %12s %12s\n' tree "peak RSS" report limit
}

# The size of the HTML report of each tree, which sets the limit for JSON.
declare -A report_bytes

# memory TREE [OPTION...]: the peak memory of velmora-map -q -f OPTION... on the tree.
memory() {
    local tree=$1 report=$work/out/memory-report measures=$work/time.txt rss_kb bytes label
    shift
    label="${tree_label[$tree]}${*:+, $*}"
    if ! /usr/bin/time -v -o "$measures" "$velmora" -q -f "$@" "${tree_root[$tree]}" "$report" >/dev/null; then
        echo "  $label: velmora-map failed, no memory figure"
        return 0
    fi
    rss_kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$measures")
    if [ $# -eq 0 ]; then
        report_bytes[$tree]=$(stat -c %s "$report")
    elif [ -z "${report_bytes[$tree]:-}" ]; then
        echo "  $label: no HTML report to set the limit"
        return 0
    fi
    bytes=${report_bytes[$tree]}
    awk -v tree="$label" -v kb="$rss_kb" -v bytes="$bytes" 'BEGIN {
        rss = kb / 1024; size = bytes / 1048576; limit = 3 * size + 40
        printf "  %-48s %8.1f MiB %8.1f MiB %8.1f MiB  %s\n", tree, rss, size, limit, (rss <= limit ? "pass" : "FAIL")
    }'
}

# Time per entry of velmora-map -q -f on the large tree against the mixed
# one, from the warm medians: it should grow by at most 1.3 times.
time_per_entry() {
    local small=$1 large=$2 tree
    echo
    echo "time per entry of velmora-map -q -f, warm (target: ${tree_label[$large]} at most 1.3 x ${tree_label[$small]}):"
    for tree in "$small" "$large"; do
        if [ "${velmora_whole[$tree-warm]}" != 1 ]; then
            echo "  not judged: velmora-map did not report the whole ${tree_label[$tree]} (see above)"
            return 0
        fi
    done
    awk -v small="${tree_label[$small]}" -v large="${tree_label[$large]}" \
        -v small_ms="${velmora_ms[$small-warm]}" -v large_ms="${velmora_ms[$large-warm]}" \
        -v small_n="${expect_follow[$small]}" -v large_n="${expect_follow[$large]}" 'BEGIN {
        small_ns = small_ms * 1e6 / small_n; large_ns = large_ms * 1e6 / large_n; ratio = large_ns / small_ns
        printf "  %-36s %10d entries %10.1f ms %8.1f ns/entry\n", small, small_n, small_ms, small_ns
        printf "  %-36s %10d entries %10.1f ms %8.1f ns/entry\n", large, large_n, large_ms, large_ns
        printf "  ratio %.2f: %s\n", ratio, (ratio <= 1.3 ? "pass" : "FAIL")
    }'
}

# One timed run of velmora-map -q -f per comb: it is slow where the walk is
# quadratic. Time should grow no faster than 1.25 x the levels (2.5 when
# they double) from the second largest comb to the largest.
combs() {
    local levels name log status counts expected largest before whole=true
    local -A seconds
    echo
    echo "combs: one timed run of velmora-map -q -f each (logs: ${log_dir#"$repo"/}/comb-*.txt)"
    for levels in "${comb_levels[@]}"; do
        make_comb "comb-$levels" "$levels"
    done
    echo
    printf '  %-10s %12s %14s  %s\n' levels seconds "us per level" "what it saw"
    for levels in "${comb_levels[@]}"; do
        name=comb-$levels
        log=$log_dir/$name
        run_hyperfine "$log" "the comb of $levels levels" --runs 1 --ignore-failure \
            -n "$baseline" "$(walker_command "$baseline" "${tree_root[$name]}" "$work/out/$name.html")"
        seconds[$levels]=$(jq -r '.results[0].median' "$log.json")
        status=$(jq -r '.results[0].exit_codes[0]' "$log.json")
        counts=$(report_counts "$work/out/$name.html")
        expected="${expect_folders[$name]} ${expect_files[$name]}"
        if [ "$status" -ne 0 ]; then
            counts="WARNING: exit status $status"
        elif [ "$counts" = "$expected" ]; then
            counts=all
        else
            counts="WARNING: folders and files '$counts', expected '$expected'"
        fi
        [ "$counts" = all ] || whole=false
        awk -v levels="$levels" -v seconds="${seconds[$levels]}" -v counts="$counts" \
            'BEGIN {printf "  %-10d %12.2f %14.1f  %s\n", levels, seconds, seconds * 1e6 / levels, counts}'
    done
    [ "${#comb_levels[@]}" -ge 2 ] || return 0
    $whole || { echo "  growth not judged: velmora-map did not report a whole comb"; return 0; }
    largest=${comb_levels[-1]}
    before=${comb_levels[-2]}
    awk -v a="$before" -v b="$largest" -v ta="${seconds[$before]}" -v tb="${seconds[$largest]}" 'BEGIN {
        target = 1.25 * b / a
        printf "  time %d / %d levels: %.2f (target <= %.2f: linear): %s\n", b, a, tb / ta, target,
            (tb / ta <= target ? "pass" : "FAIL")
    }'
}

# velmora-map with 8 descriptors must write the same report as without a limit.
few_descriptors() {
    local tree=$1 root=${tree_root[$1]} free=$work/out/descriptors-free.html limited=$work/out/descriptors-8.html
    local status=0 free_counts limited_counts
    echo
    echo "velmora-map -q -f with 8 descriptors (prlimit --nofile=8:8) on a ${tree_label[$tree]}:"
    "$velmora" -q -f "$root" "$free" >/dev/null \
        || { echo "  velmora-map failed without a limit: no comparison"; return 0; }
    prlimit --nofile=8:8 "$velmora" -q -f "$root" "$limited" >"$work/descriptors-8.txt" 2>&1 || status=$?
    free_counts=$(report_counts "$free")
    echo "  without a limit: folders and files $free_counts (expected ${expect_folders[$tree]} ${expect_files[$tree]})"
    if [ "$status" -ne 0 ]; then
        echo "  with 8: DIFFERENT (exit status $status: $(tail -n 1 "$work/descriptors-8.txt"))"
    elif cmp -s "$free" "$limited"; then
        echo "  with 8: identical"
    else
        limited_counts=$(report_counts "$limited")
        echo "  with 8: DIFFERENT (${limited_counts%% *} folders vs ${free_counts%% *})"
    fi
}
