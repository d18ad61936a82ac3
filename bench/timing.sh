# shellcheck shell=bash
# Times velmora-map and the other walkers side by side with hyperfine and
# prints each median with its ratio to velmora-map -q -f, and what each
# walker saw of the tree. Sourced by run.sh, which sets work, log_dir, the
# programs and warm_options / cold_options.

baseline="velmora-map -q -f"

# The walkers, in the order they are timed and shown.
walkers() {
    printf '%s\n' "velmora-map -q -f" "velmora-map -q" "floorwalk -j $(scan_threads)" "bfs -L" "bfs" \
        "fdfind -uu" "find -L" "find" "du -s --inodes" "tree -a -H ."
}

# Quotes one word for the sh that hyperfine runs commands with.
quote() {
    printf "'%s'" "${1//\'/\'\\\'\'}"
}

# walker_command WALKER ROOT OUT: the command line timed for it, writing what
# it prints to OUT.
walker_command() {
    local root out
    root=$(quote "$2")
    out=$(quote "$3")
    case $1 in
        "velmora-map -q -f") echo "$(quote "$velmora") -q -f $root $out" ;;
        "velmora-map -q") echo "$(quote "$velmora") -q $root $out" ;;
        "floorwalk -j "*) echo "$(quote "$floorwalk") -j $(scan_threads) $root > $out" ;;
        "tree -a -H .") echo "tree -a -H . $root -o $out" ;;
        "fdfind -uu") echo "fdfind -uu . $root > $out" ;;
        find*) echo "$1 $root -mindepth 1 > $out" ;;
        *) echo "$1 $root > $out" ;;
    esac
}

# How a walker counts: "follow" follows links and counts a link back to an
# ancestor as a folder; "follow-skip" follows links and leaves such links
# out; "plain" does not follow links, counting each as one entry; "inodes"
# is plain counting a file with several hard links once.
walker_counting() {
    case $1 in
        velmora-map* | floorwalk*) echo follow ;;
        "bfs -L" | "find -L") echo follow-skip ;;
        du*) echo inodes ;;
        *) echo plain ;;
    esac
}

# walker_seen WALKER OUT: the number of entries below the root the walker
# reported, from what it wrote.
walker_seen() {
    local out=$2
    [ -s "$out" ] || { echo 0; return; }
    case $1 in
        velmora-map*)
            grep -o 'Number of F[a-z]*: </b>[0-9]*' "$out" | grep -o '[0-9]*$' \
                | awk '{sum += $1} END {print sum + 0}'
            ;;
        floorwalk*) awk '{print $2 + $4}' "$out" ;;
        bfs*) echo $(($(wc -l <"$out") - 1)) ;; # bfs lists the root too
        "du -s --inodes") awk '{print $1 - 1}' "$out" ;;
        "tree -a -H .")
            # "N directories, M files", the root among the directories
            grep -o '[0-9]* director[a-z]*, [0-9]* file' "$out" | tail -n 1 \
                | awk '{print $1 + $3 - 1}'
            ;;
        *) wc -l <"$out" ;;
    esac
}

expected_seen() {
    local tree=$1 counting=$2
    case $counting in
        follow) echo "${expect_follow[$tree]}" ;;
        follow-skip) echo $((expect_follow[$tree] - expect_loops[$tree])) ;;
        plain) echo "${expect_plain[$tree]}" ;;
        inodes) echo "${expect_inodes[$tree]}" ;;
    esac
}

# run_hyperfine LOG WHAT OPTION...: hyperfine with OPTION..., its JSON export
# in LOG.json and its output in LOG.txt. When hyperfine itself fails, the
# bench stops, saying on WHAT.
run_hyperfine() {
    local log=$1 what=$2
    shift 2
    hyperfine --style basic --export-json "$log.json" "$@" >"$log.txt" 2>&1 \
        || { tail -n 20 "$log.txt" >&2; echo "run.sh: hyperfine failed on $what" >&2; exit 1; }
}

# median_ms JSON WALKER: its median in a hyperfine JSON export, in ms.
median_ms() {
    jq -r --arg name "$2" '.results[] | select(.command == $name) | .median * 1000' "$1"
}

