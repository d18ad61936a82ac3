#include "mountpoints.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

// Mount points are written with octal escapes for blanks and the like.
std::string unescape(const std::string &field)
{
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string::npos) {
                text.push_back(char(std::stoi(digits, nullptr, 8)));
                i += 3;
                continue;
            }
        }
        text.push_back(field[i]);
    }
    return text;
}

} // namespace

MountPoints::MountPoints()
{
    std::ifstream table("/proc/self/mountinfo");
    if (!table)
        return;
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPoint;
        if (!(fields >> id >> parent >> device >> root >> mountPoint))
            return;
        const std::string path = unescape(mountPoint);
        if (path == "/")
            continue;
        const std::size_t slash = path.rfind('/');
        const std::string holder = slash == 0 ? "/" : path.substr(0, slash);
        struct stat status;
        if (::stat(holder.c_str(), &status) != 0)
            continue; // out of reach by this path, and so for the walks too
        m_holders.insert({status.st_dev, status.st_ino});
    }
    m_known = true;
}

bool MountPoints::mayHoldMountPoint(const DirectoryIdentity &directory) const
{
    return !m_known || m_holders.count(directory) > 0;
}
