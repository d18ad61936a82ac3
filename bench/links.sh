# shellcheck shell=bash
# Sizes over hard-linked trees: velmora-map --sizes on a backup-style tree
# of cp -al snapshots against one snapshot and du -s, and on deep chains
# with a hard-linked file at the top and at the bottom, how its time and
# peak memory grow with the depth. Sourced by run.sh after timing.sh and
# sizes.sh.

snapshot_count=3

# map_counts MAP: "FOLDERS FILES" as the start of a JSON or JSON Lines map
# states them for the whole tree (read as text: a deep JSON map nests past
# what jq reads).
map_counts() {
    head -c 4096 "$1" | grep -o '"folders":[0-9]*,"files":[0-9]*' | head -n 1 | tr -cs '0-9' ' ' | sed 's/^ //; s/ $//'
}

# root_disk MAP: the root's total_disk in a JSON or JSON Lines map.
root_disk() {
    head -c 4096 "$1" | grep -o '"total_disk":[0-9]*' | head -n 1 | cut -d : -f 2
}

# seen_note TREE MAP JSON COMMAND: whether the map states the whole tree
# and the command exited 0 each time.
seen_note() {
    local tree=$1 map=$2 json=$3 command=$4 counts expected failed note
    counts=$(map_counts "$map")
    expected="${expect_folders[$tree]} ${expect_files[$tree]}"
    if [ "$counts" = "$expected" ]; then
        note="all, ${counts% *} folders and ${counts#* } files"
    else
        note="WARNING: folders and files '$counts', expected '$expected'"
    fi
    failed=$(failed_exit_codes "$json" "$command")
    [ -z "$failed" ] || note="$note; exit status $failed"
    echo "$note"
}

links_header() {
    echo
    echo "sizes over hard-linked trees: velmora-map --sizes, the whole run, warm, one hyperfine session"
    echo "a row, and what its map states:"
}

# time_snapshots NAME: velmora-map --sizes writing JSON Lines on the tree of
# snapshots and on its first snapshot alone, and du -s on the snapshots.
# Meeting a file again should cost little beside meeting it first: the
# snapshots at most 1.5 x as many times the one snapshot; and it should be
# ahead of du -s.
time_snapshots() {
    local name=$1 one=$1-one out=$work/out/$1 log=$log_dir/$1 many_map one_map
    local many_ms one_ms du_ms
    local -a options
    options=("${warm_options[@]}")
    $quick || options=("${sizes_warm_options[@]}")
    many_map="$sizes_map, $snapshot_count snapshots"
    one_map="$sizes_map, one snapshot"
    mkdir -p "$out"
    run_hyperfine "$log" "${tree_label[$name]}" --ignore-failure "${options[@]}" \
        -n "$many_map" "$(sizes_command "$sizes_map" "${tree_root[$name]}" "$out/many.jsonl")" \
        -n "$one_map" "$(sizes_command "$sizes_map" "${tree_root[$one]}" "$out/one.jsonl")" \
        -n "du -s" "$(sizes_command "du -s" "${tree_root[$name]}" "$out/du")"
    many_ms=$(median_ms "$log.json" "$many_map")
    one_ms=$(median_ms "$log.json" "$one_map")
    du_ms=$(median_ms "$log.json" "du -s")
    printf '  %-46s %-20s %9.1f ms  %s\n' "${tree_label[$name]}" "$sizes_map" "$many_ms" \
        "$(seen_note "$name" "$out/many.jsonl" "$log.json" "$many_map")"
    printf '  %-46s %-20s %9.1f ms  %s\n' "${tree_label[$one]}" "$sizes_map" "$one_ms" \
        "$(seen_note "$one" "$out/one.jsonl" "$log.json" "$one_map")"
    printf '  %-46s %-20s %9.1f ms\n' "${tree_label[$name]}" "du -s" "$du_ms"
    awk -v count="$snapshot_count" -v many="$many_ms" -v one="$one_ms" -v du="$du_ms" 'BEGIN {
        ratio = one > 0 ? many / (count * one) : 0
        printf "  %d snapshots over %d x one: %.2f (at most 1.5): %s\n", count, count, ratio,
            (one > 0 && ratio <= 1.5 ? "pass" : "FAIL")
        ratio = du > 0 ? many / du : 0
        printf "  %d snapshots over du -s: %.2f (below 1): %s\n", count, ratio, (du > 0 && ratio < 1 ? "pass" : "FAIL")
    }'
    # du leaves out a dangling link, which the walk counts as the link itself.
    echo "    the root's total on disk: $(root_disk "$out/many.jsonl");" \
        "du -s -L -B1: $({ du -s -L -B1 "${tree_root[$name]}" 2>/dev/null || true; } | cut -f 1)"
}

