# shellcheck shell=bash
# The browsable page against the plain report: writing it, its size, and
# showing it in headless Chromium (bench/pagebench.cpp). Sourced by run.sh
# after timing.sh and limits.sh, which set work, log_dir and the programs.

pagebench=$release_dir/bench/velmora-pagebench

# Searches timed on each browsable page: part of a name, a whole-name
# pattern, one with ?, and one that finds nothing.
page_searches=(report '*.jpg' 'r?sum?*' zzqqzz)

# time_page_writing TREE: velmora-map -q -f --format=browse against the
# plain report, warm, in one hyperfine session (target: at most 1.2 x), and
# the page's size against the report's (target: at most 1.3 x).
time_page_writing() {
    local tree=$1 root=${tree_root[$1]} out=$work/out/$1-page log=$log_dir/$1-page walker
    local plain_ms page_ms plain_bytes page_bytes failed
    walker="$baseline --format=browse"
    mkdir -p "$out"
    echo
    echo "${tree_label[$tree]}, warm: $walker against the HTML report (log: ${log#"$repo"/}.txt) ..."
    run_hyperfine "$log" "${tree_label[$tree]} (page)" --ignore-failure "${warm_options[@]}" \
        -n "$baseline" "$(walker_command "$baseline" "$root" "$out/report.html")" \
        -n "$walker" "$(quote "$velmora") -q -f --format=browse $(quote "$root") $(quote "$out/page.html")"
    plain_ms=$(median_ms "$log.json" "$baseline")
    page_ms=$(median_ms "$log.json" "$walker")
    plain_bytes=$(stat -c %s "$out/report.html")
    page_bytes=$(stat -c %s "$out/page.html")
    failed=$(failed_exit_codes "$log.json" "$walker")
    printf '  %-36s %11s %8s %12s %8s\n' walker "median ms" ratio bytes ratio
    awk -v base="$plain_ms" -v page="$page_ms" -v plain_name="$baseline" -v page_name="$walker" \
        -v plain_bytes="$plain_bytes" -v page_bytes="$page_bytes" -v failed="$failed" 'BEGIN {
        ratio = base > 0 ? page / base : 0
        size = page_bytes / plain_bytes
        printf "  %-36s %11.1f %8.2f %12d %8.2f\n", plain_name, base, 1, plain_bytes, 1
        printf "  %-36s %11.1f %8.2f %12d %8.2f%s\n", page_name, page, ratio, page_bytes, size,
            (failed == "" ? "" : "  WARNING: exit status " failed)
        printf "  writing the page over the report: %.2f (at most 1.2): %s\n", ratio,
            (base > 0 && ratio <= 1.2 && failed == "" ? "pass" : "FAIL")
        printf "  the page'\''s size over the report'\''s: %.2f (at most 1.3): %s\n", size, (size <= 1.3 ? "pass" : "FAIL")
    }'
}

page_header() {
    echo
    echo "reports shown in headless Chromium ($(chromium --version 2>/dev/null | head -n 1)), a fresh browser each,"
    echo "times from the start of navigation (the browser's own timing), memory the peak of all its processes"
    echo "(RSS: each counts what it shares again; PSS: shared pages divided among them):"
    printf '  %-36s %-9s %9s %11s %9s %11s %10s %10s\n' tree report MB "1st paint" load "tree drawn" "RSS MiB" "PSS MiB"
}

# show_page LABEL KIND FILE: one load of FILE, one line of figures; sets
# page_figures to pagebench's output.
page_figures=
show_page() {
    local label=$1 kind=$2 file=$3
    shift 3
    if ! page_figures=$("$pagebench" "$file" "$@" 2>"$work/pagebench.err"); then
        printf '  %-36s %-9s failed: %s\n' "$label" "$kind" "$(tail -n 1 "$work/pagebench.err")"
        page_figures=
        return 0
    fi
    awk -v label="$label" -v kind="$kind" -v bytes="$(stat -c %s "$file")" '
        { value[$1] = $2 }
        END {
            drawn = ("tree_drawn_ms" in value) ? sprintf("%.0f ms", value["tree_drawn_ms"]) : "-"
            printf "  %-36s %-9s %9.1f %8.0f ms %6.0f ms %11s %10.0f %10.0f\n", label, kind, bytes / 1048576,
                value["first_paint_ms"], value["load_ms"], drawn, value["peak_rss_mib"], value["peak_pss_mib"]
        }' <<<"$page_figures"
}

