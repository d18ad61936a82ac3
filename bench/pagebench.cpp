// Loads one report in headless Chromium and says how long it took to show
// and how much memory the browser held meanwhile.
//
//   velmora-pagebench PAGE [--sort] [SEARCH...]
//
// Prints, one "name value" a line:
//   first_paint_ms   the first contentful paint, from the start of navigation
//   load_ms          the end of the load event
//   tree_drawn_ms    for the browsable page: its first rows painted
//   sizes_shown_ms   for the browsable page with sizes: its Size and Date
//                    columns filled, after the first rows
//   peak_rss_mib     the largest sum of the resident memory of the browser's
//                    processes, sampled every 20 ms from before navigation to
//                    half a second after the page was shown (and its sizes
//                    filled in); each process
//                    counts the libraries it shares with the others again
//   peak_pss_mib     the same with shared pages divided among the processes
//                    that share them (Pss): what the browser takes of memory
//   search_ms TEXT MS HITS  for each SEARCH, on the browsable page: from the
//                    search asked for (Enter in the field) to its hits painted,
//                    and how many names it found
//   open_all_ms      with --sort, on the browsable page: every folder opened
//                    (* on the root)
//   sort_name_ms     then, from a click on the Name head to the rows drawn
//                    in that order
//   sort_longest_task_ms  the longest the page was unresponsive meanwhile
//                    (the longest task of 50 ms or more; 0 if none)
// Times are the browser's own (Navigation and Paint Timing), so they hold
// whatever the driver costs.

#include "headlessbrowser.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <thread>
#include <vector>

namespace {

// The browser's process and every process below it.
std::vector<long> processTree(long top)
{
    std::map<long, std::vector<long>> children;
    for (const QString &entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const long pid = entry.toLong(&number);
        if (!number)
            continue;
        std::ifstream stat("/proc/" + entry.toStdString() + "/stat");
        std::string line;
        std::getline(stat, line);
        // The parent follows the name, which is in parentheses and may hold blanks.
        const auto close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        char state = 0;
        long parent = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &parent) == 2)
            children[parent].push_back(pid);
    }
    std::vector<long> tree = {top};
    for (std::size_t i = 0; i < tree.size(); ++i)
        for (long child : children[tree[i]])
            tree.push_back(child);
    return tree;
}

struct Memory
{
    double resident = 0; // MiB
    double proportional = 0;
};

// The Rss and Pss lines of each process's smaps_rollup, summed.
Memory memoryOf(const std::vector<long> &processes)
{
    Memory sum;
    for (long pid : processes) {
        std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
        std::string line;
        double kib = 0;
        while (std::getline(rollup, line)) {
            if (std::sscanf(line.c_str(), "Rss: %lf", &kib) == 1)
                sum.resident += kib / 1024;
            else if (std::sscanf(line.c_str(), "Pss: %lf", &kib) == 1)
                sum.proportional += kib / 1024;
        }
    }
    return sum;
}

// Samples the browser's memory on a thread of its own until stopped.
class MemorySampler
{
public:
    explicit MemorySampler(long browser)
        : m_thread([this, browser] {
            while (!m_stop) {
                const Memory now = memoryOf(processTree(browser));
                m_peak.resident = std::max(m_peak.resident, now.resident);
                m_peak.proportional = std::max(m_peak.proportional, now.proportional);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        })
    {
    }
    Memory stop()
    {
        m_stop = true;
        m_thread.join();
        return m_peak;
    }

private:
    std::atomic<bool> m_stop{false};
    Memory m_peak; // written by the thread until it is joined
    std::thread m_thread;
};

const char searchScript[] = R"js(
new Promise(resolve => {
    const field = document.getElementById('search-field');
    field.value = %1;
    const started = performance.now();
    field.dispatchEvent(new KeyboardEvent('keydown', {key: 'Enter', bubbles: true}));
    requestAnimationFrame(() => setTimeout(() => resolve([performance.now() - started,
        document.getElementById('search-summary').textContent]), 0));
}))js";