failed_exit_codes() {
    jq -r --arg name "$2" \
        '[.results[] | select(.command == $name) | .exit_codes[] | select(. != 0)] | unique | map(tostring) | join(",")' "$1"
}

# Medians of velmora-map -q -f by tree and mode, for the per-entry figure,
# and whether it then reported the whole tree and exited 0 (1) or not (0).
declare -A velmora_ms velmora_whole median_of

# time_tree TREE MODE: times every walker on the tree, warm or cold.
time_tree() {
    local tree=$1 mode=$2 root=${tree_root[$1]} out=$work/out/$1 log=$log_dir/$1-$2 walker
    local -a options arguments
    walk_mode=$mode
    if [ "$mode" = cold ]; then
        if [ -n "$cold_skipped" ]; then
            echo
            echo "${tree_label[$tree]}, cold: skipped, $cold_skipped"
            return 0
        fi
        options=("${cold_options[@]}" --prepare "$drop_caches")
    else
        options=("${warm_options[@]}")
    fi
    mkdir -p "$out"
    while read -r walker; do
        arguments+=(-n "$walker" "$(walker_command "$walker" "$root" "$out/${walker// /_}")")
    done < <(walkers)

    echo
    echo "${tree_label[$tree]}, $mode: timing $(walkers | wc -l) walkers (log: ${log#"$repo"/}.txt) ..."
    # Failing walkers are timed all the same and flagged below.
    run_hyperfine "$log" "${tree_label[$tree]}" --ignore-failure "${options[@]}" --export-csv "$log.csv" "${arguments[@]}"

    print_timings "$tree" "$mode" "$log.json" "$out"
    while read -r walker; do
        median_of[$tree-$mode-${walker%% *}]=$(median_ms "$log.json" "$walker")
    done < <(printf '%s\n' bfs "floorwalk -j $(scan_threads)")
    velmora_ms[$tree-$mode]=$(median_ms "$log.json" "$baseline")
}

# speed_target TREE MODE PEER MOST: velmora-map -q -f's median over PEER's,
# which should be at most MOST.
speed_target() {
    local tree=$1 mode=$2 peer=$3 most=$4
    if [ -z "${velmora_ms[$tree-$mode]:-}" ]; then
        printf '  %-36s %-5s %-10s not timed\n' "${tree_label[$tree]}" "$mode" "$peer"
        return 0
    fi
    awk -v tree="${tree_label[$tree]}" -v mode="$mode" -v peer="$peer" -v most="$most" \
        -v ours="${velmora_ms[$tree-$mode]}" -v theirs="${median_of[$tree-$mode-$peer]}" 'BEGIN {
        ratio = theirs > 0 ? ours / theirs : 0
        printf "  %-36s %-5s %-10s %6.2f (at most %.1f): %s\n", tree, mode, peer, ratio, most,
            (theirs > 0 && ratio <= most ? "pass" : "FAIL")
    }'
}

speed_targets() {
    echo
    echo "speed of velmora-map -q -f against its targets (its median over the peer's, same run):"
    speed_target mixed warm bfs 0.7
    speed_target large warm bfs 0.7
    speed_target flat warm bfs 1.0
    speed_target mixed cold bfs 0.6
    speed_target large cold bfs 0.6
    speed_target mixed warm floorwalk 1.3
}

print_timings() {
    local tree=$1 mode=$2 json=$3 out=$4 walker base median seen expected counting failed note
    base=$(median_ms "$json" "$baseline")
    printf '  %-20s %11s %8s %10s  %s\n' walker "median ms" ratio entries "what it saw"
    while read -r walker; do
        median=$(median_ms "$json" "$walker")
        counting=$(walker_counting "$walker")
        seen=$(walker_seen "$walker" "$out/${walker// /_}")
        expected=$(expected_seen "$tree" "$counting")
        case $counting in
            follow) note="links followed" ;;
            follow-skip) note="links followed, loops left out" ;;
            plain) note="links not followed" ;;
            inodes) note="links not followed, hard links once" ;;
        esac
        if [ "$seen" -eq "$expected" ]; then
            note="all, $note"
        else
            note="WARNING: expected $expected, $note"
        fi
        failed=$(failed_exit_codes "$json" "$walker")
        [ -z "$failed" ] || note="$note; exit status $failed"
        if [ "$walker" = "$baseline" ]; then
            velmora_whole[$tree-$mode]=$([ "$seen" -eq "$expected" ] && [ -z "$failed" ] && echo 1 || echo 0)
        fi
        awk -v walker="$walker" -v median="$median" -v base="$base" -v seen="$seen" -v note="$note" \
            'BEGIN {printf "  %-20s %11.1f %8.2f %10d  %s\n", walker, median, (base > 0 ? median / base : 0), seen, note}'
    done < <(walkers)
}

