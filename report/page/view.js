// Drawing: the few row elements in view show their part of the rows.

function setUpView() {
    view.tree = document.getElementById('tree');
    view.space = document.getElementById('tree-space');
    view.tree.addEventListener('scroll', requestDraw);
    // The tree's height changes with the window and as hits are shown.
    new ResizeObserver(requestDraw).observe(view.tree);
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
    // The heads line up with the rows, whatever the scroll bar takes.
    document.getElementById('columns').style.paddingRight = view.tree.offsetWidth - view.tree.clientWidth + 'px';
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
    var parts = ['indent', 'twisty', 'level', 'name', 'reason', 'count', 'count'];
    (hasSizes ? parts.concat('size', 'date') : parts).forEach(function (part) {
        var span = document.createElement('span');
        span.className = part;
        element.appendChild(span);
    });
    element.children[1].setAttribute('aria-hidden', 'true');
    if (hasSizes) {
        var mark = document.createElement('span');
        mark.className = 'shared-mark';
        element.children[7].append(mark, document.createElement('span'));
    }
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
    element.className = 'row' + (folder ? ' folder' : ' file') + (row % 2 ? ' odd' : '')
        + (position === active ? ' active' : '');
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
    showName(parts[3], position);
    parts[4].textContent = reasonText(items[position], folder);
    parts[5].textContent = folder ? grouped(items[position].n[0]) : '';
    parts[6].textContent = folder ? grouped(items[position].n[1]) : '';
    if (hasSizes)
        fillSizes(parts[7], parts[8], position);
    element.title = hasSizes ? sizeNotes(position).join('; ') : '';
    element.setAttribute('aria-label', rowLabel(parts, position, folder));
    if (position === active)
        view.tree.setAttribute('aria-activedescendant', element.id);
}

// What a screen reader says of a row: its name, then each number with
// what it counts.
function rowLabel(parts, position, folder) {
    var said = [parts[3].textContent];
    if (parts[4].textContent)
        said.push(parts[4].textContent);
    if (folder)
        said.push(counted(items[position].n[0], 'folder', 'folders'), counted(items[position].n[1], 'file', 'files'));
    if (hasSizes && sizes.ready) {
        var size = parts[7].lastChild.textContent;
        if (size !== '')
            said.push(size === 'elsewhere' ? 'size counted elsewhere' : 'size ' + size.replace('\u2265 ', 'at least '));
        said = said.concat(sizeNotes(position));
        if (parts[8].textContent !== '')
            said.push((folder ? 'newest change ' : 'modified ') + parts[8].textContent);
    }
    return said.join(', ');
}

function rankOf(position) {
    entriesOf(index.parent[position]);
    return rank[position];
}

// Why a folder was not entered or not read whole, and why an entry has no
// size.
function reasonText(item, folder) {
    if (typeof item !== 'object')
        return '';
    var reasons = [];
    if (folder && item.r)
        reasons.push(item.r.startsWith('unreadable') ? item.r : 'not entered: ' + item.r);
    var metadata = folder ? item.m : item.r;
    if (metadata)
        reasons.push('metadata ' + metadata);
    return reasons.join('; ');
}

function grouped(number) {
    return number.toLocaleString('en-US');
}

function counted(number, one, many) {
    return grouped(number) + ' ' + (number === 1 ? one : many);
}

// Scrolls so that row `row` is in view; `centre` puts it mid-view.
function scrollToRow(row, centre) {
    var g = geometry();
    // A position past the space's old height would be cut back to it.
    view.space.style.height = g.space + 'px';
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