// Opens every folder, then sorts by name; gives the times and the longest
// task. A page that sorts in slices marks its head busy until done.
const char sortScript[] = R"js(
new Promise(resolve => {
    const tree = document.getElementById('tree');
    tree.focus();
    let started = performance.now();
    for (const key of ['Home', '*'])
        tree.dispatchEvent(new KeyboardEvent('keydown', {key: key, bubbles: true}));
    const opened = performance.now() - started;
    let longest = 0;
    new PerformanceObserver(list => list.getEntries().forEach(task => { longest = Math.max(longest, task.duration); }))
        .observe({type: 'longtask'});
    const head = document.querySelector('#columns [data-order=name]');
    started = performance.now();
    head.click();
    const settle = () => {
        if (head.getAttribute('aria-busy') === 'true')
            return requestAnimationFrame(settle);
        const sorted = performance.now() - started;
        // A long task is reported once it has ended.
        setTimeout(() => resolve([opened, sorted, longest]), 200);
    };
    requestAnimationFrame(settle);
}))js";

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QStringList arguments = application.arguments().mid(1);
    const bool sort = arguments.size() > 1 && arguments[1] == "--sort";
    if (sort)
        arguments.removeAt(1);
    if (arguments.isEmpty()) {
        std::fprintf(stderr, "usage: velmora-pagebench PAGE [--sort] [SEARCH...]\n");
        return 2;
    }
    HeadlessBrowser browser;
    if (!browser.isReady()) {
        std::fprintf(stderr, "velmora-pagebench: %s\n", qPrintable(browser.failure()));
        return 1;
    }
    browser.call("Emulation.setDeviceMetricsOverride",
                 {{"width", 1280}, {"height", 900}, {"deviceScaleFactor", 1}, {"mobile", false}});
    MemorySampler memory(browser.processId());
    const QString url = QUrl::fromLocalFile(QFileInfo(arguments[0]).absoluteFilePath()).toString(QUrl::FullyEncoded);
    bool shown = browser.load(url, 600000);
    const bool browsable = shown && browser.evaluate("document.getElementById('map-data') !== null").toBool();
    if (browsable)
        shown = browser.waitUntil("performance.getEntriesByName('tree-drawn').length > 0", 600000);
    // A page with sizes reads them after its first rows (and removes them).
    if (shown)
        shown = browser.waitUntil("performance.getEntriesByName('sizes-shown').length > 0 || (document.readyState !== 'loading'"
                                  " && !(document.getElementById('size-data') || {}).textContent)",
                                  600000);
    const bool sized = shown && browser.evaluate("performance.getEntriesByName('sizes-shown').length > 0").toBool();
    // What the browser still does after the load event (layout, paint) counts too.
    browser.evaluate("new Promise(resolve => requestAnimationFrame(() => setTimeout(resolve, 500)))");
    const Memory peak = memory.stop();
    if (!shown) {
        std::fprintf(stderr, "velmora-pagebench: %s\n", qPrintable(browser.failure()));
        return 1;
    }
    const QJsonArray times = browser.evaluate(R"js([
        (performance.getEntriesByName('first-contentful-paint')[0] || {startTime: -1}).startTime,
        performance.getEntriesByType('navigation')[0].loadEventEnd,
        (performance.getEntriesByName('tree-drawn')[0] || {startTime: -1}).startTime,
        (performance.getEntriesByName('sizes-shown')[0] || {startTime: -1}).startTime])js").toArray();
    std::printf("first_paint_ms %.1f\nload_ms %.1f\n", times[0].toDouble(), times[1].toDouble());
    if (browsable)
        std::printf("tree_drawn_ms %.1f\n", times[2].toDouble());
    if (sized)
        std::printf("sizes_shown_ms %.1f\n", times[3].toDouble());
    std::printf("peak_rss_mib %.1f\npeak_pss_mib %.1f\n", peak.resident, peak.proportional);
    for (const QString &text : arguments.mid(1)) {
        if (!browsable)
            break;
        const QString literal = QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
        const QJsonArray result = browser.evaluate(QString(searchScript).arg(literal)).toArray();
        // "No name found", "1 name found", "12,345 names found"
        const QString found = result[1].toString().section(' ', 0, 0).remove(',');
        std::printf("search_ms %s %.1f %s\n", qPrintable(text), result[0].toDouble(),
                    qPrintable(found == "No" ? "0" : found));
    }
    if (sort && browsable) {
        const QJsonArray result = browser.evaluate(sortScript, 600000).toArray();
        std::printf("open_all_ms %.1f\nsort_name_ms %.1f\nsort_longest_task_ms %.1f\n", result[0].toDouble(),
                    result[1].toDouble(), result[2].toDouble());
    }
    std::fflush(stdout);
    return browser.isReady() ? 0 : 1;
}
