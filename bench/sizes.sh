# shellcheck shell=bash
# The walk that reads every entry's metadata (velmora-threadsweep --sizes:
# the listing, a statx per entry and the sums) against the floor for that
# work (floorwalk --stat on the same threads) and du, warm and cold; the
# whole run, velmora-map --sizes writing JSON Lines, beside them; and the
# run's peak memory. Sourced by run.sh after timing.sh and limits.sh.

sizes_walker="threadsweep --sizes"
# The targets are ratios within 15% warm and 10% cold, close to what a
# handful of runs scatter on a shared machine; these rows take more of them.
# Cold, the disk's pace drifts over a session by more than that: the runs go
# in rounds, one of each command a round, the order turned every round.
sizes_warm_options=(--warmup 3 --min-runs 20)
sizes_cold_rounds=8
sizes_map="velmora-map --sizes"

# sizes_command WALKER ROOT OUT THREADS: the command line timed for it.
sizes_command() {
    local root out
    root=$(quote "$2")
    out=$(quote "$3")
    case $1 in
        "$sizes_walker") echo "$(quote "$threadsweep") --sizes 0 $root > $out" ;;
        "$sizes_map") echo "$(quote "$velmora") -q --sizes --format=jsonl $root $out" ;;
        "floorwalk --stat"*) echo "$(quote "$floorwalk") --stat -j $4 $root > $out" ;;
        *) echo "$1 $root > $out" ;;
    esac
}

# time_sizes TREE MODE: warm, the walk with metadata against floorwalk
# --stat (at most 1.15 x), du -s --apparent-size and du -s (it should be
# ahead of both); cold, against floorwalk --stat alone (at most 1.1 x). The
# walk's thread count is the one velmora-map chooses; the floor gets the
# count it ends up with. Warm in one hyperfine session, cold in rounds.
time_sizes() {
    local tree=$1 mode=$2 root=${tree_root[$1]} out=$work/out/$1-sizes-$2 log=$log_dir/$1-sizes-$2
    local threads most walker floor ours bytes failed
    local -a options arguments walkers
    walk_mode=$mode
    threads=$(scan_threads)
    floor="floorwalk --stat -j $threads"
    if [ "$mode" = cold ]; then
        if [ -n "$cold_skipped" ]; then
            echo "  ${tree_label[$tree]}, cold: skipped, $cold_skipped"
            return 0
        fi
        options=("${cold_options[@]}" --prepare "$drop_caches")
        walkers=("$sizes_walker" "$floor")
        most=1.1
    else
        options=("${warm_options[@]}")
        $quick || options=("${sizes_warm_options[@]}")
        walkers=("$sizes_walker" "$floor" "du -s --apparent-size" "du -s" "$sizes_map")
        most=1.15
    fi
    mkdir -p "$out"
    for walker in "${walkers[@]}"; do
        arguments+=(-n "$walker" "$(sizes_command "$walker" "$root" "$out/${walker// /_}" "$threads")")
    done
    if [ "$mode" = cold ] && ! $quick; then
        run_in_rounds "$log" "${tree_label[$tree]} (sizes, $mode)" "$sizes_cold_rounds" \
            --ignore-failure --prepare "$drop_caches" -- "${arguments[@]}"
    else
        run_hyperfine "$log" "${tree_label[$tree]} (sizes, $mode)" --ignore-failure "${options[@]}" "${arguments[@]}"
    fi
    ours=$(median_ms "$log.json" "$sizes_walker")
    for walker in "${walkers[@]}"; do
        failed=$(failed_exit_codes "$log.json" "$walker")
        awk -v tree="${tree_label[$tree]}" -v mode="$mode" -v walker="$walker" -v ours="$ours" \
            -v theirs="$(median_ms "$log.json" "$walker")" -v floor="$floor" -v most="$most" \
            -v failed="$failed" 'BEGIN {
            ratio = theirs > 0 ? ours / theirs : 0
            verdict = ""
            if (walker == floor)
                verdict = sprintf("  at most %.2f: %s", most, (ratio <= most ? "pass" : "FAIL"))
            else if (walker ~ /^du/)
                verdict = sprintf("  below 1: %s", (ratio < 1 ? "pass" : "FAIL"))
            else if (walker ~ /^velmora-map/)
                verdict = "  (the whole run, writing JSON Lines)"
            printf "  %-30s %-5s %-26s %9.1f ms %6.2f%s%s\n", tree, mode, walker, theirs, ratio, verdict,
                (failed == "" ? "" : "  WARNING: exit status " failed)
        }'
    done
    # The sums it read, against du's with links followed (du leaves out a
    # dangling link, which the walk counts as the link itself).
    bytes=$(cat "$out/${sizes_walker// /_}")
    echo "    it read: $bytes; du -L -B1: $({ du -s -L -B1 --apparent-size "$root" 2>/dev/null || true; } | cut -f 1)" \
        "apparent, $({ du -s -L -B1 "$root" 2>/dev/null || true; } | cut -f 1) on disk"
}

# run_in_rounds LOG WHAT ROUNDS OPTION... -- -n NAME COMMAND...: ROUNDS
# hyperfine sessions of one run of each command, in the order given and
# then reversed, by turns; LOG.json holds every run of each command and
# their median, as one session's export would.
run_in_rounds() {
    local log=$1 what=$2 rounds=$3 round i
    local -a options named reversed logs
    shift 3
    while [ "$1" != -- ]; do
        options+=("$1")
        shift
    done
    shift
    named=("$@")
    for ((i = ${#named[@]} - 3; i >= 0; i -= 3)); do
        reversed+=("${named[@]:i:3}")
    done
    for ((round = 1; round <= rounds; round++)); do
        if ((round % 2)); then
            run_hyperfine "$log.$round" "$what" "${options[@]}" --runs 1 "${named[@]}"
        else
            run_hyperfine "$log.$round" "$what" "${options[@]}" --runs 1 "${reversed[@]}"
        fi
        logs+=("$log.$round.json")
    done
    jq -s '{results: ([.[].results[]] | group_by(.command) | map({
            command: .[0].command,
            times: [.[].times[]],
            exit_codes: [.[].exit_codes[]]
        } | .median = (.times | sort | if length % 2 == 1 then .[length / 2 | floor]
                                       else (.[length / 2 - 1] + .[length / 2]) / 2 end)))}' \
        "${logs[@]}" >"$log.json"
}