# page_target WHAT FIGURE MOST: one figure held against its target.
page_target() {
    awk -v what="$1" -v figure="$2" -v most="$3" 'BEGIN {
        if (figure == "")
            printf "  %-52s not measured: FAIL\n", what
        else
            printf "  %-52s %8.0f (at most %s): %s\n", what, figure, most, (figure <= most ? "pass" : "FAIL")
    }'
}

# show_pages TREE DRAWN_MOST [PSS_MOST]: the plain report and the page of
# the tree in the browser; the page's first rows should be drawn within
# DRAWN_MOST ms and, where given, the browser's PSS stay within PSS_MOST MiB.
# The searches are timed on the page.
declare -A page_drawn
show_pages() {
    local tree=$1 drawn_most=$2 pss_most=${3:-} out=$work/out/$1-page
    [ -s "$out/page.html" ] || { echo "  ${tree_label[$tree]}: no page written (see above)"; return 0; }
    show_page "${tree_label[$tree]}" plain "$out/report.html"
    show_page "${tree_label[$tree]}" browsable "$out/page.html" "${page_searches[@]}"
    [ -n "$page_figures" ] || return 0
    page_drawn[$tree]=$(awk '$1 == "tree_drawn_ms" {print $2}' <<<"$page_figures")
    page_targets "$drawn_most" "$pss_most"
}

# show_sized_page TREE DRAWN_MOST [PSS_MOST]: the page made with --sizes,
# whose Size and Date columns are read after the first rows, held against
# the same targets.
show_sized_page() {
    local tree=$1 drawn_most=$2 pss_most=${3:-} page=$work/out/$1-page/sizes.html status=0
    mkdir -p "${page%/*}"
    # 3: written, some sizes unreadable.
    "$velmora" -q -f --sizes --format=browse "${tree_root[$tree]}" "$page" || status=$?
    if [ "$status" -ne 0 ] && [ "$status" -ne 3 ]; then
        echo "  ${tree_label[$tree]}: no page written with --sizes"
        return 0
    fi
    show_page "${tree_label[$tree]}" "--sizes" "$page" "${page_searches[@]}"
    [ -n "$page_figures" ] || return 0
    page_targets "$drawn_most" "$pss_most"
}

# page_targets DRAWN_MOST [PSS_MOST]: the figures of the last page shown
# against their targets; every search within 250 ms.
page_targets() {
    local drawn_most=$1 pss_most=${2:-} line text ms hits
    page_target "first rows drawn, ms" "$(awk '$1 == "tree_drawn_ms" {print $2}' <<<"$page_figures")" "$drawn_most"
    [ -z "$pss_most" ] || page_target "browser's peak memory (PSS), MiB" \
        "$(awk '$1 == "peak_pss_mib" {print $2}' <<<"$page_figures")" "$pss_most"
    while read -r line; do
        read -r _ text ms hits <<<"$line"
        page_target "search '$text' ($hits found), ms" "$ms" 250
    done < <(grep '^search_ms ' <<<"$page_figures")
}

# The browser with nothing to show, for the memory it takes by itself.
show_empty_page() {
    local file=$work/out/empty.html
    mkdir -p "$work/out"
    printf '<!DOCTYPE html><title>empty</title><p>empty</p>\n' >"$file"
    show_page "an empty page" plain "$file"
}

# show_sorted_page TREE [MOST_MS]: the page of the tree with every folder
# open, then sorted by Name (velmora-pagebench --sort): how long until its
# rows are drawn in that order, within MOST_MS where given, and the longest
# the page left input unanswered meanwhile (a task of 50 ms or more).
show_sorted_page() {
    local tree=$1 most=${2:-} page=$work/out/$1-page/sorted.html figures
    mkdir -p "${page%/*}"
    if ! "$velmora" -q -f --format=browse "${tree_root[$tree]}" "$page"; then
        echo "  ${tree_label[$tree]}: no page written to sort"
        return 0
    fi
    if ! figures=$("$pagebench" "$page" --sort 2>"$work/pagebench.err"); then
        printf '  %-36s sorting failed: %s\n' "${tree_label[$tree]}" "$(tail -n 1 "$work/pagebench.err")"
        return 0
    fi
    awk -v label="${tree_label[$tree]}" '{ value[$1] = $2 } END {
        printf "  %-36s all open %6.0f ms, sorted by name %6.0f ms, longest task %5.0f ms\n", label,
            value["open_all_ms"], value["sort_name_ms"], value["sort_longest_task_ms"]
    }' <<<"$figures"
    [ -z "$most" ] || page_target "sorted by name, every folder open, ms" \
        "$(awk '$1 == "sort_name_ms" {print $2}' <<<"$figures")" "$most"
}
