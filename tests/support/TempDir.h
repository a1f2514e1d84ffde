#pragma once
#include <string>

// A fresh directory under the temporary folder, removed with its contents
// when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return directory; } // ends in a backslash
    std::string file(const std::string& name) const { return directory + name; }

  private:
    std::string directory;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);
