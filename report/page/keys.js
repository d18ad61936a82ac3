// Keyboard, mouse and the column heads.

function focusRow(row) {
    activeRow = Math.max(0, Math.min(rows.length - 1, row));
    active = rows[activeRow];
    scrollToRow(activeRow, false);
    draw();
    showPath();
}

function pageRows() {
    return Math.max(1, Math.floor(view.tree.clientHeight / ROW_HEIGHT) - 1);
}

var treeKeys = {
    ArrowDown: function () { focusRow(activeRow + 1); },
    ArrowUp: function () { focusRow(activeRow - 1); },
    PageDown: function () { focusRow(activeRow + pageRows()); },
    PageUp: function () { focusRow(activeRow - pageRows()); },
    Home: function () { focusRow(0); },
    End: function () { focusRow(rows.length - 1); },
    ArrowRight: function () {
        if (!canOpen(active))
            return;
        if (expanded[active])
            focusRow(activeRow + 1);
        else
            toggle(activeRow);
    },
    ArrowLeft: function () {
        if (expanded[active])
            toggle(activeRow);
        else if (active !== 0)
            focusRow(rows.lastIndexOf(index.parent[active], activeRow));
    },
    Enter: function () { toggle(activeRow); },
    ' ': function () { toggle(activeRow); },
    '*': function () { setAllBelow(activeRow, true); focusRow(activeRow); },
};

function onTreeKey(event) {
    if (event.altKey || event.ctrlKey || event.metaKey)
        return;
    var action = treeKeys[event.key];
    if (action) {
        event.preventDefault();
        action();
    } else if (event.key.length === 1 && event.key !== '/') {
        typeAhead(event.key);
    }
}

// "/" finds a name from anywhere but a field.
function onPageKey(event) {
    if (event.key === '/' && event.target.tagName !== 'INPUT') {
        event.preventDefault();
        document.getElementById('search-field').focus();
    }
}

function toggle(row) {
    if (expanded[rows[row]])
        closeFolder(row);
    else
        openFolder(row);
    focusRow(row);
}

// Typing a name's first letters moves to the next row that starts so.
function typeAhead(key) {
    var now = performance.now();
    typed.text = (now - typed.at < TYPE_AHEAD_MS ? typed.text : '') + key.toLowerCase();
    typed.at = now;
    for (var step = typed.text.length > 1 ? 0 : 1; step < rows.length; step++) {
        var row = (activeRow + step) % rows.length;
        if (nameOf(rows[row]).toLowerCase().startsWith(typed.text)) {
            focusRow(row);
            return;
        }
    }
}

function onTreeClick(event) {
    var element = event.target.closest('.row');
    if (!element)
        return;
    var row = Number(element.dataset.row);
    focusRow(row);
    if (canOpen(rows[row]))
        toggle(row);
    view.tree.focus();
}

// The focused entry's path and what is known of it, for keyboards and
// screen readers as much as for the eye.
function showPath() {
    var item = items[active];
    var facts = isFolder(active) ? [counted(item.n[0], 'folder', 'folders'), counted(item.n[1], 'file', 'files')] : [];
    if (hasSizes)
        facts = facts.concat(sizeFacts(active));
    var bar = document.getElementById('path-bar');
    bar.textContent = '';
    var about = document.createElement('span');
    about.className = 'bar-facts';
    about.textContent = facts.length > 0 ? facts.join(', ') + ' in ' : '';
    var where = document.createElement('span');
    where.className = 'bar-folder';
    var name = document.createElement('bdi');
    name.className = 'bar-name';
    if (active === 0) {
        appendPath(name, 0);
    } else {
        appendFolderPath(where, index.parent[active]);
        showName(name, active);
    }
    bar.append(about, where, name);
}

function setUpColumns() {
    var heads = document.querySelectorAll('#columns button');
    heads.forEach(function (head) {
        head.addEventListener('click', function () { chooseOrder(head.dataset.order); });
    });
    showOrder();
}

// Each head sorts, then sorts the other way, then gives the listing
// order back. Counts start with the largest.
function chooseOrder(key) {
    var firstDescending = key !== 'name';
    var next;
    if (order.key !== key)
        next = { key: key, descending: firstDescending };
    else if (order.descending === firstDescending)
        next = { key: key, descending: !firstDescending };
    else
        next = { key: 'listing', descending: false };
    sortOpenFolders(next, key);
}

// Sorts every open folder's entries in slices, the page live between them
// and the progress shown, then shows the rows in the new order. Folders
// opened meanwhile are sorted when they are next shown.
function sortOpenFolders(next, key) {
    var run = ++sorting.run;
    sorting.to = next;
    var folders = [];
    for (var i = 0; i < expanded.length; i++) {
        if (expanded[i])
            folders.push(i);
    }
    var lists = new Map();
    var done = 0;
    var progress = document.getElementById('sort-progress');
    document.querySelectorAll('#columns [aria-busy]').forEach(function (other) { other.removeAttribute('aria-busy'); });
    var head = document.querySelector('#columns [data-order=' + key + ']');
    head.setAttribute('aria-busy', 'true');
    var slice = function () {
        if (run !== sorting.run)
            return;
        var until = performance.now() + SORT_SLICE_MS;
        while (done < folders.length && performance.now() < until) {
            lists.set(folders[done], sortedEntries(folders[done], next));
            done++;
        }
        if (done < folders.length) {
            progress.textContent = 'Sorting\u2026 ' + Math.floor(100 * done / folders.length) + '%';
            setTimeout(slice, 0);
            return;
        }
        progress.textContent = '';
        head.removeAttribute('aria-busy');
        sorting.to = null;
        order = next;
        ordered = lists;
        lists.forEach(rankEntries);
        rebuildRows();
        scrollToRow(activeRow, true);
        draw();
        showOrder();
        performance.mark('rows-ordered');
    };
    slice();
}

function showOrder() {
    document.querySelectorAll('#columns button').forEach(function (head) {
        var sorted = head.dataset.order === order.key;
        head.classList.toggle('sorted', sorted);
        head.classList.toggle('descending', sorted && order.descending);
        head.setAttribute('aria-pressed', sorted ? 'true' : 'false');
        head.title = sorted ? orderTitle() : 'Sort each folder\'s entries by ' + head.textContent.toLowerCase();
    });
}

function orderTitle() {
    if (order.key === 'name')
        return 'Sorted by name, ' + (order.descending ? 'Z to A' : 'A to Z');
    if (order.key === 'size')
        return 'Sorted by size, ' + (order.descending ? 'largest first' : 'smallest first');
    if (order.key === 'date')
        return 'Sorted by the newest change, ' + (order.descending ? 'newest first' : 'oldest first');
    return 'Sorted by ' + order.key + ' below, ' + (order.descending ? 'most first' : 'fewest first');
}
