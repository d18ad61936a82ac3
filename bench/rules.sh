# shellcheck shell=bash
# velmora-map's walk rules against a walk without them: exclude patterns and
# a sorted order. Sourced by run.sh after timing.sh and limits.sh.

# Ten patterns of the kind users give, by name and by path, for directories
# and files. They match nothing or little in the bench's trees, so that
# what is timed is the matching, not a smaller tree.
bench_excludes=(--exclude=node_modules/ --exclude=.git/ --exclude='*.o' --exclude='*~' --exclude=__pycache__/
    --exclude=@eaDir --exclude=/build/ --exclude='**/cache/*.tmp' --exclude=Thumbs.db --exclude=.DS_Store)

# time_rule TREE LABEL MOST OPTION...: velmora-map -q -f with OPTION...
# against velmora-map -q -f, warm, in one hyperfine session. The run with
# them should take at most MOST times the one without; LABEL names them.
time_rule() {
    local tree=$1 label=$2 most=$3 root=${tree_root[$1]} option quoted="" base_ms rule_ms plain_counts rule_counts
    local failed note name log out
    shift 3
    name=$(tr -cs 'a-z0-9' '-' <<<"${label#--}")
    name=${name%-}
    out=$work/out/$tree-$name
    log=$log_dir/$tree-$name
    for option in "$@"; do
        quoted+=" $(quote "$option")"
    done
    mkdir -p "$out"
    echo
    echo "${tree_label[$tree]}, warm: $baseline with $label against without (log: ${log#"$repo"/}.txt) ..."
    run_hyperfine "$log" "${tree_label[$tree]} ($label)" --ignore-failure "${warm_options[@]}" \
        -n "$baseline" "$(walker_command "$baseline" "$root" "$out/plain.html")" \
        -n "$baseline $label" "$(quote "$velmora") -q -f$quoted $(quote "$root") $(quote "$out/rule.html")"
    base_ms=$(median_ms "$log.json" "$baseline")
    rule_ms=$(median_ms "$log.json" "$baseline $label")
    plain_counts=$(report_counts "$out/plain.html")
    rule_counts=$(report_counts "$out/rule.html")
    failed=$(failed_exit_codes "$log.json" "$baseline $label")
    if [ "$rule_counts" = "$plain_counts" ]; then
        note="the same folders and files"
    else
        note="folders and files '$rule_counts' against '$plain_counts'"
    fi
    [ -z "$failed" ] || note="WARNING: exit status $failed; $note"
    printf '  %-44s %11s %8s  %s\n' walker "median ms" ratio "folders files"
    awk -v base="$base_ms" -v rule="$rule_ms" -v base_name="$baseline" -v rule_name="$baseline $label" \
        -v plain_counts="$plain_counts" -v rule_counts="$rule_counts" -v note="$note" -v most="$most" \
        -v label="$label" -v failed="$failed" 'BEGIN {
        ratio = base > 0 ? rule / base : 0
        printf "  %-44s %11.1f %8.2f  %s\n", base_name, base, 1, plain_counts
        printf "  %-44s %11.1f %8.2f  %s (%s)\n", rule_name, rule, ratio, rule_counts, note
        printf "  with %s over without: %.2f (at most %.2f): %s\n", label, ratio, most,
            (base > 0 && ratio <= most && failed == "" ? "pass" : "FAIL")
    }'
}
