// The order of names: the collator's, case and accents aside, runs of
// digits by value. Its compare() costs microseconds a pair, seconds for a
// folder of 100,000 entries; so two names of printable ASCII alone, as
// most are, are compared as the collator would compare them, from each
// character's rank among the printable ASCII characters in the collator's
// order (one rank for those it holds equal), each run of digits by its
// value (its length, leading zeros left out, then its digits). A large
// folder's names are given keys once that compare so by plain code units:
// the ranks, and for each run of digits the rank of a digit, its length
// and its digits. Other names are compared by the collator.

var collator = new Intl.Collator('en', { numeric: true, sensitivity: 'base' });
var KEY_BASE = 0x20;
// Longer runs of digits are left to the collator.
var MOST_KEYED_DIGITS = 0x7e - KEY_BASE;
var asciiRanks = null; // by character code: KEY_BASE + rank
var keyCodes = [];
// From this many entries, a folder's names are given keys.
var LEAST_KEYED_ENTRIES = 200;

// Each printable ASCII character's rank, from the collator itself.
function rankAscii() {
    var characters = [];
    for (var code = 0x20; code <= 0x7e; code++)
        characters.push(String.fromCharCode(code));
    characters.sort(collator.compare);
    var ranks = new Uint8Array(0x7f);
    var rank = 0;
    characters.forEach(function (c, k) {
        if (k > 0 && collator.compare(characters[k - 1], c) !== 0)
            rank++;
        ranks[c.charCodeAt(0)] = KEY_BASE + rank;
    });
    return ranks;
}

function isDigit(code) {
    return code >= 0x30 && code <= 0x39;
}

// The key of a name, or null where the collator must compare it. With
// `place`, the key is followed by a character below any of its own and by
// the place, so that keys sort as strings, equal ones by place.
function nameKey(name, place) {
    if (asciiRanks === null)
        asciiRanks = rankAscii();
    var length = 0;
    for (var i = 0; i < name.length;) {
        var code = name.charCodeAt(i);
        if (code < 0x20 || code > 0x7e)
            return null;
        if (!isDigit(code)) {
            keyCodes[length++] = asciiRanks[code];
            i++;
            continue;
        }
        while (code === 0x30 && i + 1 < name.length && isDigit(name.charCodeAt(i + 1)))
            code = name.charCodeAt(++i);
        var start = i;
        while (i < name.length && isDigit(name.charCodeAt(i)))
            i++;
        if (i - start > MOST_KEYED_DIGITS)
            return null;
        keyCodes[length++] = asciiRanks[0x30];
        keyCodes[length++] = KEY_BASE + i - start;
        for (var k = start; k < i; k++)
            keyCodes[length++] = name.charCodeAt(k);
    }
    if (place !== undefined) {
        keyCodes[length++] = 0;
        keyCodes[length++] = place >>> 16;
        keyCodes[length++] = place & 0xffff;
    }
    keyCodes.length = length;
    return String.fromCharCode.apply(null, keyCodes);
}

// The end of the run of digits that starts at `i`.
function digitsEnd(name, i) {
    while (i < name.length && isDigit(name.charCodeAt(i)))
        i++;
    return i;
}

// The start of the run of digits at `i` without its leading zeros.
function digitsStart(name, i) {
    while (name.charCodeAt(i) === 0x30 && i + 1 < name.length && isDigit(name.charCodeAt(i + 1)))
        i++;
    return i;
}

// -1, 0 or 1 as the collator compares two names of printable ASCII, or
// NaN where either has another character.
function compareAscii(a, b) {
    if (asciiRanks === null)
        asciiRanks = rankAscii();
    var i = 0;
    var j = 0;
    while (i < a.length && j < b.length) {
        var ca = a.charCodeAt(i);
        var cb = b.charCodeAt(j);
        if (ca < 0x20 || ca > 0x7e || cb < 0x20 || cb > 0x7e)
            return NaN;
        if (isDigit(ca) && isDigit(cb)) {
            var startA = digitsStart(a, i);
            var startB = digitsStart(b, j);
            i = digitsEnd(a, startA);
            j = digitsEnd(b, startB);
            if (i - startA !== j - startB)
                return i - startA < j - startB ? -1 : 1;
            var digitsA = a.slice(startA, i);
            var digitsB = b.slice(startB, j);
            if (digitsA !== digitsB)
                return digitsA < digitsB ? -1 : 1;
            continue;
        }
        var ra = asciiRanks[isDigit(ca) ? 0x30 : ca];
        var rb = asciiRanks[isDigit(cb) ? 0x30 : cb];
        if (ra !== rb)
            return ra < rb ? -1 : 1;
        i++;
        j++;
    }
    if (!PRINTABLE_ASCII.test(a.slice(i)) || !PRINTABLE_ASCII.test(b.slice(j)))
        return NaN;
    return i < a.length ? 1 : j < b.length ? -1 : 0;
}

var PRINTABLE_ASCII = /^[\x20-\x7e]*$/;

function compareNames(a, b) {
    var compared = compareAscii(a, b);
    return compared === compared ? compared : collator.compare(a, b);
}

// `list` of positions in listing order sorted by name, `sign` 1 for A to
// Z, -1 for Z to A; equal names keep the listing order.
function sortedByName(list, sign) {
    if (list.length < LEAST_KEYED_ENTRIES) {
        return list.sort(function (a, b) {
            return sign * compareNames(nameOf(a), nameOf(b)) || a - b;
        });
    }
    var tagged = new Array(list.length);
    var k = 0;
    for (; k < list.length; k++) {
        tagged[k] = nameKey(nameOf(list[k]), k);
        if (tagged[k] === null)
            break;
    }
    if (k === list.length)
        return sortedByKeys(list, tagged, sign);
    var names = new Array(list.length);
    var keys = new Array(list.length);
    var places = new Array(list.length);
    for (k = 0; k < list.length; k++) {
        names[k] = nameOf(list[k]);
        keys[k] = nameKey(names[k]);
        places[k] = k;
    }
    places.sort(function (a, b) {
        var ka = keys[a];
        var kb = keys[b];
        var compared = ka !== null && kb !== null ? (ka < kb ? -1 : ka > kb ? 1 : 0) : collator.compare(names[a], names[b]);
        return sign * compared || a - b;
    });
    return places.map(function (place) { return list[place]; });
}

// The same for a folder whose names all have keys, `tagged` with their
// places, by the browser's own sort of strings, which needs no call a pair.
function sortedByKeys(list, tagged, sign) {
    tagged.sort();
    var placeOf = function (entry) {
        return entry.charCodeAt(entry.length - 2) * 0x10000 + entry.charCodeAt(entry.length - 1);
    };
    if (sign > 0)
        return tagged.map(function (entry) { return list[placeOf(entry)]; });
    // Z to A: the runs of equal keys from the last, each in listing order.
    var keyOf = function (entry) { return entry.substring(0, entry.length - 3); };
    var sorted = [];
    for (var end = tagged.length; end > 0;) {
        var start = end - 1;
        while (start > 0 && keyOf(tagged[start - 1]) === keyOf(tagged[end - 1]))
            start--;
        for (var i = start; i < end; i++)
            sorted.push(list[placeOf(tagged[i])]);
        end = start;
    }
    return sorted;
}
