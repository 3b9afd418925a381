#include "recording/table_store.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

RowData row(std::optional<std::int32_t> no, std::string_view time, std::string_view value,
            std::optional<std::int32_t> nval = std::nullopt) {
    RowData r;
    r.no = no;
    r.texts = {time, "DCV", value, "V", "4 V", "Auto"};
    r.nval = nval;
    return r;
}

struct CountingObserver : TableObserver {
    std::size_t appended = 0;
    std::size_t lastFirst = 0;
    int resets = 0;
    void rowsAppended(std::size_t first, std::size_t count) override {
        appended += count;
        lastFirst = first;
    }
    void tableReset() override { ++resets; }
};

TEST(TableStore, FieldNamesAreFoundWithoutRegardToCase) {
    EXPECT_EQ(fieldByName("AUTO"), Field::Auto);
    EXPECT_EQ(fieldByName("range"), Field::Range);
    EXPECT_EQ(fieldByName("dc/ac"), Field::DcAc);
    EXPECT_EQ(fieldByName("NVAL"), Field::Nval);
    EXPECT_EQ(fieldByName("Nvalue"), std::nullopt);
    EXPECT_EQ(fieldName(Field::DcAc), "DC/AC");
}

TEST(TableStore, KeepsEveryFieldAndNullsAcrossChunks) {
    TableStore t;
    const std::size_t n = 10000;  // more than one storage chunk
    for (std::size_t i = 0; i < n; ++i) {
        const std::string v = std::to_string(i % 300);
        t.append(row(i % 7 == 0 ? std::nullopt : std::optional<std::int32_t>(int(i)), "12:00:01",
                     i % 5 == 0 ? "" : v, i % 3 == 0 ? std::nullopt : std::optional(-int(i))));
    }
    ASSERT_EQ(t.rowCount(), n);
    for (std::size_t i = 0; i < n; ++i) {
        EXPECT_EQ(t.no(i), i % 7 == 0 ? std::nullopt : std::optional<std::int32_t>(int(i)));
        EXPECT_EQ(t.nval(i), i % 3 == 0 ? std::nullopt : std::optional<std::int32_t>(-int(i)));
        EXPECT_EQ(t.text(i, Field::Value), i % 5 == 0 ? "" : std::to_string(i % 300));
        EXPECT_EQ(t.isNull(i, Field::Value), i % 5 == 0);
        EXPECT_EQ(t.text(i, Field::Range), "4 V");
    }
    EXPECT_TRUE(t.isNull(0, Field::No));
    EXPECT_FALSE(t.isNull(1, Field::No));
}

TEST(TableStore, CutsTextsTo20BytesAndKeepsEveryByte) {
    TableStore t;
    const std::string eightBit = std::string(
        "\xB0"
        "C\x00\xFF\x01",
        5);
    RowData r;
    r.texts = {"123456789012345678901234", eightBit, "", "", "", ""};
    t.append(r);
    EXPECT_EQ(t.text(0, Field::Time), "12345678901234567890");
    EXPECT_EQ(t.text(0, Field::DcAc), eightBit);
    EXPECT_TRUE(t.isNull(0, Field::Unit));
}

TEST(TableStore, ViewsStayValidWhileTheTableGrows) {
    TableStore t;
    t.append(row(1, "00:00:01", "first"));
    const std::string_view first = t.text(0, Field::Value);
    for (int i = 0; i < 50000; ++i) {
        t.append(row(i, "00:00:02", std::to_string(i)));  // many distinct texts: the pool grows
    }
    EXPECT_EQ(first, "first");
    EXPECT_EQ(first.data(), t.text(0, Field::Value).data());
    EXPECT_EQ(t.text(49999 + 1, Field::Value), "49999");
}

TEST(TableStore, ObserversHearAppendsClearsAndReplacements) {
    TableStore t;
    CountingObserver o;
    t.addObserver(&o);
    t.append(row(1, "a", "b"));
    t.append(row(2, "a", "b"));
    EXPECT_EQ(o.appended, 2u);
    EXPECT_EQ(o.lastFirst, 1u);

    TableStore loaded;
    loaded.append(row(7, "x", "y", 5));
    t.replaceWith(std::move(loaded));
    EXPECT_EQ(o.resets, 1);
    EXPECT_EQ(t.rowCount(), 1u);
    EXPECT_EQ(t.no(0), 7);
    EXPECT_EQ(t.text(0, Field::Value), "y");
    EXPECT_TRUE(loaded.empty());
    loaded.append(row(8, "still", "usable"));
    EXPECT_EQ(loaded.text(0, Field::Time), "still");

    t.clear();
    EXPECT_EQ(o.resets, 2);
    EXPECT_TRUE(t.empty());
    t.removeObserver(&o);
    t.append(row(1, "a", "b"));
    EXPECT_EQ(o.appended, 2u);
    EXPECT_EQ(t.text(0, Field::Time), "a");
}

TEST(TableStore, ReserveMakesRoomWithoutChangingContent) {
    TableStore t;
    t.append(row(1, "a", "b"));
    const std::size_t before = t.memoryBytes();
    t.reserve(20000);
    EXPECT_GT(t.memoryBytes(), before);
    EXPECT_EQ(t.rowCount(), 1u);
    const std::size_t reserved = t.memoryBytes();
    for (int i = 0; i < 19999; ++i) {
        t.append(row(i, "a", "b"));
    }
    EXPECT_EQ(t.memoryBytes(), reserved);
    EXPECT_EQ(t.rowCount(), 20000u);
}

// A snapshot keeps the rows of the moment while another thread reads it and the table goes
// on: rows appended (new texts too, the last chunk unfinished), then emptied and refilled.
TEST(TableStore, SnapshotKeepsItsRowsWhileTheTableGoesOn) {
    for (const std::size_t rows : {std::size_t{0}, std::size_t{1024}, std::size_t{2500}}) {
        SCOPED_TRACE(rows);
        TableStore table;
        auto rowText = [](std::size_t r) { return "v" + std::to_string(r % 700); };
        auto append = [&table](std::size_t r, const std::string& value) {
            RowData d;
            d.no = static_cast<std::int32_t>(r);
            d.texts = {"12:00:00", "DCV", value, "V", "4 V", "Auto"};
            table.append(d);
        };
        for (std::size_t r = 0; r < rows; ++r) {
            append(r, rowText(r));
        }
        const TableStore snapshot = table.snapshot();
        std::size_t mismatches = 0;
        std::thread reader([&] {
            for (int pass = 0; pass < 20; ++pass) {
                for (std::size_t r = 0; r < snapshot.rowCount(); ++r) {
                    mismatches += snapshot.text(r, Field::Value) != rowText(r) ||
                                  snapshot.no(r) != static_cast<std::int32_t>(r);
                }
            }
        });
        for (std::size_t r = rows; r < rows + 3000; ++r) {
            append(r, "new" + std::to_string(r));
        }
        table.clear();
        append(0, "after clear");
        reader.join();
        EXPECT_EQ(mismatches, 0u);
        EXPECT_EQ(snapshot.rowCount(), rows);
        ASSERT_EQ(table.rowCount(), 1u);
        EXPECT_EQ(table.text(0, Field::Value), "after clear");
    }
}

}  // namespace
