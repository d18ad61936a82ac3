// Names and paths as they are shown: in rows, hits and the path bar.

// A longer path keeps this many characters of its start and of its end,
// the name found among them, and shows an ellipsis between.
var PATH_START_CHARS = 120;
var PATH_END_CHARS = 280;

// A name with nothing to see would show as an empty row: one of blanks,
// control and format characters alone.
var UNSEEN_NAME = /^[\p{White_Space}\p{Cc}\p{Cf}\p{Z}\p{Default_Ignorable_Code_Point}]+$/u;

// A name as the eye reads it: itself, or, when nothing of it could be
// seen, each of its characters as an escape (a blank as \u0020).
function seenName(name) {
    if (!UNSEEN_NAME.test(name))
        return name;
    var text = '';
    for (var c of name) {
        var hex = c.codePointAt(0).toString(16).toUpperCase();
        text += hex.length <= 4 ? '\\u' + hex.padStart(4, '0') : '\\u{' + hex + '}';
    }
    return text;
}

// Puts the name of `position` in `element`, marked where it is escaped.
function showName(element, position) {
    var name = nameOf(position);
    var seen = seenName(name);
    element.textContent = seen;
    element.classList.toggle('escaped', seen !== name);
    element.title = seen !== name ? 'A name of blanks or control characters only, shown as escapes' : '';
}

// The names from the root's path down to `position`: the root's path is
// split at its slashes.
function namesOnPath(position) {
    var names = [];
    for (var i = position; i > 0; i = index.parent[i])
        names.push(seenName(nameOf(i)));
    var root = nameOf(0);
    var rootNames = root.split('/').map(seenName);
    if (root.endsWith('/') && names.length > 0)
        rootNames.pop();
    return rootNames.concat(names.reverse());
}

// Appends the path of `folder` and the slash that ends it.
function appendFolderPath(element, folder) {
    appendPath(element, folder);
    if (folder !== 0 || !nameOf(0).endsWith('/'))
        element.appendChild(document.createTextNode('/'));
}

// Appends the path of `position` to `element`, each name isolated from
// the others, so that one written right to left, or holding a direction
// override, leaves the others as they are. Between a long path's start
// and its end, an ellipsis.
function appendPath(element, position) {
    var names = namesOnPath(position);
    var first = 0;
    var startChars = 0;
    while (first < names.length - 1 && startChars + names[first].length < PATH_START_CHARS)
        startChars += names[first++].length + 1;
    var last = names.length - 1;
    var endChars = names[last].length;
    while (last > first && endChars + names[last - 1].length < PATH_END_CHARS)
        endChars += names[--last].length + 1;
    for (var k = 0; k < names.length; k++) {
        if (k === first && first < last) {
            element.appendChild(document.createTextNode('\u2026/'));
            k = last - 1;
            continue;
        }
        if (names[k] !== '') {
            var name = document.createElement('bdi');
            name.textContent = names[k];
            element.appendChild(name);
        }
        if (k < names.length - 1)
            element.appendChild(document.createTextNode('/'));
    }
}
