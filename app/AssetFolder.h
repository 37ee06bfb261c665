// AssetFolder: where the program and the simulator look for the generated
// files. A folder given with --assets is used as it is. Otherwise the working
// directory is used when it holds any of the files, then share/dravonel of an
// installed copy (found beside the running executable) when it holds them,
// and failing both the working directory again, so that the failure names it
// and the hint says where to look.
#pragma once

#include <string>

class AssetFolder {
  public:
    // Chooses the folder; `given` is the --assets value, empty when none.
    void choose(const std::string& given);
    // The prefix for TruckApp::setAssetDirectory: "" for the working directory.
    const std::string& path() const { return folder; }

    // For a failed start: when the files were looked for in the working
    // directory without --assets and some are missing there, a clause naming
    // that folder and suggesting an --assets folder; otherwise "".
    std::string missingFilesHint() const;

    // The twelve files the program loads.
    static const int fileCount = 12;
    static const char* const fileNames[fileCount];

  private:
    std::string folder;
    bool given = false;
};
