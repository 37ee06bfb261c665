// dravonel-assets: writes every file the program loads into the folder given
// as the only argument.
#include "tools/assets/TruckModel.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dravonel-assets OUTPUT_DIR\n");
        return 2;
    }
    std::string dir = argv[1];
    TruckModel truck;
    std::string reason;
    if (!truck.validate(reason)) {
        std::fprintf(stderr, "dravonel-assets: truck model: %s\n", reason.c_str());
        return 1;
    }
    std::string text = truck.toText();
    std::string path = dir + "/Modell.txt";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        return 1;
    }
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return 0;
}
