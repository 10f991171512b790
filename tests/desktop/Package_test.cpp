// The Debian packages of this build as `cpack -G DEB` makes them: their names and files, what Debian's
// own checks say of them, the menu entry and metadata, the manual pages, and the program started from
// the unpacked files by an ordinary user, whose items land in the data folder.
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include "OtherUser.h"
#include "tools/harness/ChildProcess.h"
#include "tools/harness/Command.h"
#include "tools/harness/RawDb.h"
#include "tools/harness/TempDir.h"
#include "tools/harness/desktop/XDesktop.h"

namespace desktoptest {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace harness;

class PackageTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = std::make_unique<TempDir>();
        const std::string arch = RunCommand({"dpkg", "--print-architecture"}).out;
        for (const char* name : {"deals-notifier", "deals-notifier-sample-feed"})
            s_debs[name] = fs::path(NOTIFIER_PACKAGE_DIR) /
                           (name + ("_" NOTIFIER_VERSION "_" + arch.substr(0, arch.find('\n'))) + ".deb");
        s_deb = s_debs["deals-notifier"];
        s_root = s_dir->Path() / "root";
        s_unpacked = true;
        for (const auto& [name, deb] : s_debs)
            s_unpacked =
                s_unpacked && RunCommand({"dpkg-deb", "-x", deb.string(), s_root.string()}).exitCode == 0;
        // As installed: the program's folder is one its user cannot write.
        fs::permissions(s_dir->Path(), fs::perms::owner_all | fs::perms::others_exec);
        if (s_unpacked)
            fs::permissions(s_root / "usr/lib/deals-notifier", fs::perms::owner_write,
                            fs::perm_options::remove);
    }
    static void TearDownTestSuite() { s_dir.reset(); }
    void SetUp() override { ASSERT_TRUE(s_unpacked) << "cannot unpack " << s_deb; }

    static fs::path Unpacked(const std::string& path) { return s_root / path; }

    static inline std::unique_ptr<TempDir> s_dir;
    static inline std::map<std::string, fs::path> s_debs;  // by package name
    static inline fs::path s_deb;                          // the notifier's
    static inline fs::path s_root;
    static inline bool s_unpacked = false;
};

// Width and height from a picture file's header.
std::pair<int, int> PngSize(const fs::path& file) {
    int width = 0, height = 0;
    gdk_pixbuf_get_file_info(file.c_str(), &width, &height);
    return {width, height};
}

std::set<std::string> FilesOf(const fs::path& deb) {
    std::set<std::string> files;
    std::istringstream listing(RunCommand({"dpkg-deb", "-c", deb.string()}).out);
    for (std::string line; std::getline(listing, line);) {
        const auto at = line.find(" ./");
        if (line.starts_with('d') || at == std::string::npos) continue;
        files.insert(line.substr(0, 10) + " " + line.substr(at + 3));
    }
    return files;
}

