// The store under faults: a file locked by another connection, a read-only directory, a file that is
// not a database, and a poller killed in the middle of storing.
#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "feed/FeedDownload.h"
#include "feed/FeedPoller.h"
#include "tests/support/CaseName.h"
#include "tests/support/StoreContents.h"
#include "tools/harness/ChildProcess.h"
#include "tools/harness/RawDb.h"
#include "tools/harness/Rss.h"
#include "tools/harness/TempDir.h"
#include "tools/harness/loopback/FeedServer.h"

namespace hostile {
namespace {

namespace fs = std::filesystem;
using namespace harness;
using namespace test_support;

std::vector<RssItem> NumberedItems(const std::string& prefix, int count, size_t titleBytes = 8) {
    std::vector<RssItem> items;
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        items.push_back({prefix + " date " + n, prefix + " " + n + " " + std::string(titleBytes, 't'),
                         "http://deals.test/" + prefix + "/" + n, ""});
    }
    return items;
}

// ---- locked by another connection -------------------------------------------------------------------

struct LockCase {
    const char* name;
    std::vector<const char*> take;  // statements the other connection runs and keeps open
    bool listWorks;                 // whether the store can still read meanwhile
};

class LockedStore : public testing::TestWithParam<LockCase> {
  protected:
    // One poller for the whole test, as in the program: a poll that rolled back must not count as stored.
    void Poll() { m_poller.PollOnce({}); }

    TempDir m_dir;
    FeedServer m_server;
    ItemStore m_store{m_dir.ModuleDir()};
    FeedPoller m_poller{m_server.Url(), m_store};
};

TEST_P(LockedStore, PollsFailQuietlyAndStoreOnceTheLockIsGone) {
    ASSERT_TRUE(m_store.IsReady());
    m_server.SetBody(Rss(NumberedItems("before", 1)));
    Poll();
    const auto fresh = NumberedItems("fresh", 3);
    m_server.SetBody(Rss(fresh));
    {
        RawDb other(m_dir.Rcd());
        for (const char* sql : GetParam().take) other.Exec(sql);

        Poll();
        Poll();
        const auto listed = m_store.ListItems();
        EXPECT_EQ(listed.has_value(), GetParam().listWorks);
        if (listed) {
            EXPECT_EQ(listed->size(), 1u);
        }
        EXPECT_EQ(other.Scalar("select count(*) from items"), "1");
        other.Exec("COMMIT");
    }
    // Nothing of the refused polls is pending on the store's connection: a new connection sees one row.
    EXPECT_EQ(RawDb(m_dir.Rcd()).Scalar("select count(*) from items"), "1");

    Poll();
    RawDb after(m_dir.Rcd());
    EXPECT_EQ(after.Scalar("select count(*) from items"), "4");
    EXPECT_EQ(after.Scalar("select count(distinct msg_date) from items"), "4");
    EXPECT_EQ(after.Scalar("select msg_date from itemdate"), fresh.front().date);
    EXPECT_EQ(after.Scalar("PRAGMA integrity_check"), "ok");
    ASSERT_EQ(StoredRows(m_store).size(), 4u);
}

INSTANTIATE_TEST_SUITE_P(Locks, LockedStore,
                         testing::Values(LockCase{"Exclusive", {"BEGIN EXCLUSIVE"}, false},
                                         LockCase{"Reserved",
                                                  {"BEGIN IMMEDIATE", "insert into itemdate values('other')",
                                                   "delete from itemdate where msg_date='other'"},
                                                  true},
                                         LockCase{"Reader", {"BEGIN", "select count(*) from items"}, true}),
                         CaseName());

// Another process on the same file: a Python interpreter running `script` on it until its standard
// input closes. The script prints "ready" once it holds what it holds.
class SqliteProcess {
  public:
    SqliteProcess(const char* script, const fs::path& file)
        : m_child({"python3", "-c", script, file.string()}, Piped()) {
        std::string answer;
        char c = 0;
        while (m_child.Started() && answer.size() < 16 && read(m_child.Stdout(), &c, 1) == 1 && c != '\n') {
            answer += c;
        }
        m_ready = answer == "ready";
    }

