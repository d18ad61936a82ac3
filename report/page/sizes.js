// Sizes and times, where the map has them: their two columns. Sizes are
// shown in binary units, the exact bytes in the cell's title; times as the
// local date and time to the minute.

var SIZE_UNITS = ['B', 'KiB', 'MiB', 'GiB', 'TiB', 'PiB', 'EiB'];

function showSizeColumns() {
    document.querySelectorAll('#columns [hidden]').forEach(function (head) { head.hidden = false; });
}

function fillSizes(sizeCell, dateCell, position) {
    var item = items[position];
    var size = sizeOf(position);
    var date = dateOf(position);
    var folder = isFolder(position);
    var elsewhere = folder && item.s && item.s[3] === null;
    sizeCell.textContent = elsewhere ? 'elsewhere' : size === null ? '' : (folder && item.u ? '\u2265 ' : '') + sizeText(size);
    sizeCell.title = elsewhere ? 'Met before in this map through a link: what it holds is counted there'
        : size === null ? '' : sizeTitle(item, folder);
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
    if (date !== null)
        facts.push((isFolder(position) ? 'newest change ' : 'modified ') + dateText(date, false));
    return facts;
}

function sizeTitle(item, folder) {
    if (!folder)
        return grouped(item[1]) + ' bytes, ' + grouped(item[2]) + ' on disk';
    var text = grouped(item.s[3]) + ' bytes in all, ' + grouped(item.s[4]) + ' on disk';
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