# What the walkers count on a real tree, where links lead back up and files
# have several names.
explain_counting() {
    echo "  in $1: velmora-map and floorwalk count a link back to an ancestor as a folder and do not"
    echo "  enter it; find -L and bfs -L leave such links out (exiting 1 if there are any); bfs, find,"
    echo "  fdfind and tree count each link once without following it (tree counting a link to a"
    echo "  directory as a directory); du counts a file with several hard links once."
}

# The formats timed against the HTML report, each with what reads its two
# counts back ("folders files"): the JSON document, JSON Lines (its first
# line) and the ncdu export (its entries counted).
data_formats=(json jsonl ncdu)
declare -A format_counts=(
    [json]='jq -r "\"\\(.folders) \\(.files)\""'
    [jsonl]='head -n 1 | jq -r "\"\\(.folders) \\(.files)\""'
    [ncdu]="python3 -c 'import json, sys
def count(entry):
    if isinstance(entry, dict): return (0, 1)
    inner = [count(e) for e in entry[1:]]
    return (sum(1 + f if isinstance(e, list) else f for e, (f, _) in zip(entry[1:], inner)), sum(n for _, n in inner))
print(*count(json.load(sys.stdin)[3]))'"
)

# time_formats TREE: each of velmora-map's data formats against its HTML
# report on the tree, warm, in one hyperfine session. Each run should take
# at most 1.2 x the HTML run, and state the same counts.
time_formats() {
    local tree=$1 root=${tree_root[$1]} out=$work/out/$1-formats log=$log_dir/$1-formats
    local html_ms html_counts format walker counts failed note commands=()
    mkdir -p "$out"
    for format in "${data_formats[@]}"; do
        commands+=(-n "velmora-map -q -f --format=$format"
            "$(quote "$velmora") -q -f --format=$format $(quote "$root") $(quote "$out/report.$format")")
    done
    echo
    echo "${tree_label[$tree]}, warm: velmora-map's formats against the HTML report (log: ${log#"$repo"/}.txt) ..."
    run_hyperfine "$log" "${tree_label[$tree]} (formats)" --ignore-failure "${warm_options[@]}" \
        -n "$baseline" "$(walker_command "$baseline" "$root" "$out/report.html")" "${commands[@]}"
    html_ms=$(median_ms "$log.json" "$baseline")
    html_counts=$(report_counts "$out/report.html")
    printf '  %-36s %11s %8s  %s\n' walker "median ms" ratio bytes
    printf '  %-36s %11.1f %8.2f  %d\n' "$baseline" "$html_ms" 1 "$(stat -c %s "$out/report.html")"
    for format in "${data_formats[@]}"; do
        walker="velmora-map -q -f --format=$format"
        counts=$(bash -c "${format_counts[$format]}" <"$out/report.$format" 2>/dev/null) || counts="unreadable"
        failed=$(failed_exit_codes "$log.json" "$walker")
        note="counts as the report's"
        [ "$counts" = "$html_counts" ] || note="WARNING: counts '$counts', the report's '$html_counts'"
        [ -z "$failed" ] || note="$note; exit status $failed"
        awk -v base="$html_ms" -v ms="$(median_ms "$log.json" "$walker")" -v name="$walker" -v format="$format" \
            -v bytes="$(stat -c %s "$out/report.$format")" -v note="$note" -v failed="$failed" 'BEGIN {
            ratio = base > 0 ? ms / base : 0
            printf "  %-36s %11.1f %8.2f  %d  %s\n", name, ms, ratio, bytes, note
            printf "  %s over HTML: %.2f (at most 1.2): %s\n", format, ratio, (base > 0 && ratio <= 1.2 && note ~ /^counts/ && failed == "" ? "pass" : "FAIL")
        }'
    done
}