# linked_chains LEVELS...: velmora-map --sizes on velmora-makechain's chain
# of each depth, warm, in one hyperfine session, and its peak memory on
# each. It writes JSON: JSON Lines writes each folder's path whole, so its
# size grows with the square of the depth. The time should grow no faster
# than 1.25 x the levels from the second deepest chain to the deepest.
linked_chains() {
    local levels name log=$log_dir/linked-chains map measures=$work/time.txt largest before whole=true note command
    local -a arguments
    local -A milliseconds rss_kb
    mkdir -p "$work/out"
    for levels in "$@"; do
        make_linked_chain "chain-$levels" "$levels"
        command="$(quote "$velmora") -q --sizes --format=json $(quote "$work/chain-$levels")"
        arguments+=(-n "chain of $levels levels" "$command $(quote "$work/out/chain-$levels.json")")
    done
    echo
    echo "  chains with a hard-linked file at the top and at the bottom, velmora-map --sizes --format=json:"
    run_hyperfine "$log" "the linked chains" --ignore-failure "${warm_options[@]}" "${arguments[@]}"
    printf '  %-46s %12s %12s  %s\n' tree "median ms" "peak RSS" "what its map states"
    for levels in "$@"; do
        name=chain-$levels
        map=$work/out/$name.json
        milliseconds[$levels]=$(median_ms "$log.json" "chain of $levels levels")
        note=$(seen_note "$name" "$map" "$log.json" "chain of $levels levels")
        [[ $note == all,* ]] || whole=false
        if /usr/bin/time -f %M -o "$measures" "$velmora" -q --sizes --format=json "${tree_root[$name]}" "$map"; then
            rss_kb[$levels]=$(tail -n 1 "$measures")
        else
            rss_kb[$levels]=0
            note="$note; failed when measuring its memory"
        fi
        awk -v tree="${tree_label[$name]}" -v ms="${milliseconds[$levels]}" -v kb="${rss_kb[$levels]}" -v note="$note" \
            'BEGIN {printf "  %-46s %9.1f ms %8.1f MiB  %s\n", tree, ms, kb / 1024, note}'
        echo "    the root's total on disk: $(root_disk "$map"); du -s -B1: $(du -s -B1 "${tree_root[$name]}" | cut -f 1)"
    done
    [ $# -ge 2 ] || return 0
    $whole || { echo "  growth not judged: velmora-map did not map a whole chain"; return 0; }
    largest=${*: -1}
    before=${*: -2:1}
    awk -v a="$before" -v b="$largest" -v ta="${milliseconds[$before]}" -v tb="${milliseconds[$largest]}" \
        -v ka="${rss_kb[$before]}" -v kb="${rss_kb[$largest]}" 'BEGIN {
        target = 1.25 * b / a
        printf "  time %d / %d levels: %.2f (target <= %.2f: linear): %s\n", b, a, tb / ta, target,
            (tb / ta <= target ? "pass" : "FAIL")
        printf "  peak memory %d / %d levels: %.2f\n", b, a, (ka > 0 ? kb / ka : 0)
    }'
}