sizes_header() {
    echo
    echo "reading every entry's metadata ($sizes_walker: the listing, one statx per entry and the"
    echo "per-directory sums): its median, and its ratio to each (below 1: it is faster), same"
    echo "hyperfine run; $sizes_map is the whole run, writing JSON Lines:"
}

# memory_sizes TREE: the peak memory of velmora-map --sizes writing JSON
# Lines against the limit for velmora-map's report of the same tree (3 x
# report + 40 MiB), the report measured by memory() before.
memory_sizes() {
    local tree=$1 measures=$work/time.txt rss_kb
    if [ -z "${report_bytes[$tree]:-}" ]; then
        echo "  ${tree_label[$tree]}, $sizes_map: no HTML report to set the limit"
        return 0
    fi
    if ! /usr/bin/time -v -o "$measures" "$velmora" -q --sizes --format=jsonl "${tree_root[$tree]}" - >/dev/null; then
        echo "  ${tree_label[$tree]}, $sizes_map: failed, no memory figure"
        return 0
    fi
    rss_kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$measures")
    awk -v tree="${tree_label[$tree]}, $sizes_map" -v kb="$rss_kb" -v bytes="${report_bytes[$tree]}" 'BEGIN {
        rss = kb / 1024; size = bytes / 1048576; limit = 3 * size + 40
        printf "  %-48s %8.1f MiB %8.1f MiB %8.1f MiB  %s\n", tree, rss, size, limit, (rss <= limit ? "pass" : "FAIL")
    }'
}
