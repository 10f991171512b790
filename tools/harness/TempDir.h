#pragma once

#include <filesystem>
#include <string>

namespace harness {

// A fresh directory, removed with everything in it; its own permissions are restored first, so a test
// may make it read-only. Memory-backed ones live on /dev/shm when there is one: every store commit
// syncs, which costs ~15-25 ms on a disk, and some tests make thousands. The SQLite file is real
// either way.
class TempDir {
  public:
    enum class Backing { Disk, Memory };

    explicit TempDir(Backing backing = Backing::Disk);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // The form the store takes: the directory's name ending in '/'.
    std::string ModuleDir() const { return m_path.string() + "/"; }
    std::filesystem::path Rcd() const { return m_path / "rcd"; }

  private:
    std::filesystem::path m_path;
};

// A file's bytes ("" when it cannot be read).
std::string ReadFile(const std::filesystem::path& path);
// Writes `bytes` as the whole file, creating the folders above it.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

}  // namespace harness