    bool Ready() const { return m_ready; }
    // Ends the process, and with it the transaction; true when it exited normally. Its output stays
    // open until the end: a write into a pipe nobody reads would end the process early.
    bool Release() {
        m_child.CloseStdin();
        return m_child.Started() && m_child.Wait() == ExitStatus{true, 0};
    }

  private:
    static ChildOptions Piped() {
        ChildOptions options;
        options.pipeStdio = true;
        return options;
    }

    ChildProcess m_child;
    bool m_ready = false;
};

constexpr const char* kHoldExclusive =
    "import sqlite3, sys\n"
    "c = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
    "c.execute('BEGIN EXCLUSIVE')\n"
    "print('ready', flush=True)\n"
    "sys.stdin.read()\n";

// Short reads, one connection each, as the sqlite3 shell or a backup check makes them.
constexpr const char* kReadInALoop =
    "import select, sqlite3, sys\n"
    "print('ready', flush=True)\n"
    "while not select.select([sys.stdin], [], [], 0)[0]:\n"
    "    c = sqlite3.connect(sys.argv[1])\n"
    "    c.execute('select * from items').fetchall()\n"
    "    c.close()\n";

TEST_F(LockedStore, AnotherProcessHoldsTheLock) {
    ASSERT_TRUE(m_store.IsReady());
    m_server.SetBody(Rss(NumberedItems("before", 1)));
    Poll();
    m_server.SetBody(Rss(NumberedItems("fresh", 3)));
    SqliteProcess other(kHoldExclusive, m_dir.Rcd());
    if (!other.Ready()) GTEST_SKIP() << "no python3 with sqlite3 to hold the lock";

    Poll();
    EXPECT_FALSE(m_store.ListItems().has_value());
    ASSERT_TRUE(other.Release());
    EXPECT_EQ(RawDb(m_dir.Rcd()).Scalar("select count(*) from items"), "1");

    Poll();
    EXPECT_EQ(StoredRows(m_store).size(), 4u);
    EXPECT_EQ(RawDb(m_dir.Rcd()).Scalar("PRAGMA integrity_check"), "ok");
}

TEST_F(LockedStore, AReaderInATightLoopMakesNoWriteFail) {
    ASSERT_TRUE(m_store.IsReady());
    const auto items = NumberedItems("read", 1000);
    m_server.SetBody(Rss(items));
    SqliteProcess reader(kReadInALoop, m_dir.Rcd());
    if (!reader.Ready()) GTEST_SKIP() << "no python3 with sqlite3 to read the file";
    Poll();
    ASSERT_TRUE(reader.Release());
    // Newest first is the document's order, since items are stored last first.
    std::vector<std::string> dates;
    for (const auto& row : StoredRows(m_store)) dates.push_back(std::get<0>(row));
    std::vector<std::string> expected;
    for (const auto& item : items) expected.push_back(item.date);
    EXPECT_EQ(dates, expected);
}

// ---- read-only directory ----------------------------------------------------------------------------

// Makes a directory read-only for everyone. Root ignores permission bits, so there the immutable
// attribute stands in (it needs a file system that has it and CAP_LINUX_IMMUTABLE).
class ReadOnlyDir {
  public:
    explicit ReadOnlyDir(fs::path dir) : m_dir(std::move(dir)) {
        if (geteuid() != 0) {
            fs::permissions(m_dir, fs::perms::owner_read | fs::perms::owner_exec);
            m_how = "mode 0500";
        } else if (SetImmutable(true)) {
            m_how = "immutable attribute";
        }
        if (!m_how.empty() && CanCreate()) Undo();
    }
    ~ReadOnlyDir() { Undo(); }
    ReadOnlyDir(const ReadOnlyDir&) = delete;
    ReadOnlyDir& operator=(const ReadOnlyDir&) = delete;

    bool Active() const { return !m_how.empty(); }
    const std::string& How() const { return m_how; }

    void Undo() {
        if (m_how.empty()) return;
        if (geteuid() != 0) {
            fs::permissions(m_dir, fs::perms::owner_all);
        } else {
            SetImmutable(false);
        }
        m_how.clear();
    }

