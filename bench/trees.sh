# shellcheck shell=bash
# The trees bench/run.sh times, and what a walk over each must count.
# Sourced by run.sh, which sets work (the temporary folder) and the makers.

# By tree name: where it is, how it is called in the output, and what a walk
# should see. expect_follow counts every entry with links followed, a link
# back to a directory on the path counted once and not entered (as velmora
# does); expect_loops is how many such links there are (walkers that follow
# links and leave them out see expect_follow - expect_loops); expect_plain
# counts every entry with links not followed, expect_inodes the distinct
# files among them (a file with several hard links once).
declare -A tree_root tree_label expect_folders expect_files expect_follow expect_loops expect_plain expect_inodes

# Trees are kept until the end, not removed once timed: on ext4 without a
# journal, new inodes skip the ones freed in the last minutes, which makes
# building the next tree many times slower.
made() {
    [ -n "${tree_root[$1]:-}" ]
}

# The first three numbers of the maker's line that starts with `prefix`.
numbers_on() {
    local prefix=$1 report=$2
    awk -v prefix="$prefix" 'index($0, prefix) == 1 {
        found = 0
        for (i = 1; i <= NF && found < 3; i++)
            if ($i ~ /^[0-9]+$/) { printf "%s ", $i; found++ }
        print ""
        exit
    }' <<<"$report"
}

# record NAME LABEL REPORT EXTRA_FOLDERS: counts from the makers' report
# ("made D directories, F files and L symbolic links ...", "a walk that
# follows links counts N folders and M files ..."), plus folders the bench
# made around them.
record() {
    local name=$1 label=$2 report=$3 extra=${4:-0} directories files links folders seen_files
    read -r directories files links < <(numbers_on made "$report")
    read -r folders seen_files _ < <(numbers_on "a walk" "$report")
    tree_label[$name]=$label
    expect_folders[$name]=$((folders + extra))
    expect_files[$name]=$seen_files
    expect_follow[$name]=$((folders + extra + seen_files))
    expect_loops[$name]=0
    expect_plain[$name]=$((directories + extra + files + links))
    expect_inodes[$name]=${expect_plain[$name]} # velmora-maketree and velmora-makecomb make no hard links
}

# build_timed WHAT NAME MAKER ARGUMENTS...: runs a maker, keeping its report
# in $work/NAME.made, and says what it made and how long it took.
build_timed() {
    local what=$1 report=$work/$2.made started
    shift 2
    echo
    echo "making the $what ..."
    started=$(date +%s.%N)
    "$@" >"$report" || { echo "run.sh: could not make the $what" >&2; exit 1; }
    awk -v started="$started" -v ended="$(date +%s.%N)" 'BEGIN {printf "  built in %.1f s\n", ended - started}'
    sed 's/^/  /' "$report"
}

# make_shape NAME SHAPE LABEL: one of velmora-maketree's shapes.
make_shape() {
    local name=$1 shape=$2 label=$3
    made "$name" && return 0
    build_timed "$label" "$name" "$maketree" "$shape" "$work/$name"
    tree_root[$name]=$work/$name
    record "$name" "$label" "$(<"$work/$name.made")"
}

make_comb() {
    local name=$1 levels=$2
    made "$name" && return 0
    build_timed "comb of $levels levels" "$name" "$makecomb" "$levels" "$work/$name"
    tree_root[$name]=$work/$name
    record "$name" "comb of $levels levels" "$(<"$work/$name.made")"
}

