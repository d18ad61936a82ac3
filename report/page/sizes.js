// Sizes and times, where the map has them: their two columns. Sizes are
// shown in binary units, the exact bytes in the cell's title; times as the
// local date and time to the minute.
//
// They are a second block of data, as large as the tree's or larger, read
// once the first rows are on screen: until then their cells hold a
// placeholder and their heads do not sort.

var SIZE_UNITS = ['B', 'KiB', 'MiB', 'GiB', 'TiB', 'PiB', 'EiB'];
var DISK_BLOCK_BYTES = 512;
// Beside the size of a folder part of whose total is held by files that
// have a name outside it too (hard links).
var SHARED_MARK = '\u21c4';

function showSizeColumns() {
    document.getElementById('browser').classList.add('with-sizes');
    document.querySelectorAll('#columns [hidden]').forEach(function (head) {
        head.hidden = false;
        head.disabled = true;
        head.title = 'Reading sizes\u2026';
    });
}

// `then`, to be called once the whole page has been read.
function whenPageRead(then) {
    return function () {
        if (document.readyState === 'loading')
            document.addEventListener('DOMContentLoaded', then);
        else
            then();
    };
}

// Reads the sizes: three numbers for each entry in the tree's order.
function readSizes() {
    var element = document.getElementById('size-data');
    sizes.list = JSON.parse(element.textContent);
    element.remove();
    sizes.slot = new Int32Array(items.length);
    for (var i = 0, next = 0; i < items.length; i++) {
        if (items[i] !== 0) {
            sizes.slot[i] = next;
            next += 3;
        }
    }
    sizes.ready = true;
    document.querySelectorAll('#columns .size-column, #columns .date-column').forEach(function (head) {
        head.disabled = false;
    });
    // The folders shown so far are in the listing order, unless another
    // order was chosen meanwhile.
    if (order.key === 'size' && sorting.to === null)
        sortOpenFolders(order, order.key);
    showOrder();
    draw();
    showPath();
    performance.mark('sizes-shown');
}

// The size cell holds the shared mark and the size; its background is the
// bar of the folder's share of its folder's total.
function fillSizes(sizeCell, dateCell, position) {
    var mark = sizeCell.firstChild;
    var text = sizeCell.lastChild;
    if (!sizes.ready) {
        text.textContent = dateCell.textContent = '\u2026';
        sizeCell.title = dateCell.title = 'Reading sizes';
        return;
    }
    var item = items[position];
    var size = sizeOf(position);
    var date = dateOf(position);
    var folder = isFolder(position);
    var elsewhere = folder && sizes.list[sizes.slot[position]] === null;
    var share = shareOf(position);
    text.textContent = elsewhere ? 'elsewhere' : size === null ? '' : (folder && item.u ? '\u2265 ' : '') + sizeText(size);
    mark.textContent = sharedOf(position) > 0 ? SHARED_MARK : '';
    sizeCell.style.setProperty('--share', share === null ? 0 : share);
    sizeCell.title = elsewhere ? 'Met before in this map through a link: what it holds is counted there'
        : size === null ? '' : [sizeTitle(position, item, folder)].concat(sizeNotes(position)).join('; ');
    dateCell.textContent = date === null ? '' : dateText(date, false);
    dateCell.title = date === null ? '' : (folder ? 'Newest change in it: ' : 'Modified: ') + dateText(date, true);
}

// What the path bar says of an entry's size and time, where known.
function sizeFacts(position) {
    var size = sizeOf(position);
    var date = dateOf(position);
    var facts = [];
    if (size !== null)
        facts.push(grouped(size) + ' bytes' + (isFolder(position) ? ' in all' : ''));
    if (sharedOf(position) > 0)
        facts.push(sharedText(position));
    if (date !== null)
        facts.push((isFolder(position) ? 'newest change ' : 'modified ') + dateText(date, false));
    return facts;
}

// What a folder's row says of its size besides the size: its share of
// its folder's total, and how much of it is shared with other folders.
function sizeNotes(position) {
    var notes = [];
    var share = shareOf(position);
    if (share !== null)
        notes.push((share > 0 && share < 0.005 ? 'less than 1%' : Math.round(100 * share) + '%') + ' of its folder');
    if (sharedOf(position) > 0)
        notes.push(sharedText(position));
    return notes;
}

function sharedText(position) {
    var shared = sharedOf(position);
    return sizeText(shared) + ' of it is shared with other folders; deleting it frees ' + sizeText(sizeOf(position) - shared);
}

function sizeTitle(position, item, folder) {
    var text = grouped(sizeOf(position)) + ' bytes' + (folder ? ' in all, ' : ', ') + grouped(diskOf(position)) + ' on disk';
    if (!folder)
        return text;
    if (item.u)
        text += '; not counted: ' + grouped(item.u) + (item.u === 1 ? ' entry' : ' entries') + ' whose size could not be read';
    return text;
}

function sizeText(bytes) {
    var unit = 0;
    var value = bytes;
    while (value >= 1024 && unit < SIZE_UNITS.length - 1) {
        value /= 1024;
        unit++;
    }
    if (unit === 0)
        return bytes + ' B';
    var text = value < 9.95 ? value.toFixed(1) : String(Math.round(value));
    if (text === '1024' && unit < SIZE_UNITS.length - 1) {
        text = '1.0';
        unit++;
    }
    return text + ' ' + SIZE_UNITS[unit];
}

function dateText(seconds, withSeconds) {
    var date = new Date(seconds * 1000);
    var two = function (number) { return String(number).padStart(2, '0'); };
    return String(date.getFullYear()).padStart(4, '0') + '-' + two(date.getMonth() + 1) + '-' + two(date.getDate())
        + ' ' + two(date.getHours()) + ':' + two(date.getMinutes()) + (withSeconds ? ':' + two(date.getSeconds()) : '');
}
