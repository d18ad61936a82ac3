# shellcheck shell=bash
# Times the listing alone (velmora-threadsweep) at fixed thread counts
# against the count the scan chooses for itself, warm and cold. Sourced by
# run.sh after timing.sh.

sweep_counts=(1 2 4 8 16 32)

# sweep_threads TREE MODE
sweep_threads() {
    local tree=$1 mode=$2 root=${tree_root[$1]} log=$log_dir/sweep-$1-$2 threads
    local -a options arguments
    if [ "$mode" = cold ]; then
        if [ -n "$cold_skipped" ]; then
            echo "  ${tree_label[$tree]}, cold: skipped, $cold_skipped"
            return 0
        fi
        options=("${cold_options[@]}" --prepare "$drop_caches")
    else
        options=("${warm_options[@]}")
    fi
    arguments=(-n chosen "$(quote "$threadsweep") 0 $(quote "$root")")
    for threads in "${sweep_counts[@]}"; do
        arguments+=(-n "$threads" "$(quote "$threadsweep") $threads $(quote "$root")")
    done
    run_hyperfine "$log" "the thread sweep" "${options[@]}" "${arguments[@]}"
    jq -r --arg tree "${tree_label[$tree]}" --arg mode "$mode" '
        (.results[] | select(.command == "chosen") | .median) as $chosen
        | [.results[] | "\(.command) \(.median * 1000 | floor) ms (\(.median / $chosen * 100 | round / 100))"]
        | "  \($tree), \($mode): " + join(", ")' "$log.json"
}

sweep_header() {
    echo
    echo "listing alone, by thread count (median ms, and its ratio to the count the scan chooses, \"chosen\"):"
}