# make_snapshots NAME SHAPE COUNT: a backup-style tree of COUNT snapshots
# of one of velmora-maketree's shapes side by side (NAME/1, NAME/2, ...):
# the maker makes the first and each other one is a `cp -al` of it, so that
# every file and symbolic link has COUNT links. The first snapshot alone is
# recorded too, as NAME-one: its files have as many links, all but one
# outside it.
make_snapshots() {
    local name=$1 shape=$2 count=$3 root=$work/$1 directories files links i
    made "$name" && return 0
    mkdir "$root"
    build_timed "mixed tree ($shape), the first snapshot" "$name" "$maketree" "$shape" "$root/1"
    for ((i = 2; i <= count; i++)); do
        build_timed "snapshot $i (cp -al of the first)" "$name-$i" cp -al "$root/1" "$root/$i"
    done
    tree_root[$name-one]=$root/1
    record "$name-one" "one snapshot of the mixed tree ($shape)" "$(<"$work/$name.made")"
    tree_root[$name]=$root
    tree_label[$name]="$count snapshots of the mixed tree ($shape)"
    expect_folders[$name]=$((count * (expect_folders[$name-one] + 1)))
    expect_files[$name]=$((count * expect_files[$name-one]))
    expect_follow[$name]=$((expect_folders[$name] + expect_files[$name]))
    expect_loops[$name]=0
    expect_plain[$name]=$((count * (expect_plain[$name-one] + 1)))
    # Directories are made anew in each snapshot; files and links are shared.
    read -r directories files links < <(numbers_on made "$(<"$work/$name.made")")
    expect_inodes[$name]=$((count * (directories + 1) + files + links))
}

# make_linked_chain NAME LEVELS: velmora-makechain's chain of LEVELS
# directories, a file at its top and one at its bottom, each with a second
# link in the root.
make_linked_chain() {
    local name=$1 levels=$2
    made "$name" && return 0
    build_timed "chain of $levels levels with hard-linked files" "$name" "$makechain" "$levels" "$work/$name"
    tree_root[$name]=$work/$name
    record "$name" "chain of $levels levels" "$(<"$work/$name.made")"
    expect_inodes[$name]=$((expect_plain[$name] - 2))
}

# A 3,000-level comb and a wide tree side by side: deep enough to need many
# descriptors, wide enough that a walk short of them loses entries.
make_descriptor_tree() {
    local name=$1 root=$work/$1 label="3,000-level comb beside a wide tree"
    made "$name" && return 0
    mkdir "$root"
    build_timed "comb for the descriptor check" "$name-comb" "$makecomb" 3000 "$root/comb"
    build_timed "wide tree for the descriptor check" "$name-wide" "$maketree" wide "$root/wide"
    tree_root[$name]=$root
    record "$name" "$label" "$(<"$work/$name-comb.made")" 1
    local folders=${expect_folders[$name]} files=${expect_files[$name]} plain=${expect_plain[$name]}
    record "$name" "$label" "$(<"$work/$name-wide.made")" 1
    expect_folders[$name]=$((expect_folders[$name] + folders))
    expect_files[$name]=$((expect_files[$name] + files))
    expect_follow[$name]=$((expect_folders[$name] + expect_files[$name]))
    expect_plain[$name]=$((expect_plain[$name] + plain))
    expect_inodes[$name]=${expect_plain[$name]}
}

# A real tree, read-only: what walks should see there is taken from find for
# walks that do not follow links and from floorwalk for those that do.
use_real_tree() {
    local name=$1 root=$2 folders files loops
    made "$name" && return 0
    [ -d "$root" ] || { echo "run.sh: $root is not a directory" >&2; exit 1; }
    echo
    echo "counting $root with find and floorwalk ..."
    tree_root[$name]=$root
    tree_label[$name]=$root
    expect_plain[$name]=$(find "$root" -mindepth 1 2>/dev/null | wc -l) || true
    expect_inodes[$name]=$(find "$root" -mindepth 1 -printf '%D %i\n' 2>/dev/null | sort -u | wc -l) || true
    read -r _ folders _ files _ loops _ < <("$floorwalk" -j "$(scan_threads)" "$root") \
        || { echo "run.sh: floorwalk could not walk $root" >&2; exit 1; }
    expect_folders[$name]=$folders
    expect_files[$name]=$files
    expect_follow[$name]=$((folders + files))
    expect_loops[$name]=$loops
    echo "  find: ${expect_plain[$name]} entries, ${expect_inodes[$name]} distinct files;" \
        "floorwalk: $folders folders, $files files ($loops links back to an ancestor)"
}
