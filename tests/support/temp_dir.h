#pragma once
// A fresh folder under the system's temporary directory, removed with all
// its contents when the object goes.

#include <string>

namespace testing_support {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() joined with a relative name ('/' separated), in this system's
    // spelling ('/' made '\\' on Windows).
    std::string Sub(const std::string& relative) const;
    // Writes a file below the folder, creating its folders.
    void Write(const std::string& relative, const std::string& bytes) const;
    // The whole content of a file below the folder ("" when missing).
    std::string Read(const std::string& relative) const;

  private:
    std::string path_;
};

}  // namespace testing_support
