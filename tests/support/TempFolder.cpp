// TempFolder on mkdtemp and rm -rf (run as an outside tool, see runTool).
#include "tests/support/TempFolder.h"

#include "tests/support/X11Windows.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

TempFolder::TempFolder() {
    char pattern[] = "/tmp/dravonel-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    folder = made != nullptr ? made : "";
}

TempFolder::~TempFolder() {
    if (folder.empty()) {
        return;
    }
    const std::string command = "rm -rf '" + folder + "'";
    if (runTool(command) != 0) {
        std::fprintf(stderr, "could not remove %s\n", folder.c_str());
    }
}
