// Opening the store: the file, the schema it writes, what it finds already there, and what it
// does when it cannot open at all.
#include <set>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "tests/store/StoreFixture.h"

namespace storetest {
namespace {

using StartupTest = StoreTest;

// The items table as the file keeps it from the table name on, put together from its column list:
// ", " + six TABs + two spaces after every definition except the last two (no space before the TABs of
// the buy link, a closing parenthesis after ID).
std::string ExpectedItemsSchema() {
    const std::string tabs(6, '\t');
    const std::pair<const char*, std::string> columns[] = {
        {"msg_picurl varchar(200)", ", " + tabs + "  "}, {"msg_top varchar(2)", ", " + tabs + "  "},
        {"msg_title varchar(200)", ", " + tabs + "  "},  {"msg_date varchar(30)", ", " + tabs + "  "},
        {"msg_url varchar(200)", ", " + tabs + "  "},    {"msg_id varchar(15)", ", " + tabs + "  "},
        {"msg_buyurl varchar(200)", "," + tabs + "  "},  {"ID integer primary key autoincrement", ")"},
    };
    std::string text = "items(";
    for (const auto& [definition, separator] : columns) text += definition + separator;
    return text;
}

std::set<std::string> TableNames(RawDb& db) {
    std::set<std::string> names;
    for (const auto& row : db.Query("select name from sqlite_master where type='table'"))
        names.insert(*row[0]);
    return names;
}

// A store that is not open: it says so, and every operation fails.
void ExpectEveryOperationFails(ItemStore& store, const std::string& date, const std::string& url) {
    EXPECT_FALSE(store.IsReady());
    EXPECT_FALSE(store.InsertItem(MakeItem(date)));
    EXPECT_FALSE(store.IsDateUnseen(date));
    EXPECT_FALSE(store.SaveItemDate(date));
    EXPECT_FALSE(store.ListItems().has_value()) << "a failed query is not an empty list";
    EXPECT_FALSE(store.MarkAllRead());
    EXPECT_FALSE(store.RemoveAllItems());
    EXPECT_FALSE(store.MarkReadByUrl(url));
}

TEST_F(StartupTest, FirstStartCreatesDatabaseTablesAndEmptyImageDirectory) {
    {
        const auto store = OpenStore();
        EXPECT_TRUE(store->IsReady());
        EXPECT_EQ(store->ModuleDir(), m_dir.ModuleDir());
    }
    ASSERT_TRUE(fs::is_regular_file(RcdPath()));
    ASSERT_TRUE(fs::is_directory(m_dir.Path() / "Image"));
    EXPECT_TRUE(fs::is_empty(m_dir.Path() / "Image"));

    RawDb db(RcdPath());
    EXPECT_EQ(TableNames(db), (std::set<std::string>{"items", "itemdate", "sqlite_sequence"}));
    EXPECT_EQ(db.Scalar("select count(*) from items"), "0");
    EXPECT_EQ(db.Scalar("select count(*) from itemdate"), "0");
}

TEST_F(StartupTest, SchemaTextIsKeptByteForByte) {
    OpenStore();
    RawDb db(RcdPath());
    EXPECT_EQ(db.Scalar("select sql from sqlite_master where name='items'"),
              "CREATE TABLE " + ExpectedItemsSchema());
    EXPECT_EQ(db.Scalar("select sql from sqlite_master where name='itemdate'"),
              "CREATE TABLE itemdate(msg_date varchar(200))");
}

TEST_F(StartupTest, SecondStartKeepsRowsAndSchema) {
    {
        const auto store = OpenStore();
        for (const char* date : {"d1", "d2", "d3"}) ASSERT_TRUE(store->InsertItem(MakeItem(date)));
        ASSERT_TRUE(store->MarkReadByUrl(MakeItem("d2").msg_url));
    }
    const std::string schemaBefore =
        RawDb(RcdPath()).Scalar("select group_concat(sql, '|') from sqlite_master");

    const auto store = OpenStore();
    EXPECT_TRUE(store->IsReady());
    const auto items = store->ListItems();
    ASSERT_TRUE(items.has_value());
    ASSERT_EQ(items->size(), 3u);
    EXPECT_EQ((*items)[0], MakeItem("d3"));
    FeedItem read = MakeItem("d2");
    read.msg_top = "1";
    EXPECT_EQ((*items)[1], read);
    EXPECT_EQ((*items)[2], MakeItem("d1"));
    EXPECT_FALSE(store->InsertItem(MakeItem("d1"))) << "dates stored before the restart still count";
    EXPECT_EQ(RawDb(RcdPath()).Scalar("select group_concat(sql, '|') from sqlite_master"), schemaBefore);
}

TEST_F(StartupTest, ItemsWithoutItemdateGetsItemdateAdded) {
    {
        RawDb db(RcdPath());
        db.Exec(
            "create table items(msg_picurl varchar(200), msg_top varchar(2), msg_title varchar(200), "
            "msg_date varchar(30), msg_url varchar(200), msg_id varchar(15), msg_buyurl varchar(200), "
            "ID integer primary key autoincrement)");
        db.Exec("insert into items(msg_title, msg_date) values('old', 'd0')");
    }
    const auto store = OpenStore();
    EXPECT_TRUE(store->IsReady());
    EXPECT_EQ(RawDb(RcdPath()).Scalar("select count(*) from sqlite_master where name='itemdate'"), "1");
    const auto items = store->ListItems();
    ASSERT_TRUE(items.has_value());
    ASSERT_EQ(items->size(), 1u);
    EXPECT_EQ((*items)[0].msg_title, "old");
    EXPECT_TRUE(store->InsertItem(MakeItem("d1")));
    EXPECT_EQ(RawDb(RcdPath()).Scalar("select msg_date from itemdate"), "d1");
}

TEST_F(StartupTest, ItemsTableWithOtherColumnsIsUsedUnchanged) {
    {
        RawDb db(RcdPath());
        db.Exec("create table items(msg_title text, msg_date text, extra text, ID integer primary key)");
        db.Exec("insert into items(msg_title, msg_date, extra) values('kept', 'd0', 'x')");
    }
    const auto store = OpenStore();
    EXPECT_TRUE(store->IsReady());
    EXPECT_FALSE(store->InsertItem(MakeItem("d1"))) << "the insert names columns this table lacks";
    EXPECT_FALSE(store->IsDateUnseen("d0"));
    const auto items = store->ListItems();
    ASSERT_TRUE(items.has_value());
    ASSERT_EQ(items->size(), 1u);
    FeedItem expected;
    expected.msg_title = "kept";
    expected.msg_date = "d0";
    EXPECT_EQ((*items)[0], expected) << "unknown columns land nowhere";
    EXPECT_EQ(RawDb(RcdPath()).Scalar("select count(*) from pragma_table_info('items')"), "4");
}

struct NotADatabaseCase {
    const char* name;
    std::string bytes;
};

class NotADatabaseTest : public StoreTest, public ::testing::WithParamInterface<NotADatabaseCase> {};

TEST_P(NotADatabaseTest, LeavesStoreNotReadyAndFileUntouched) {
    WriteFile(RcdPath(), GetParam().bytes);
    const auto store = OpenStore();
    ExpectEveryOperationFails(*store, "d1", "http://deals.test/");
    store->Close();
    EXPECT_EQ(ReadFile(RcdPath()), GetParam().bytes);
    EXPECT_TRUE(fs::is_directory(m_dir.Path() / "Image")) << "the Image step still runs";
}

INSTANTIATE_TEST_SUITE_P(Files, NotADatabaseTest,
                         ::testing::Values(NotADatabaseCase{"Text", std::string(4096, 'x')},
                                           NotADatabaseCase{
                                               "TruncatedHeader",
                                               std::string("SQLite format 3") + std::string(600, '\0')},
                                           NotADatabaseCase{"Binary", std::string("\x89PNG\r\n\x1a\n", 8) +
                                                                          std::string(1024, '\x7f')}),
                         CaseName());

// Places where no database can be opened: nothing opens, nothing crashes, every operation fails.
TEST_F(StartupTest, UnopenableLocationsLeaveStoreNotOpened) {
    fs::create_directory(RcdPath());  // a directory where the file should be
    const std::string missing = (m_dir.Path() / "no" / "such" / "dir").string() + "/";
    for (const std::string& moduleDir : {m_dir.ModuleDir(), missing}) {
        SCOPED_TRACE(moduleDir);
        ItemStore store(moduleDir);
        ExpectEveryOperationFails(store, "d1", "u");
    }
    EXPECT_FALSE(fs::exists(m_dir.Path() / "no")) << "the store creates no directories but Image";
}

TEST_F(StartupTest, ExistingImageDirectoryIsLeftAlone) {
    fs::create_directory(m_dir.Path() / "Image");
    WriteFile(m_dir.Path() / "Image" / "keep.png", "png");
    const auto store = OpenStore();
    EXPECT_EQ(ReadFile(m_dir.Path() / "Image" / "keep.png"), "png");
}

TEST_F(StartupTest, ExistingImageFileIsLeftAlone) {
    WriteFile(m_dir.Path() / "Image", "not a directory");
    const auto store = OpenStore();
    EXPECT_TRUE(store->IsReady());
    EXPECT_TRUE(fs::is_regular_file(m_dir.Path() / "Image"));
    EXPECT_EQ(ReadFile(m_dir.Path() / "Image"), "not a directory");
}

TEST_F(StartupTest, CloseEndsEveryOperation) {
    const auto store = OpenStore();
    ASSERT_TRUE(store->InsertItem(MakeItem("d1")));
    store->Close();
    ExpectEveryOperationFails(*store, "d2", MakeItem("d1").msg_url);
    store->Close();  // a second Close (the destructor's) is harmless

    RawDb db(RcdPath());
    EXPECT_EQ(db.Scalar("select group_concat(msg_date) from items"), "d1");
    EXPECT_EQ(db.Scalar("select coalesce(msg_top, '') from items"), "");
}

}  // namespace
}  // namespace storetest
