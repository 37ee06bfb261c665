// TempFolder: a fresh, empty folder under /tmp for one test, removed with
// everything in it when the test is done.
#pragma once

#include <string>

class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder's absolute path; empty when it could not be made.
    const std::string& path() const { return folder; }
    // path() + "/" + name.
    std::string file(const std::string& name) const { return folder + "/" + name; }

  private:
    std::string folder;
};