TEST_F(PackageTest, HoldTheProgramsTheirDocumentsTheMenuEntryAndIconsAndNothingElse) {
    EXPECT_EQ(FilesOf(s_deb), (std::set<std::string>{
                                  "lrwxrwxrwx usr/bin/deals-notifier -> ../lib/deals-notifier/deals-notifier",
                                  "-rwxr-xr-x usr/lib/deals-notifier/deals-notifier",
                                  "-rw-r--r-- usr/share/applications/deals-notifier.desktop",
                                  "-rw-r--r-- usr/share/doc/deals-notifier/THIRD-PARTY-NOTICES",
                                  "-rw-r--r-- usr/share/doc/deals-notifier/changelog.gz",
                                  "-rw-r--r-- usr/share/doc/deals-notifier/copyright",
                                  "-rw-r--r-- usr/share/icons/hicolor/128x128/apps/deals-notifier.png",
                                  "-rw-r--r-- usr/share/icons/hicolor/48x48/apps/deals-notifier.png",
                                  "-rw-r--r-- usr/share/man/man1/deals-notifier.1.gz",
                                  "-rw-r--r-- usr/share/metainfo/org.example.deals_notifier.metainfo.xml",
                              }));
    EXPECT_EQ(FilesOf(s_debs["deals-notifier-sample-feed"]),
              (std::set<std::string>{
                  "-rwxr-xr-x usr/bin/deals-notifier-sample-feed",
                  "-rw-r--r-- usr/share/doc/deals-notifier-sample-feed/changelog.gz",
                  "-rw-r--r-- usr/share/doc/deals-notifier-sample-feed/copyright",
                  "-rw-r--r-- usr/share/man/man1/deals-notifier-sample-feed.1.gz",
              }));
    EXPECT_EQ(PngSize(Unpacked("usr/share/icons/hicolor/48x48/apps/deals-notifier.png")),
              std::make_pair(48, 48));
    EXPECT_EQ(PngSize(Unpacked("usr/share/icons/hicolor/128x128/apps/deals-notifier.png")),
              std::make_pair(128, 128));
    for (const char* program :
         {"usr/lib/deals-notifier/deals-notifier", "usr/bin/deals-notifier-sample-feed"})
        EXPECT_NE(RunCommand({"file", "-b", Unpacked(program).string()}).out.find(", stripped"),
                  std::string::npos)
            << program;
}

TEST_F(PackageTest, DependsOnItsLibrariesAndACjkFontButNoTestTool) {
    const std::string control = RunCommand({"dpkg-deb", "-f", s_deb.string(), "Package", "Depends"}).out;
    EXPECT_TRUE(control.starts_with("Package: deals-notifier\nDepends: ")) << control;
    for (const char* needed :
         {"fonts-wqy-zenhei", "libwebkit2gtk-4.1-0", "libgtk-3-0", "libsqlite3-0", "libcurl4"})
        EXPECT_NE(control.find(needed), std::string::npos) << needed << " missing from " << control;
    for (const char* tool : {"gtest", "gmock", "xvfb", "xdotool", "-dev", "httplib"})
        EXPECT_EQ(control.find(tool), std::string::npos) << tool << " in " << control;
}

// Informational and pedantic tags may stay; errors and warnings may not.
TEST_F(PackageTest, LintianFindsNoErrorsOrWarnings) {
    for (const auto& [name, deb] : s_debs) {
        const CommandResult lintian = RunCommand({"lintian", "--no-tag-display-limit", deb.string()});
        EXPECT_NE(lintian.exitCode, -1) << name;
        std::istringstream lines(lintian.out);
        for (std::string line; std::getline(lines, line);)
            EXPECT_FALSE(line.starts_with("E: ") || line.starts_with("W: ")) << line;
    }
}

