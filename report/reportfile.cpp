#include "reportfile.h"

#include "outputfile.h"

int writeFile(const std::string &path, const std::string &content, QString *reason)
{
    OutputFile file(path);
    if (file.write(content) && file.commit())
        return 1;
    if (reason)
        *reason = QString::fromLocal8Bit(file.errorString());
    return 0;
}
