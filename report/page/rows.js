// The rows that can be shown: which folders are open, and the rows below
// each open one, kept in step as folders open and close.

// The rows below an open folder: its entries and, depth first, those of
// every open folder among them. No recursion: a chain may be deep.
function rowsBelow(folder) {
    var out = [];
    var stack = [{ list: entriesOf(folder), next: 0 }];
    while (stack.length > 0) {
        var top = stack[stack.length - 1];
        if (top.next === top.list.length) {
            stack.pop();
            continue;
        }
        var position = top.list[top.next++];
        out.push(position);
        if (expanded[position])
            stack.push({ list: entriesOf(position), next: 0 });
    }
    return out;
}

// The row after the last row of the open folder in row `row`.
function rowAfterSubtree(row) {
    var folder = rows[row];
    var end = index.end[folder];
    var after = row + 1;
    while (after < rows.length && rows[after] > folder && rows[after] < end)
        after++;
    return after;
}

function replaceSubtreeRows(row) {
    var after = rowAfterSubtree(row);
    var below = expanded[rows[row]] ? rowsBelow(rows[row]) : [];
    rows = rows.slice(0, row + 1).concat(below, rows.slice(after));
    activeRow = rows.indexOf(active);
    // A closed folder takes the focus from what it hid.
    if (activeRow < 0) {
        active = rows[row];
        activeRow = row;
    }
}

function canOpen(position) {
    return isFolder(position) && index.children[position] > 0;
}

function openFolder(row) {
    if (!canOpen(rows[row]) || expanded[rows[row]])
        return;
    expanded[rows[row]] = 1;
    replaceSubtreeRows(row);
}

function closeFolder(row) {
    if (!expanded[rows[row]])
        return;
    expanded[rows[row]] = 0;
    replaceSubtreeRows(row);
}

// Opens or closes every folder below the one in row `row`, and it.
function setAllBelow(row, open) {
    var folder = rows[row];
    if (!canOpen(folder))
        return;
    for (var i = folder; i < index.end[folder]; i++) {
        if (isFolder(i))
            expanded[i] = open && index.children[i] > 0 ? 1 : 0;
    }
    replaceSubtreeRows(row);
}

function rebuildRows() {
    rows = expanded[0] ? [0].concat(rowsBelow(0)) : [0];
    activeRow = rows.indexOf(active);
    if (activeRow < 0) {
        active = 0;
        activeRow = 0;
    }
}

// Opens every folder on the way to an entry and focuses it.
function reveal(position) {
    for (var i = index.parent[position]; i >= 0; i = index.parent[i])
        expanded[i] = 1;
    active = position;
    rebuildRows();
    scrollToRow(activeRow, true);
    view.tree.focus();
    draw();
    showPath();
}
