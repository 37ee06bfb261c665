// AssetFolder: choosing the folder of the generated files and the hint for
// a start without them.
#include "app/AssetFolder.h"

#include <climits>
#include <cstdlib>
#include <string>
#include <unistd.h>

#ifndef DRAVONEL_SHARE_FROM_BIN
// Where an installed copy keeps its files, relative to its executable.
#define DRAVONEL_SHARE_FROM_BIN "../share/dravonel"
#endif

namespace {

bool exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

// How many of the files `prefix` ("" or a folder ending in '/') holds.
int filesIn(const std::string& prefix) {
    int count = 0;
    for (const char* name : AssetFolder::fileNames) {
        count += exists(prefix + name) ? 1 : 0;
    }
    return count;
}

// The folder of the running executable, ending in '/'; "" when unknown.
std::string executableFolder() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) {
        return "";
    }
    const std::string executable(path, static_cast<size_t>(length));
    return executable.substr(0, executable.rfind('/') + 1);
}

std::string workingDirectory() {
    char path[PATH_MAX];
    return getcwd(path, sizeof(path)) != nullptr ? std::string(path) : std::string(".");
}

} // namespace

const char* const AssetFolder::fileNames[AssetFolder::fileCount] = {
    "isampler48.bmp", "gray_structure.bmp",    "leather.bmp",   "desert_rt.bmp",
    "desert_bk.bmp",  "desert_lf.bmp",         "desert_ft.bmp", "desert_up.bmp",
    "desert_dn.bmp",  "chevy_nowheels_3c.3ds", "wheel.3ds",     "Modell.txt"};

void AssetFolder::choose(const std::string& givenFolder) {
    given = !givenFolder.empty();
    folder = givenFolder;
    if (given) {
        if (folder.back() != '/') {
            folder += '/';
        }
        return;
    }
    if (filesIn("") > 0) {
        return;
    }
    const std::string executable = executableFolder();
    const std::string installed = executable + DRAVONEL_SHARE_FROM_BIN "/";
    if (!executable.empty() && filesIn(installed) == fileCount) {
        folder = installed;
    }
}

std::string AssetFolder::missingFilesHint() const {
    if (given || !folder.empty() || filesIn("") == fileCount) {
        return "";
    }
    const std::string cwd = workingDirectory();
    // Where the files are: assets/ beside the executable in a build tree,
    // share/dravonel of an installed copy; shown as seen from here.
    std::string suggestion = "build/assets";
    const std::string executable = executableFolder();
    for (const char* relative : {"assets", DRAVONEL_SHARE_FROM_BIN}) {
        char resolved[PATH_MAX];
        const std::string candidate = executable + relative;
        if (!executable.empty() && filesIn(candidate + "/") == fileCount &&
            realpath(candidate.c_str(), resolved) != nullptr) {
            suggestion = resolved;
            break;
        }
    }
    const std::string here = cwd + "/";
    if (suggestion.compare(0, here.size(), here) == 0) {
        suggestion = suggestion.substr(here.size());
    }
    return " (looked in " + cwd + "; try --assets " + suggestion + ")";
}
