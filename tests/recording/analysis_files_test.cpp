#include "recording/analysis_files.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "recording/data_files.h"
#include "recording/recorder.h"
#include "tests/support/temp_folder.h"

namespace {

// 2026-12-10 10:17:52.123 at +01:00
constexpr std::int64_t kMoment = 1796894272123;

struct Row {
    std::optional<std::int32_t> no;
    const char* time;
    const char* function;
    const char* value;
    const char* unit;
    const char* range;
    const char* mode;
    WallTime stamp;
};

void append(TableStore& table, const Row& r) {
    RowData d;
    d.no = r.no;
    d.texts = {r.time, r.function, r.value, r.unit, r.range, r.mode};
    d.stamp = r.stamp;
    table.append(d);
}

// Rows as the meter records them, and a few as files from elsewhere hold them.
std::vector<Row> sampleRows() {
    return {
        {1, "10:17:52", "OHM", "4.123", "K *", "4k *", "Auto", {kMoment, 3600}},
        {2, "10:17:53", "DCV", "-0.@", "V", "4 V", "Manu", {kMoment + 1000, 3600}},
        {3, "10:17:53", "CTN", "o.pen", "", "400", "", {kMoment + 1500, 3600}},
        {4, "10:17:54", "CAP", "12.34", "nF", "10 nF", "Auto", {kMoment + 2001, 3600}},
        {5, "10:17:55", "TMP", "0025", "#", "40 V", "", {kMoment + 3000, 3600}},
        {6, "10:17:56", "DWL", "12.3", "<", "4CYL", "", {kMoment + 4000, -16200}},
        {7, "12:04:31", "DCV", "1.234", "V", "4 V", "Auto", {}},       // loaded: a time of day only
        {std::nullopt, "", "ACV", "1,5", "V", "x\ny", "a,\"b\"", {}},  // quoting
    };
}

std::string csvOf(const std::vector<Row>& rows) {
    TableStore table;
    for (const Row& r : rows) {
        append(table, r);
    }
    return tableCsvBytes(table);
}

TEST(AnalysisCsv, WritesTheHeaderAndEveryFieldAsDocumented) {
    const std::string csv = csvOf(sampleRows());
    const std::string expected =
        "time,elapsed_s,no,quantity,value,unit,flags,display,display_unit,range,mode\r\n"
        "2026-12-10T10:17:52.123+01:00,0.000,1,resistance,4123,\u03A9,,4.123,K \u03A9,"
        "4k \u03A9,Auto\r\n"
        "2026-12-10T10:17:53.123+01:00,1.000,2,voltage_dc,,V,-OL,-0.L,V,4 V,Manu\r\n"
        "2026-12-10T10:17:53.623+01:00,1.500,3,continuity,,\u03A9,open,o.pen,,400,\r\n"
        "2026-12-10T10:17:54.124+01:00,2.001,4,capacitance,1.234e-08,F,,12.34,nF,10 nF,Auto\r\n"
        "2026-12-10T10:17:55.123+01:00,3.000,5,temperature,25,\u00B0C,,0025,\u00B0C,40 V,\r\n"
        "2026-12-10T04:47:56.123-04:30,4.000,6,dwell,12.3,\u00B0,,12.3,\u2220\u00B0,4CYL,\r\n"
        "12:04:31,,7,voltage_dc,1.234,V,,1.234,V,4 V,Auto\r\n"
        ",,,voltage_ac,1.5,V,,\"1,5\",V,\"x\ny\",\"a,\"\"b\"\"\"\r\n";
    EXPECT_EQ(csv, expected);
}

TEST(AnalysisCsv, RoundTripsThroughADiskFileWithItsMoments) {
    TempFolder folder;
    TableStore table;
    for (const Row& r : sampleRows()) {
        append(table, r);
    }
    const std::string name = folder.path("readings.csv");
    ASSERT_TRUE(saveTable(table, name).ok);
    TableStore back;
    ASSERT_TRUE(LoadDataFile(name, back, false).ok);
    ASSERT_EQ(back.rowCount(), table.rowCount());
    for (std::size_t i = 0; i < table.rowCount(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(back.no(i), table.no(i));
        EXPECT_EQ(back.stamp(i), table.stamp(i));
        for (const Field f : {Field::DcAc, Field::Value, Field::Unit, Field::Range, Field::Auto}) {
            EXPECT_EQ(back.text(i, f), table.text(i, f)) << fieldName(f);
        }
        EXPECT_FALSE(back.nval(i));  // not in the file, as with the text file
    }
    // The Time text comes from the moment's local time, or from the time of day.
    EXPECT_EQ(back.text(5, Field::Time), "04:47:56");
    EXPECT_EQ(back.text(6, Field::Time), "12:04:31");
    EXPECT_EQ(back.text(7, Field::Time), "");
    // Saved again, the file is the same bytes.
    EXPECT_EQ(tableCsvBytes(back), TempFolder::read(name));
}

TEST(AnalysisCsv, PythonsCsvModuleReadsIt) {
    TempFolder folder;
    const std::string name = folder.path("readings.csv");
    TempFolder::write(name, csvOf(sampleRows()));
    const std::string script = folder.path("read.py");
    TempFolder::write(
        script,
        "import csv, sys\n"
        "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
        "    rows = list(csv.DictReader(f, strict=True))\n"
        "assert all(len(r) == 11 and None not in r for r in rows), rows\n"
        "print(len(rows), rows[0]['value'], rows[0]['unit'], float(rows[3]['value']),\n"
        "      repr(rows[7]['display']), repr(rows[7]['range']), "
        "repr(rows[7]['mode']))\n");
    const std::string out = folder.path("out");
    const int status =
        std::system(("python3 '" + script + "' '" + name + "' >'" + out + "' 2>&1").c_str());
    EXPECT_EQ(WEXITSTATUS(status), 0) << TempFolder::read(out);
    EXPECT_EQ(TempFolder::read(out), "8 4123 \u03A9 1.234e-08 '1,5' 'x\\ny' 'a,\"b\"'\n");
}

TEST(AnalysisCsv, ACsvHoldingTabSeparatedTextLoadsAsText) {
    TempFolder folder;
    const std::string name = folder.path("windows.csv");
    TempFolder::write(name,
                      "No\tTime\tDC/AC\tValue\tUnit\tRange\tAUTO\r\n"
                      "1\t12:04:31\tDCV\t1.234\tV\t4 V\tAuto\r\n");
    TableStore table;
    ASSERT_TRUE(LoadDataFile(name, table, false).ok);
    ASSERT_EQ(table.rowCount(), 1u);
    EXPECT_EQ(table.text(0, Field::Time), "12:04:31");
    EXPECT_EQ(table.text(0, Field::Unit), "V");
    EXPECT_FALSE(table.stamp(0).known());
}

TEST(AnalysisCsv, RecordsThatCannotBeRowsStopTheLoad) {
    const std::string header = std::string(kAnalysisCsvHeader) + "\r\n";
    const std::string good = ",,1,voltage_dc,1,V,,1.000,V,4 V,Auto\r\n";
    struct Case {
        const char* what;
        std::string bytes;
        bool ok;
        std::size_t rows;
    };
    for (const Case& c : {
             Case{"empty lines and LF only", header + "\n" + ",,1,,,,,,,,\n\n", true, 1},
             Case{"a byte-order mark", "\xEF\xBB\xBF" + header + good, true, 1},
             Case{"ten fields", header + good + ",,2,voltage_dc,1,V,,1.000,V,4 V\r\n", false, 1},
             Case{"twelve fields", header + good + ",,2,,,,,,,,,\r\n", false, 1},
             Case{"a bad number", header + good + ",,x,,,,,,,,\r\n", false, 1},
             Case{"a bad time", header + good + "yesterday,,2,,,,,,,,\r\n", false, 1},
             Case{"a bad flag", header + good + ",,2,,,,OVER,,,,\r\n", false, 1},
             Case{"a quote never closed", header + good + ",,2,,,,,\"1,,,\r\n", false, 1},
             Case{"text after a quote", header + "\"a\"b,,2,,,,,,,,\r\n", false, 0},
         }) {
        SCOPED_TRACE(c.what);
        TableStore table;
        EXPECT_EQ(loadCsvBytes(c.bytes, table), c.ok);
        EXPECT_EQ(table.rowCount(), c.rows);
    }
    // A failed load says on which line, counting the line ends inside quoted fields.
    std::string reason;
    TableStore table;
    EXPECT_FALSE(loadCsvBytes(header + ",,1,,,,,\"a\r\nb\",,,\r\n,,x,,,,,,,,\r\n", table, &reason));
    EXPECT_EQ(reason, "line 4: not a row of the analysis CSV");
    EXPECT_EQ(table.text(0, Field::Value), "a\r\nb");
}

TEST(AnalysisCsv, IsoTimesReadBack) {
    struct Case {
        const char* text;
        std::optional<WallTime> moment;
    };
    for (const Case& c : {
             Case{"2026-12-10T10:17:52.123+01:00", WallTime{kMoment, 3600}},
             Case{"2026-12-10T09:17:52.123Z", WallTime{kMoment, 0}},
             Case{"2026-12-10T10:17:52+01:00", WallTime{kMoment - 123, 3600}},
             Case{"1969-12-31T23:59:59.999+00:00", WallTime{-1, 0}},
             Case{"2026-13-10T10:17:52.123+01:00", std::nullopt},
             Case{"2026-12-10 10:17:52.123+01:00", std::nullopt},
             Case{"2026-12-10T10:17:52.12+01:00", std::nullopt},
             Case{"2026-12-10T10:17:52.123", std::nullopt},
         }) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(readIsoTime(c.text), c.moment);
        if (c.moment) {
            std::string again;
            appendIsoTime(again, *c.moment);
            EXPECT_EQ(readIsoTime(again), c.moment);
        }
    }
}

TEST(AnalysisJsonLines, EveryLineIsAnObjectWithTheSameFields) {
    TempFolder folder;
    TableStore table;
    for (const Row& r : sampleRows()) {
        append(table, r);
    }
    const std::string name = folder.path("readings.jsonl");
    ASSERT_TRUE(saveTable(table, name).ok);
    const std::string jsonl = TempFolder::read(name);
    EXPECT_EQ(jsonl.substr(0, jsonl.find('\n')),
              "{\"time\":\"2026-12-10T10:17:52.123+01:00\",\"elapsed_s\":0.000,\"no\":1,"
              "\"quantity\":\"resistance\",\"value\":4123,\"unit\":\"\u03A9\",\"flags\":\"\","
              "\"display\":\"4.123\",\"display_unit\":\"K \u03A9\",\"range\":\"4k \u03A9\","
              "\"mode\":\"Auto\"}");
    const std::string script = folder.path("read.py");
    TempFolder::write(script,
                      "import json, sys\n"
                      "rows = [json.loads(l) for l in open(sys.argv[1], encoding='utf-8')]\n"
                      "keys = 'time elapsed_s no quantity value unit flags display display_unit "
                      "range mode'.split()\n"
                      "assert all(list(r) == keys for r in rows)\n"
                      "print([r['value'] for r in rows], rows[7]['range'], rows[7]['mode'],\n"
                      "      rows[7]['time'], rows[6]['time'])\n");
    const std::string out = folder.path("out");
    const int status =
        std::system(("python3 '" + script + "' '" + name + "' >'" + out + "' 2>&1").c_str());
    EXPECT_EQ(WEXITSTATUS(status), 0) << TempFolder::read(out);
    EXPECT_EQ(TempFolder::read(out),
              "[4123, None, None, 1.234e-08, 25, 12.3, 1.234, 1.5] x\ny a,\"b\" None 12:04:31\n");
    // Not read back: a table is never loaded from it.
    TableStore back;
    EXPECT_FALSE(LoadDataFile(name, back, false).ok);
}

// A recording across both daylight-saving changes of a zone: the written times never go back
// as moments, and each carries the offset in force then.
TEST(AnalysisCsv, TimesAcrossDaylightSavingChangesNeverGoBack) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();