TEST_F(PackageTest, MetadataIsValidAndLaunchesTheMenuEntry) {
    const fs::path metainfo = Unpacked("usr/share/metainfo/org.example.deals_notifier.metainfo.xml");
    const CommandResult check = RunCommand({"appstreamcli", "validate", "--no-net", metainfo.string()});
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    for (const char* issue : {"E: ", "W: "}) EXPECT_EQ(check.out.find(issue), std::string::npos) << check.out;
    const std::string text = ReadFile(metainfo);
    for (const char* part : {"<launchable type=\"desktop-id\">deals-notifier.desktop</launchable>",
                             "<name>Deals notifier</name>", "<name xml:lang=\"zh-CN\">优惠提醒</name>"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
}

// man renders each page without a warning, and the notifier's names its files and variables.
TEST_F(PackageTest, ManualPagesRenderCleanly) {
    for (const char* page :
         {"usr/share/man/man1/deals-notifier.1.gz", "usr/share/man/man1/deals-notifier-sample-feed.1.gz"}) {
        const CommandResult man = RunCommand(
            {"env", "LC_ALL=C.UTF-8", "MANWIDTH=80", "man", "--warnings", "-l", Unpacked(page).string()});
        EXPECT_EQ(man.exitCode, 0) << page;
        EXPECT_EQ(man.err, "") << page;
        EXPECT_NE(man.out.find("SYNOPSIS"), std::string::npos) << page;
        if (std::string_view(page).find("sample") != std::string_view::npos) continue;
        for (const char* part : {"FILES", "ENVIRONMENT", "settings.ini", "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                                 "NOTIFIER_DEBUG", "rcd", "Image"})
            EXPECT_NE(man.out.find(part), std::string::npos) << part;
    }
}

TEST_F(PackageTest, MenuEntryIsValidAndStartsTheProgramByName) {
    const fs::path entry = Unpacked("usr/share/applications/deals-notifier.desktop");
    const CommandResult check = RunCommand({"desktop-file-validate", entry.string()});
    EXPECT_EQ(check.exitCode, 0);
    EXPECT_EQ(check.out + check.err, "");
    const std::string text = ReadFile(entry);
    for (const char* line :
         {"\nExec=deals-notifier\n", "\nIcon=deals-notifier\n", "\nStartupWMClass=deals-notifier\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST_F(PackageTest, ProgramFromThePackageKeepsTheSampleFeedsItemsInTheDataFolder) {
    if (!XDesktop::HasDisplay()) GTEST_SKIP() << "needs an X server";
    if (std::string_view(NOTIFIER_PACKAGE_FEED_URL) != "http://127.0.0.1:8088/")
        GTEST_SKIP() << "this build's package polls " << NOTIFIER_PACKAGE_FEED_URL << ", not the sample feed";

    const fs::path home = s_dir->Path() / "home";
    fs::create_directories(home);
    std::vector<std::string> env{"HOME=" + home.string(), "DISPLAY=" + std::string(std::getenv("DISPLAY")),
                                 "LANG=C.UTF-8", "NO_AT_BRIDGE=1", "PATH=/usr/bin:/bin"};
    // The X server's cookie, readable by the other user.
    const char* auth = std::getenv("XAUTHORITY");
    const fs::path cookie =
        auth ? fs::path(auth) : fs::path(std::getenv("HOME") ? std::getenv("HOME") : "") / ".Xauthority";
    if (fs::is_regular_file(cookie)) {
        fs::copy_file(cookie, home / ".Xauthority");
        env.push_back("XAUTHORITY=" + (home / ".Xauthority").string());
    }
    HandOver(home);

    // Each in a process group of its own, ended with all it started.
    ChildOptions options;
    options.appendLog = false;
    options.ownGroup = true;
    options.log = s_dir->Path() / "feed.log";
    ChildProcess feed({Unpacked("usr/bin/deals-notifier-sample-feed").string(), "8088"}, options);
    ASSERT_TRUE(feed.Started());
    const fs::path log = options.log = s_dir->Path() / "notifier.log";
    ChildProcess notifier(
        AsOtherUser(home, env, {"dbus-run-session", "--", Unpacked("usr/bin/deals-notifier").string()}),
        options);
    ASSERT_TRUE(notifier.Started());

    const fs::path dataDir = home / ".local/share/deals-notifier";
    std::vector<RcdRow> rows;
    const bool stored = WaitFor(
        [&] {
            rows = RawDb(dataDir / "rcd", RawDb::Mode::ReadOnly).Items().value_or(std::vector<RcdRow>{});
            return rows.size() >= 5;
        },
        30s);
    ASSERT_TRUE(stored) << "rows: " << rows.size() << "\n"
                        << ReadFile(log) << ReadFile(s_dir->Path() / "feed.log");
    for (const auto& row : rows)
        EXPECT_TRUE(row.msg_url.starts_with("http://127.0.0.1:8088/deal/")) << row.msg_url;
    EXPECT_EQ(fs::status(dataDir).permissions(), fs::perms::owner_all);
    EXPECT_FALSE(fs::exists(Unpacked("usr/lib/deals-notifier/rcd")));
}

}  // namespace
}  // namespace desktoptest
