// TempDir: mkdtemp on creation, recursive removal on destruction.
#include "support/tempdir.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace support {

TempDir::TempDir() {
    const char *pBase = std::getenv("TMPDIR");
    std::string sTemplate = std::string(pBase && *pBase ? pBase : "/tmp") + "/pelimund-test-XXXXXX";
    std::vector<char> aName(sTemplate.begin(), sTemplate.end());
    aName.push_back('\0');
    if (!::mkdtemp(aName.data()))
        throw std::runtime_error("TempDir: cannot create " + sTemplate);
    sPath = aName.data();
}

TempDir::~TempDir() {
    // Best effort: a test that left a read-only folder behind must not
    // leave it on the disk, nor turn its own failure into a crash here.
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::permissions(sPath, fs::perms::owner_all, fs::perm_options::add, ec);
    for (fs::recursive_directory_iterator
             it(sPath, fs::directory_options::skip_permission_denied, ec),
         end;
         !ec && it != end; it.increment(ec)) {
        if (it->is_directory(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(sPath, ec);
}

} // namespace support
