// TempDir: a fresh temporary folder for one test, removed with everything
// in it when the object goes.
#pragma once

#include <string>

namespace support {

// Created under $TMPDIR (or /tmp) with a unique name; throws
// std::runtime_error when that fails. Not copyable.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &getPath() const { return sPath; }
    // The path of sName inside the folder (nothing is created).
    std::string getFilePath(const std::string &sName) const { return sPath + "/" + sName; }

private:
    std::string sPath;
};

} // namespace support
