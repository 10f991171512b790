// Where the notifier keeps rcd and Image. A copy of a probe that opens the store as the notifier does
// runs from an executable folder of each kind, as an unprivileged user.
#include <sys/stat.h>

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "OtherUser.h"
#include "store/ItemStore.h"
#include "tests/support/CaseName.h"
#include "tests/support/StoreContents.h"
#include "tools/harness/Command.h"
#include "tools/harness/TempDir.h"

namespace desktoptest {
namespace {

namespace fs = std::filesystem;
using namespace harness;
using namespace test_support;

enum class Place { ExeFolder, XdgDataHome, HomeDefault };
enum class LeftRcd { None, InFolder, ReadOnly };

struct ModuleDirCase {
    std::string name;
    bool exeFolderWritable;
    LeftRcd left;
    std::optional<std::string> xdgDataHome;  // nullopt: unset; a leading '@' stands for the test folder
    Place expected;
};
void PrintTo(const ModuleDirCase& c, std::ostream* os) { *os << c.name; }

class ModuleDirectoryTest : public ::testing::TestWithParam<ModuleDirCase> {
  protected:
    void SetUp() override {
        fs::create_directories(m_exeDir);
        fs::create_directories(m_home);
        fs::copy_file(NOTIFIER_MODULE_DIR_PROBE, m_exeDir / "probe");
        if (GetParam().left != LeftRcd::None) {
            ASSERT_TRUE(ItemStore(m_exeDir.string() + "/").InsertItem(MakeItem("left behind")));
            fs::remove(m_exeDir / "Image");
            if (GetParam().left == LeftRcd::ReadOnly)
                fs::permissions(m_exeDir / "rcd", fs::perms::owner_read);
            m_leftBytes = ReadFile(m_exeDir / "rcd");
        }
        HandOver(m_dir.Path());
        fs::permissions(m_dir.Path(), fs::perms::owner_all | fs::perms::others_exec);
        if (!GetParam().exeFolderWritable)
            fs::permissions(m_exeDir, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                          fs::perms::others_exec);
    }
    void TearDown() override { fs::permissions(m_exeDir, fs::perms::owner_all, fs::perm_options::add); }

    std::string Expected() const {
        switch (GetParam().expected) {
            case Place::ExeFolder:
                return m_exeDir.string() + "/";
            case Place::XdgDataHome:
                return XdgDataHome() + "/deals-notifier/";
            case Place::HomeDefault:
                return m_home.string() + "/.local/share/deals-notifier/";
        }
        return {};
    }
    std::string XdgDataHome() const {
        const std::string& value = *GetParam().xdgDataHome;
        return value.starts_with('@') ? m_dir.Path().string() + value.substr(1) : value;
    }
    CommandResult RunProbe() const {
        std::vector<std::string> env{"HOME=" + m_home.string()};
        if (GetParam().xdgDataHome) env.push_back("XDG_DATA_HOME=" + XdgDataHome());
        return RunCommand(AsOtherUser(m_dir.Path(), env, {(m_exeDir / "probe").string()}));
    }

    TempDir m_dir;
    fs::path m_exeDir = m_dir.Path() / "opt" / "notifier";
    fs::path m_home = m_dir.Path() / "home";
    std::string m_leftBytes;
};

TEST_P(ModuleDirectoryTest, StoreOpensInTheChosenFolder) {
    const CommandResult run = RunProbe();
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string expected = Expected();
    EXPECT_EQ(run.out, expected + "\nready\n") << run.err;
    EXPECT_TRUE(fs::is_regular_file(expected + "rcd"));
    EXPECT_TRUE(fs::is_directory(expected + "Image"));
    if (GetParam().expected == Place::ExeFolder) {
        EXPECT_FALSE(fs::exists(m_dir.Path() / "xdg") || fs::exists(m_home / ".local"));
        return;
    }

    struct stat info {};
    ASSERT_EQ(stat(expected.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u) << "the data folder is private to its user";
    EXPECT_FALSE(fs::exists(m_exeDir / "Image")) << "nothing is written beside the executable";
    EXPECT_FALSE(fs::exists(m_dir.Path() / "data")) << "a relative XDG_DATA_HOME is not followed";
    if (GetParam().left == LeftRcd::None)
        EXPECT_FALSE(fs::exists(m_exeDir / "rcd"));
    else
        EXPECT_EQ(ReadFile(m_exeDir / "rcd"), m_leftBytes)
            << "the rcd left beside the executable is untouched";
}

const ModuleDirCase kCases[] = {
    {"WritableExeFolder", true, LeftRcd::None, "@/xdg", Place::ExeFolder},
    {"WritableExeFolderWithItsRcd", true, LeftRcd::InFolder, "@/xdg", Place::ExeFolder},
    {"ReadOnlyExeFolderXdgDataHomeWithMissingParents", false, LeftRcd::None, "@/xdg/deep/share",
     Place::XdgDataHome},
    {"ReadOnlyExeFolderXdgDataHomeUnset", false, LeftRcd::None, std::nullopt, Place::HomeDefault},
    {"ReadOnlyExeFolderXdgDataHomeEmpty", false, LeftRcd::None, "", Place::HomeDefault},
    {"ReadOnlyExeFolderXdgDataHomeRelative", false, LeftRcd::None, "data", Place::HomeDefault},
    {"RcdLeftInReadOnlyExeFolderIsNotUsed", false, LeftRcd::InFolder, "@/xdg", Place::XdgDataHome},
    {"ReadOnlyRcdInWritableExeFolderIsNotUsed", true, LeftRcd::ReadOnly, "@/xdg", Place::XdgDataHome},
};
INSTANTIATE_TEST_SUITE_P(Folders, ModuleDirectoryTest, ::testing::ValuesIn(kCases), CaseName{});

}  // namespace
}  // namespace desktoptest
