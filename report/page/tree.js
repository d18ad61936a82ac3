// The map's data: what each position holds, a folder's entries in the
// chosen order.

// One pass over the array: each entry's folder and depth, each folder's
// end (the position of its 0) and number of entries, and the positions
// of all entries below the root, for searching.
function indexTree(list) {
    var count = list.length;
    var parent = new Int32Array(count);
    var depth = new Int32Array(count);
    var end = new Int32Array(count);
    var children = new Int32Array(count);
    var entries = new Int32Array(count);
    var entryCount = 0;
    var open = [];
    for (var i = 0; i < count; i++) {
        var item = list[i];
        if (item === 0) {
            end[open.pop()] = i;
            continue;
        }
        var up = open.length > 0 ? open[open.length - 1] : -1;
        parent[i] = up;
        depth[i] = open.length;
        if (up >= 0) {
            children[up]++;
            entries[entryCount++] = i;
        }
        if (typeof item === 'object' && item.d !== undefined)
            open.push(i);
    }
    return { parent: parent, depth: depth, end: end, children: children,
             entries: entries.subarray(0, entryCount) };
}

function isFolder(position) {
    var item = items[position];
    return typeof item === 'object' && item.d !== undefined;
}

// A file is its name or, its metadata unread, an object; a folder is an
// object.
function nameOf(position) {
    var item = items[position];
    if (typeof item === 'string')
        return item;
    return item.d !== undefined ? item.d : item.f;
}

// The entries of a folder in listing order.
function listedEntries(folder) {
    var list = [];
    var i = folder + 1;
    while (items[i] !== 0) {
        list.push(i);
        i = isFolder(i) ? index.end[i] + 1 : i + 1;
    }
    return list;
}

// The entries of a folder in the chosen order, kept until it changes.
function entriesOf(folder) {
    var list = ordered.get(folder);
    if (list)
        return list;
    list = sortedEntries(folder, order);
    rankEntries(list);
    ordered.set(folder, list);
    return list;
}

// The entries of a folder in the order `how`.
function sortedEntries(folder, how) {
    var list = listedEntries(folder);
    if (how.key === 'name')
        return sortedByName(list, how.descending ? -1 : 1);
    if (how.key !== 'listing')
        list.sort(comparator(how));
    return list;
}

function rankEntries(list) {
    for (var k = 0; k < list.length; k++)
        rank[list[k]] = k + 1;
}

// Files have no counts: they follow the folders either way.
function countOf(position, which) {
    return isFolder(position) ? items[position].n[which] : null;
}

// The order of counts, sizes and dates.
function comparator(how) {
    var sign = how.descending ? -1 : 1;
    var which = how.key === 'folders' ? 0 : 1;
    var valueOf = { size: sizeOf, date: dateOf }[how.key]
        || function (position) { return countOf(position, which); };
    // What has no value follows the rest either way.
    return function (a, b) {
        var ca = valueOf(a);
        var cb = valueOf(b);
        if (ca === null || cb === null)
            return (ca === null) - (cb === null) || a - b;
        return sign * (ca - cb) || a - b;
    };
}

// Sizes and times, where the map has them and they have been read: a
// folder's total and the newest time below it, a file's own; null where
// unknown.
function sizeOf(position) {
    return sizes.ready && !notEntered(position) ? sizes.list[sizes.slot[position]] : null;
}

function dateOf(position) {
    if (!sizes.ready || notEntered(position))
        return null;
    var age = sizes.list[sizes.slot[position] + 2];
    return age === null ? null : sizes.made - age;
}

// Of a folder's total, the part held by files that have a name outside it
// too; 0 where none is.
function sharedOf(position) {
    var item = items[position];
    return sizes.ready && isFolder(position) && item.h !== undefined && sizeOf(position) !== null ? item.h[0] : 0;
}

// A folder's part of its folder's total, from 0 to 1; null for the root,
// files and where either total is unknown or 0.
function shareOf(position) {
    if (position === 0 || !isFolder(position))
        return null;
    var size = sizeOf(position);
    var total = sizeOf(index.parent[position]);
    return size === null || !total ? null : size / total;
}

function diskOf(position) {
    return sizes.list[sizes.slot[position] + 1] * DISK_BLOCK_BYTES;
}

// A folder not entered counts nothing of what it holds: it shows no size.
function notEntered(position) {
    var item = items[position];
    return isFolder(position) && item.r !== undefined && !item.r.startsWith('unreadable');
}
