// The browsable page's script starts here: its settings, its state and
// what it does when the page has been read. The other files of the script
// (tree.js, names.js, rows.js, view.js, paths.js, keys.js, search.js, sizes.js) are joined to
// this one in one function at build time, so they share what is declared
// here.
//
// It shows the map embedded in this page as a tree that opens folder by
// folder, and finds names in it. The data's form is described where it is
// written, in report/browsemapper.h: the tree is one flat array in listing
// order, where a directory is an object followed by its entries and a 0.
//
// An entry is known by its position in that array. Only the rows on screen
// are in the document: `rows` lists the positions of every row that could be
// shown (the open folders' entries, in the chosen order), and draw() makes
// the few row elements in view show their part of it. So a folder of
// 100,000 entries, or a chain of as many levels, opens without hanging.

// Must match .row's height in tree.css.
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
// Sorting many open folders gives the page back this often.
var SORT_SLICE_MS = 100;

var items;          // the data's flat array
var hasSizes;       // whether it holds sizes and times
// They are read after the first rows are drawn (see sizes.js).
var sizes = { ready: false, list: null, slot: null, made: 0 };
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
var sorting = { run: 0, to: null }; // which order change is under way, and to what

// The page's frame puts this script after the tree's data, so that it
// starts as soon as that is read, while the browser still reads the sizes;
// once the rest of the script has run, as it declares what start() uses.
queueMicrotask(start);

function start() {
    var map = JSON.parse(document.getElementById('map-data').textContent);
    items = map.tree;
    hasSizes = map.sizes === true;
    // The file system's order tells nothing: a page with sizes opens with
    // the largest first, which it shows once the sizes are read.
    if (hasSizes && map.rules.sort === 'filesystem')
        order = { key: 'size', descending: true };
    sizes.made = Date.parse(map.made) / 1000;
    index = indexTree(items);
    expanded = new Uint8Array(items.length);
    rank = new Int32Array(items.length);
    rank[0] = 1;
    describeMap(map);
    if (hasSizes)
        showSizeColumns();
    setUpView();
    setUpColumns();
    setUpSearch();
    document.getElementById('loading').remove();
    document.getElementById('browser').hidden = false;
    openFolder(0);
    draw();
    showPath();
    markDrawn();
    if (hasSizes)
        requestAnimationFrame(function () { setTimeout(whenPageRead(readSizes), 0); });
}

// Tells a page-load measurement when the first rows have been painted.
function markDrawn() {
    requestAnimationFrame(function () {
        setTimeout(function () { performance.mark('tree-drawn'); }, 0);
    });
}

// The heading: when and how the map was made, and the counts grouped.
function describeMap(map) {
    var rules = map.rules;
    var parts = [
        'Made ' + map.made.replace('T', ' ').replace('Z', ' UTC'),
        map.files_listed ? 'folders and files' : 'folders only (files counted, not listed)',
        rules.follow_links ? 'symbolic links followed' : 'symbolic links not followed (-P)',
        rules.one_file_system ? 'one file system (-x)' : 'every file system',
        order.key === 'size' ? 'sorted by size, largest first'
            : { filesystem: 'in the file system\'s order', name: 'sorted by name', version: 'sorted by version' }[rules.sort],
        rules.exclude.length === 0 ? 'nothing excluded' : 'excluded: ' + rules.exclude.join(', '),
    ];
    document.getElementById('how').textContent = parts.join(' \u00b7 ');
    document.getElementById('folder-count').textContent = grouped(items[0].n[0]);
    document.getElementById('file-count').textContent = grouped(items[0].n[1]);
}
