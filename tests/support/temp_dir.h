// A fresh folder for one test, under $TAV_TEST_TMP when set, removed with
// everything in it at the end.
#pragma once

#include <string>
#include <vector>

namespace tav::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const;
    // Names of the entries directly inside, sorted.
    std::vector<std::string> List() const;

  private:
    std::string path_;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);

}  // namespace tav::test
