// Finding names.

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
        if (pattern.test(nameOf(entries[k])))
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
    more.textContent = 'Show ' + grouped(Math.min(left, MORE_HITS)) + ' more (' + grouped(left) + ' not shown)';
}

function hitElement(position) {
    var item = document.createElement('li');
    var button = document.createElement('button');
    button.type = 'button';
    button.dataset.position = position;
    var where = document.createElement('span');
    where.className = 'hit-folder';
    appendFolderPath(where, index.parent[position]);
    var name = document.createElement('bdi');
    name.className = 'hit-name' + (isFolder(position) ? ' folder' : '');
    showName(name, position);
    button.appendChild(where);
    button.appendChild(name);
    item.appendChild(button);
    return item;
}
