#include "excludepatterns.h"

#include "scopeddescriptor.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// The whole of the file, or the error (an errno value) that stopped it.
int readWhole(const std::string &path, std::string &text)
{
    ScopedDescriptor opened(path == "-" ? -1 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (path != "-" && !opened.isValid())
        return errno;
    const int fd = path == "-" ? STDIN_FILENO : opened.get();
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0)
            return 0;
        if (got < 0 && errno != EINTR)
            return errno;
        if (got > 0)
            text.append(buffer, std::size_t(got));
    }
}

// One rule, from the command line or a line of a file (`where` says which).
std::string addRule(const std::string &rule, const std::string &where, std::vector<std::string> &patterns)
{
    if (rule == "!")
        patterns.clear();
    else if (rule == "- ")
        return "'" + rule + "'" + where + ": an exclude rule needs a pattern after '- '";
    else if (rule.compare(0, 2, "- ") == 0)
        patterns.push_back(rule.substr(2));
    else if (rule.compare(0, 2, "+ ") == 0)
        return "'" + rule + "'" + where + ": include rules are not supported, only exclude patterns";
    else
        patterns.push_back(rule);
    return {};
}

std::string addFile(const std::string &path, std::vector<std::string> &patterns)
{
    std::string text;
    if (const int error = readWhole(path, text))
        return "cannot read exclude patterns from '" + path + "': " + std::strerror(error);
    std::size_t lineNumber = 0;
    for (std::size_t begin = 0; begin < text.size(); ++lineNumber) {
        const std::size_t end = std::min(text.find('\n', begin), text.size());
        // A carriage return ends a pattern too, as in a file written on Windows.
        for (std::size_t piece = begin; piece < end;) {
            const std::size_t pieceEnd = std::min(text.find('\r', piece), end);
            // A zero byte ends the pattern, as in rsync, which reads C strings.
            std::string rule = text.substr(piece, pieceEnd - piece);
            rule.resize(std::min(rule.find('\0'), rule.size()));
            piece = pieceEnd + 1;
            if (rule.empty() || rule.front() == '#' || rule.front() == ';')
                continue;
            const std::string problem = addRule(rule, " (line " + std::to_string(lineNumber + 1) + " of '" + path + "')", patterns);
            if (!problem.empty())
                return problem;
        }
        begin = end + 1;
    }
    return {};
}

} // namespace

std::string collectExcludePatterns(const std::vector<ExcludeOption> &options, std::vector<std::string> &patterns)
{
    for (const ExcludeOption &option : options) {
        const std::string problem = option.fromFile ? addFile(option.argument, patterns)
                                                    : addRule(option.argument, std::string(), patterns);
        if (!problem.empty())
            return problem;
    }
    return {};
}
