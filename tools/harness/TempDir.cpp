#include "tools/harness/TempDir.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace harness {

namespace fs = std::filesystem;

TempDir::TempDir(Backing backing) {
    fs::path root = fs::temp_directory_path();
    std::error_code ec;
    if (backing == Backing::Memory && fs::is_directory("/dev/shm", ec)) root = "/dev/shm";
    std::string pattern = (root / "notifier-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed in " + root.string());
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::error_code ec;
    if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace harness
