// Shows the map embedded in this page as a tree that opens folder by
// folder, and finds names in it. The data's form is described where it is
// written, in report/browsemapper.h: the tree is one flat array in listing
// order, where a directory is an object followed by its entries and a 0.
//
// An entry is known by its position in that array. Only the rows on screen
// are in the document: `rows` lists the positions of every row that could be
// shown (the open folders' entries, in the chosen order), and draw() makes
// the few row elements in view show their part of it. So a folder of
// 100,000 entries, or a chain of as many levels, opens without hanging.
'use strict';

(function () {
    // Must match .row's height in browse.css.
    var ROW_HEIGHT = 24;
    // Browsers place nothing beyond some millions of pixels (Firefox about
    // 17.9 million), so a longer list is scrolled through in proportion.
    var MOST_SCROLL_HEIGHT = 15000000;
    var INDENT_WIDTH = 18;
    // Deeper rows are indented no further and show their level instead.
    var DEEPEST_INDENT = 24;
    var FIRST_HITS = 200;
    var MORE_HITS = 500;
    var SEARCH_DELAY_MS = 150;
    var TYPE_AHEAD_MS = 600;

    var items;          // the data's flat array
    var index;          // what indexTree() knows of it
    var rows = [0];     // positions of the rows that can be shown, the root first
    var expanded;       // by position: 1 where a folder is open
    var rank;           // by position: an entry's place among its folder's, from 1
    var ordered = new Map(); // folder position -> its entries in the chosen order
    var order = { key: 'listing', descending: false };
    var active = 0;     // the position of the focused row's entry
    var activeRow = 0;  // and its row
    var view = { tree: null, space: null, pool: [], drawPending: false };
    var search = { hits: [], shown: 0, timer: 0 };
    var typed = { text: '', at: 0 };

    document.getElementById('loading').hidden = false;
    document.addEventListener('DOMContentLoaded', start);

    function start() {
        var map = JSON.parse(document.getElementById('map-data').textContent);
        items = map.tree;
        index = indexTree(items);
        expanded = new Uint8Array(items.length);
        rank = new Int32Array(items.length);
        rank[0] = 1;
        describeMap(map);
        setUpView();
        setUpColumns();
        setUpSearch();
        document.getElementById('loading').remove();
        document.getElementById('browser').hidden = false;
        openFolder(0);
        draw();
        showPath();
        markDrawn();
    }

    // Tells a page-load measurement when the first rows have been painted.
    function markDrawn() {
        requestAnimationFrame(function () {
            setTimeout(function () { performance.mark('tree-drawn'); }, 0);
        });
    }

    // ----- The data -----

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
            if (typeof item === 'object')
                open.push(i);
        }
        return { parent: parent, depth: depth, end: end, children: children,
                 entries: entries.subarray(0, entryCount) };
    }

    function isFolder(position) {
        return typeof items[position] === 'object';
    }

    function nameOf(position) {
        var item = items[position];
        return typeof item === 'object' ? item.d : item;
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
        list = listedEntries(folder);
        if (order.key !== 'listing')
            list.sort(comparator());
        for (var k = 0; k < list.length; k++)
            rank[list[k]] = k + 1;
        ordered.set(folder, list);
        return list;
    }

    function pathOf(position) {
        var names = [];
        for (var i = position; i > 0; i = index.parent[i])
            names.push(nameOf(i));
        var root = nameOf(0);
        names.reverse();
        if (names.length === 0)
            return root;
        return (root.endsWith('/') ? root : root + '/') + names.join('/');
    }

    // ----- Order -----

    var collator = new Intl.Collator('en', { numeric: true, sensitivity: 'base' });

    // Files have no counts: they follow the folders either way.
    function countOf(position, which) {
        var item = items[position];
        return typeof item === 'object' ? item.n[which] : -1;
    }

    function comparator() {
        var sign = order.descending ? -1 : 1;
        if (order.key === 'name') {
            return function (a, b) {
                return sign * collator.compare(nameOf(a), nameOf(b)) || a - b;
            };
        }
        var which = order.key === 'folders' ? 0 : 1;
        return function (a, b) {
            var ca = countOf(a, which);
            var cb = countOf(b, which);
            if (ca < 0 || cb < 0)
                return cb - ca || a - b;
            return sign * (ca - cb) || a - b;
        };
    }

    // ----- Rows: what is open -----

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

    // ----- Drawing the rows in view -----

    function setUpView() {
        view.tree = document.getElementById('tree');
        view.space = document.getElementById('tree-space');
        view.tree.addEventListener('scroll', requestDraw);
        window.addEventListener('resize', requestDraw);
        view.tree.addEventListener('keydown', onTreeKey);
        view.tree.addEventListener('click', onTreeClick);
        document.addEventListener('keydown', onPageKey);
    }

    function requestDraw() {
        if (view.drawPending)
            return;
        view.drawPending = true;
        requestAnimationFrame(function () {
            view.drawPending = false;
            draw();
        });
    }

    // How the scroll position maps to rows: the fractional row at the top
    // of the view is scrollTop * scale / ROW_HEIGHT.
    function geometry() {
        var full = rows.length * ROW_HEIGHT;
        var space = Math.min(full, MOST_SCROLL_HEIGHT);
        var height = view.tree.clientHeight;
        var scale = full > space ? (full - height) / Math.max(1, space - height) : 1;
        return { space: space, height: height, scale: scale };
    }

    function draw() {
        var g = geometry();
        view.space.style.height = g.space + 'px';
        var top = view.tree.scrollTop;
        var firstExact = top * g.scale / ROW_HEIGHT;
        var first = Math.floor(firstExact);
        var visible = Math.ceil(g.height / ROW_HEIGHT) + 1;
        view.tree.removeAttribute('aria-activedescendant');
        for (var k = 0; k < Math.max(visible, view.pool.length); k++) {
            var row = first + k;
            var element = rowElement(k);
            if (k >= visible || row >= rows.length) {
                element.hidden = true;
                continue;
            }
            element.hidden = false;
            element.style.transform = 'translateY(' + (top + (row - firstExact) * ROW_HEIGHT) + 'px)';
            fillRow(element, row);
        }
    }

    function rowElement(k) {
        if (k < view.pool.length)
            return view.pool[k];
        var element = document.createElement('div');
        element.className = 'row';
        element.id = 'row-' + k;
        element.setAttribute('role', 'treeitem');
        ['indent', 'twisty', 'level', 'name', 'reason', 'count', 'count'].forEach(function (part) {
            var span = document.createElement('span');
            span.className = part;
            element.appendChild(span);
        });
        element.children[1].setAttribute('aria-hidden', 'true');
        view.space.appendChild(element);
        view.pool.push(element);
        return element;
    }

    function fillRow(element, row) {
        var position = rows[row];
        var depth = index.depth[position];
        var folder = isFolder(position);
        var parts = element.children;
        element.dataset.row = row;
        element.className = 'row' + (folder ? ' folder' : ' file') + (position === active ? ' active' : '');
        element.setAttribute('aria-level', depth + 1);
        element.setAttribute('aria-setsize', position === 0 ? 1 : index.children[index.parent[position]]);
        element.setAttribute('aria-posinset', position === 0 ? 1 : rankOf(position));
        element.setAttribute('aria-selected', position === active ? 'true' : 'false');
        if (canOpen(position))
            element.setAttribute('aria-expanded', expanded[position] ? 'true' : 'false');
        else
            element.removeAttribute('aria-expanded');
        parts[0].style.width = Math.min(depth, DEEPEST_INDENT) * INDENT_WIDTH + 'px';
        parts[1].textContent = canOpen(position) ? (expanded[position] ? '\u25be' : '\u25b8') : '';
        parts[2].textContent = depth > DEEPEST_INDENT ? 'level ' + grouped(depth + 1) : '';
        parts[3].textContent = nameOf(position);
        parts[4].textContent = folder ? reasonText(items[position]) : '';
        parts[5].textContent = folder ? grouped(items[position].n[0]) : '';
        parts[6].textContent = folder ? grouped(items[position].n[1]) : '';
        if (position === active)
            view.tree.setAttribute('aria-activedescendant', element.id);
    }

    function rankOf(position) {
        entriesOf(index.parent[position]);
        return rank[position];
    }

    function reasonText(folder) {
        if (!folder.r)
            return '';
        return folder.r.startsWith('unreadable') ? folder.r : 'not entered: ' + folder.r;
    }

    function grouped(number) {
        return number.toLocaleString('en-US');
    }

    // Scrolls so that row `row` is in view; `centre` puts it mid-view.
    function scrollToRow(row, centre) {
        var g = geometry();
        var inView = Math.max(1, Math.floor(g.height / ROW_HEIGHT));
        var firstExact = view.tree.scrollTop * g.scale / ROW_HEIGHT;
        var wanted = firstExact;
        if (centre)
            wanted = row - inView / 2;
        else if (row < firstExact)
            wanted = row;
        else if (row + 1 > firstExact + inView)
            wanted = row + 1 - inView;
        if (wanted !== firstExact)
            view.tree.scrollTop = Math.max(0, wanted) * ROW_HEIGHT / g.scale;
    }

    // ----- Keyboard and mouse -----

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
        } else if (event.key.length === 1) {
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

    function showPath() {
        var item = items[active];
        var text = pathOf(active);
        if (typeof item === 'object')
            text = grouped(item.n[0]) + ' folders, ' + grouped(item.n[1]) + ' files in ' + text;
        document.getElementById('path-bar').textContent = text;
    }

    // ----- Column heads -----

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
        if (order.key !== key)
            order = { key: key, descending: firstDescending };
        else if (order.descending === firstDescending)
            order = { key: key, descending: !firstDescending };
        else
            order = { key: 'listing', descending: false };
        ordered.clear();
        rebuildRows();
        scrollToRow(activeRow, true);
        draw();
        showOrder();
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
        return 'Sorted by ' + order.key + ' below, ' + (order.descending ? 'most first' : 'fewest first');
    }

    // ----- Search -----

    function setUpSearch() {
        var field = document.getElementById('search-field');
        field.addEventListener('input', function () {
            clearTimeout(search.timer);
            search.timer = setTimeout(runSearch, SEARCH_DELAY_MS);
        });
        field.addEventListener('keydown', function (event) {
            if (event.key === 'Enter') {
                clearTimeout(search.timer);
                runSearch();
            } else if (event.key === 'Escape') {
                field.value = '';
                runSearch();
            }
        });
        document.getElementById('more-hits').addEventListener('click', function () { showHits(MORE_HITS); });
        document.getElementById('hit-list').addEventListener('click', function (event) {
            var hit = event.target.closest('button');
            if (hit)
                reveal(Number(hit.dataset.position));
        });
    }

    // What the text finds: without * or ?, names that contain it; with
    // them, names that match it whole, * standing for any run of characters
    // and ? for one. Letters match either case, ASCII letters only.
    function matcher(text) {
        var wildcards = /[*?]/.test(text);
        var source = '';
        for (var c of text) {
            if (c === '*' && wildcards)
                source += '[^]*';
            else if (c === '?' && wildcards)
                source += '[^]';
            else if (/[a-zA-Z]/.test(c))
                source += '[' + c.toLowerCase() + c.toUpperCase() + ']';
            else
                source += /[\^$\\.*+?()[\]{}|\/]/.test(c) ? '\\' + c : c;
        }
        return new RegExp(wildcards ? '^' + source + '$' : source, 'u');
    }

    function runSearch() {
        var text = document.getElementById('search-field').value;
        search.hits = [];
        search.shown = 0;
        document.getElementById('hit-list').textContent = '';
        if (text === '') {
            document.getElementById('hits').hidden = true;
            document.getElementById('search-summary').textContent = '';
            return;
        }
        var pattern = matcher(text);
        var entries = index.entries;
        for (var k = 0; k < entries.length; k++) {
            var item = items[entries[k]];
            if (pattern.test(typeof item === 'object' ? item.d : item))
                search.hits.push(entries[k]);
        }
        var count = search.hits.length;
        document.getElementById('search-summary').textContent = count === 0 ? 'No name found'
            : grouped(count) + (count === 1 ? ' name found' : ' names found');
        document.getElementById('hits').hidden = count === 0;
        showHits(FIRST_HITS);
    }

    function showHits(howMany) {
        var list = document.getElementById('hit-list');
        var end = Math.min(search.hits.length, search.shown + howMany);
        var fragment = document.createDocumentFragment();
        for (var k = search.shown; k < end; k++)
            fragment.appendChild(hitElement(search.hits[k]));
        list.appendChild(fragment);
        search.shown = end;
        var more = document.getElementById('more-hits');
        var left = search.hits.length - end;
        more.hidden = left === 0;
        more.textContent = 'Show ' + grouped(Math.min(left, MORE_HITS)) + ' more of ' + grouped(left);
    }

    function hitElement(position) {
        var item = document.createElement('li');
        var button = document.createElement('button');
        button.type = 'button';
        button.dataset.position = position;
        var where = document.createElement('span');
        where.className = 'hit-folder';
        var folderPath = pathOf(index.parent[position]);
        where.textContent = shortened(folderPath.endsWith('/') ? folderPath : folderPath + '/');
        var name = document.createElement('span');
        name.className = 'hit-name' + (isFolder(position) ? ' folder' : '');
        name.textContent = nameOf(position);
        button.appendChild(where);
        button.appendChild(name);
        item.appendChild(button);
        return item;
    }

    // A folder's path as long as a line can show, its end kept.
    function shortened(path) {
        var most = 400;
        return path.length > most ? '\u2026' + path.slice(path.length - most) : path;
    }

    // ----- How the map was made -----

    function describeMap(map) {
        var rules = map.rules;
        var parts = [
            'Made ' + map.made.replace('T', ' ').replace('Z', ' UTC'),
            map.files_listed ? 'folders and files' : 'folders only (files counted, not listed)',
            rules.follow_links ? 'symbolic links followed' : 'symbolic links not followed (-P)',
            rules.one_file_system ? 'one file system (-x)' : 'every file system',
            { filesystem: 'in the file system\'s order', name: 'sorted by name', version: 'sorted by version' }[rules.sort],
            rules.exclude.length === 0 ? 'nothing excluded' : 'excluded: ' + rules.exclude.join(', '),
        ];
        document.getElementById('how').textContent = parts.join(' \u00b7 ');
        document.getElementById('folder-count').textContent = grouped(items[0].n[0]);
        document.getElementById('file-count').textContent = grouped(items[0].n[1]);
    }
})();