  private:
    bool SetImmutable(bool on) {
        const int fd = open(m_dir.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0) return false;
        int flags = 0;
        bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (ok) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            ok = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        close(fd);
        return ok;
    }
    bool CanCreate() const {
        const fs::path probe = m_dir / "probe";
        const int fd = open(probe.c_str(), O_CREAT | O_WRONLY, 0600);
        if (fd < 0) return false;
        close(fd);
        unlink(probe.c_str());
        return true;
    }

    fs::path m_dir;
    std::string m_how;
};

TEST(ReadOnlyDirectory, NoStoreCanBeCreatedAndPollsStoreNothing) {
    TempDir dir;
    ReadOnlyDir readOnly(dir.Path());
    if (!readOnly.Active()) GTEST_SKIP() << "no way to make a directory read-only here";
    FeedServer server;
    server.SetBody(Rss(NumberedItems("ro", 3)));
    ItemStore store(dir.ModuleDir());
    EXPECT_FALSE(store.IsReady()) << readOnly.How();
    FeedPoller(server.Url(), store).PollOnce({});
    EXPECT_FALSE(store.ListItems().has_value());
    EXPECT_EQ(server.FeedHits().size(), 1u);
    EXPECT_FALSE(fs::exists(dir.Rcd()));
    EXPECT_FALSE(fs::exists(dir.Path() / "Image"));
}

TEST(ReadOnlyDirectory, ExistingStoreListsButTakesNothingUntilWritableAgain) {
    TempDir dir;
    FeedServer server;
    server.SetBody(Rss(NumberedItems("old", 2)));
    {
        ItemStore store(dir.ModuleDir());
        FeedPoller(server.Url(), store).PollOnce({});
    }
    const std::string before = ReadFile(dir.Rcd());
    ReadOnlyDir readOnly(dir.Path());
    if (!readOnly.Active()) GTEST_SKIP() << "no way to make a directory read-only here";

    ItemStore store(dir.ModuleDir());
    ASSERT_TRUE(store.IsReady()) << "the file itself is writable; only its journal cannot be made";
    server.SetBody(Rss(NumberedItems("new", 3)));
    FeedPoller poller(server.Url(), store);
    poller.PollOnce({});
    EXPECT_EQ(StoredRows(store).size(), 2u);
    EXPECT_FALSE(store.MarkAllRead());
    EXPECT_EQ(ReadFile(dir.Rcd()), before);

    readOnly.Undo();
    poller.PollOnce({});
    EXPECT_EQ(StoredRows(store).size(), 5u);
    EXPECT_EQ(RawDb(dir.Rcd()).Scalar("PRAGMA integrity_check"), "ok");
}

TEST(ReadOnlyDirectory, DirectoryThatIsAFileGivesNoStore) {
    TempDir dir;
    WriteFile(dir.Path() / "plain", "a file, not a directory");
    FeedServer server;
    server.SetBody(Rss(NumberedItems("f", 2)));
    ItemStore store((dir.Path() / "plain").string() + "/");
    EXPECT_FALSE(store.IsReady());
    FeedPoller(server.Url(), store).PollOnce({});
    EXPECT_FALSE(store.ListItems().has_value());
    EXPECT_EQ(ReadFile(dir.Path() / "plain"), "a file, not a directory");
}

// ---- not a database ---------------------------------------------------------------------------------

struct NotDatabaseCase {
    const char* name;
    std::string bytes;
};

class NotADatabase : public testing::TestWithParam<NotDatabaseCase> {};

TEST_P(NotADatabase, NotReadyStoresNothingAndLeavesTheFileAlone) {
    TempDir dir;
    WriteFile(dir.Rcd(), GetParam().bytes);
    FeedServer server;
    server.SetBody(Rss(NumberedItems("n", 3)));
    {
        ItemStore store(dir.ModuleDir());
        EXPECT_FALSE(store.IsReady());
        FeedPoller poller(server.Url(), store);
        poller.PollOnce({});
        poller.PollOnce({});
        EXPECT_FALSE(store.ListItems().has_value());
        store.MarkAllRead();
        store.RemoveAllItems();
        store.MarkReadByUrl("http://deals.test/n/1");
    }
    EXPECT_EQ(server.FeedHits().size(), 2u);
    EXPECT_EQ(ReadFile(dir.Rcd()), GetParam().bytes);
    EXPECT_FALSE(fs::exists(dir.Path() / "rcd-journal"));
}

std::string Junk(size_t size) {
    std::string bytes;
    for (size_t i = 0; bytes.size() < size; ++i)
        bytes += "this is not a database " + std::to_string(i) + "\n";
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(Files, NotADatabase,
                         testing::Values(NotDatabaseCase{"Text", Junk(8192)},
                                         NotDatabaseCase{"HeaderThenJunk",
                                                         std::string("SQLite format 3\0", 16) + Junk(4096)},
                                         NotDatabaseCase{"Zeros", std::string(4096, '\0') + "x"}),
                         CaseName());

// ---- killed in the middle of a poll -----------------------------------------------------------------

class KilledPoll : public testing::Test {
  protected:
    std::unique_ptr<ChildProcess> Spawn() {
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{POLL_ONCE_PATH, m_server.Url(), m_dir.ModuleDir()});
    }

    // Commits sync on every write: memory backing keeps 2,000 commits short. A SIGKILL leaves the
    // page cache as it was either way, so the crash is the same one.
    TempDir m_dir{TempDir::Backing::Memory};
    FeedServer m_server;
};

TEST_F(KilledPoll, IntegrityKeptNoDuplicatesAndEverythingStoredAfterwards) {
    constexpr int kItems = 1000;
    const auto items = NumberedItems("kill", kItems, 200);
    m_server.SetBody(Rss(items));
    { const ItemStore create(m_dir.ModuleDir()); }

    // Killed while its transaction is open: the file keeps none of that poll's rows.
    const fs::path journal = m_dir.Path() / "rcd-journal";
    int killedMidway = 0;
    for (int round = 0; round < 3; ++round) {
        const auto child = Spawn();
        ASSERT_TRUE(child->Started());
        bool exited = false;
        while (!fs::exists(journal) && !exited) {
            exited = !child->IsRunning();
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        ASSERT_FALSE(exited) << "the poll ended before it could be killed";
        child->Signal(SIGKILL);
        ASSERT_EQ(child->Wait(), (ExitStatus{false, SIGKILL})) << "round " << round;

        RawDb raw(m_dir.Rcd());
        EXPECT_EQ(raw.Scalar("PRAGMA integrity_check"), "ok") << "round " << round;
        const std::string stored = raw.Scalar("select count(*) from items");
        if (stored != "0") {
            ASSERT_EQ(stored, std::to_string(kItems)) << "a poll commits all of its rows or none";
            break;  // it got to its commit first
        }
        ++killedMidway;
    }
    EXPECT_GT(killedMidway, 0) << "no kill landed inside the transaction";

    ASSERT_EQ(Spawn()->Wait(), (ExitStatus{true, 0}));

    RawDb raw(m_dir.Rcd());
    EXPECT_EQ(raw.Scalar("PRAGMA integrity_check"), "ok");
    std::set<std::string> dates;
    for (const auto& row : raw.Query("select msg_date from items")) dates.insert(*row.at(0));
    std::set<std::string> expected;
    for (const auto& item : items) expected.insert(item.date);
    EXPECT_EQ(raw.Scalar("select count(*) from items"), std::to_string(kItems));
    EXPECT_EQ(dates, expected);
    // Items go in last first: the first item of the document is the last one stored.
    EXPECT_EQ(raw.Scalar("select msg_date from itemdate"), items.front().date);
    // The file is still the one earlier builds write and read: no table or index added.
    const Rows objects = {
        {"table", "items", "2"}, {"table", "sqlite_sequence", "3"}, {"table", "itemdate", "4"}};
    EXPECT_EQ(raw.Query("select type, name, rootpage from sqlite_master order by rootpage"), objects);
}

}  // namespace
}  // namespace hostile