    // The recorder's clock, read at moments 20 minutes apart around each change.
    class SteppingClock final : public Clock {
    public:
        explicit SteppingClock(std::int64_t ms) : m_ms(ms) {}
        LocalDateTime now() override { return localDateTimeOf(systemWallTimeAt(m_ms)); }
        WallTime wallNow(LocalDateTime& local) override {
            const WallTime t = systemWallTimeAt(m_ms);
            local = localDateTimeOf(t);
            m_ms += 20 * 60 * 1000;
            return t;
        }

    private:
        std::int64_t m_ms;
    };
    TableStore table;
    CurrentReading reading;
    reading.valueText.assign("1.000");
    reading.functionText.assign("DCV");
    reading.unitText.assign("V");
    // 2026-03-29 00:00 UTC (spring) and 2026-10-25 00:00 UTC (autumn), two hours each.
    for (const std::int64_t start : {std::int64_t{1774742400000}, std::int64_t{1792886400000}}) {
        SteppingClock clock(start);
        Recorder recorder(table, clock);
        for (int i = 0; i < 7; ++i) {
            ASSERT_TRUE(recorder.recordReading(reading).appended);
        }
    }
    const std::string csv = tableCsvBytes(table);
    if (old) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();

    std::vector<std::string> times;
    for (std::size_t at = csv.find("\r\n") + 2; at < csv.size(); at = csv.find("\r\n", at) + 2) {
        times.push_back(csv.substr(at, csv.find(',', at) - at));
    }
    const std::vector<std::string> expected = {
        "2026-03-29T01:00:00.000+01:00", "2026-03-29T01:20:00.000+01:00",
        "2026-03-29T01:40:00.000+01:00", "2026-03-29T03:00:00.000+02:00",
        "2026-03-29T03:20:00.000+02:00", "2026-03-29T03:40:00.000+02:00",
        "2026-03-29T04:00:00.000+02:00", "2026-10-25T02:00:00.000+02:00",
        "2026-10-25T02:20:00.000+02:00", "2026-10-25T02:40:00.000+02:00",
        "2026-10-25T02:00:00.000+01:00", "2026-10-25T02:20:00.000+01:00",
        "2026-10-25T02:40:00.000+01:00", "2026-10-25T03:00:00.000+01:00"};
    EXPECT_EQ(times, expected);
    std::int64_t last = 0;
    for (const std::string& t : times) {
        const auto moment = readIsoTime(t);
        ASSERT_TRUE(moment) << t;
        EXPECT_GT(moment->msSinceEpoch, last) << t;
        last = moment->msSinceEpoch;
    }
}

}  // namespace
