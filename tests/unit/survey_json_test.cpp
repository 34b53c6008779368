#include "../../src/survey/report/survey_json.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace
{

struct escape_case {
    const char* name;
    std::string bytes;
    std::string expected;
};

void PrintTo(const escape_case& c, std::ostream* os)
{
    *os << c.name;
}

const escape_case ESCAPE_CASES[] = {
    {"plain text stays", "a b.dat", R"("a b.dat")"},
    {"quote and backslash", R"(a"b\c)", R"("a\"b\\c")"},
    {"named controls", "\n\r\t\b\f", R"("\n\r\t\b\f")"},
    {"other controls and NUL", std::string("\x01\x1F\0", 3), R"("\u0001\u001f\u0000")"},
    {"DEL and slash stay", "\x7F/", "\"\x7F/\""},
    {"valid two, three and four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
     "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\""},
    {"a latin-1 byte", "caf\xE9.dat", R"("caf\udce9.dat")"},
    {"a lone continuation byte", "\x80", R"("\udc80")"},
    {"bytes never in UTF-8", "\xC0\xC1\xF5\xFF", R"("\udcc0\udcc1\udcf5\udcff")"},
    {"overlong slash", "\xC0\xAF", R"("\udcc0\udcaf")"},
    {"overlong three bytes", "\xE0\x80\xAF", R"("\udce0\udc80\udcaf")"},
    {"overlong four bytes", "\xF0\x8F\xBF\xBF", R"("\udcf0\udc8f\udcbf\udcbf")"},
    {"encoded surrogate", "\xED\xA0\x80", R"("\udced\udca0\udc80")"},
    {"past U+10FFFF", "\xF4\x90\x80\x80", R"("\udcf4\udc90\udc80\udc80")"},
    {"cut off at the end", "a\xE2\x82", R"("a\udce2\udc82")"},
    {"cut off before ASCII", "\xE2\x82x", R"("\udce2\udc82x")"},
    {"highest valid values", "\xED\x9F\xBF\xF4\x8F\xBF\xBF", "\"\xED\x9F\xBF\xF4\x8F\xBF\xBF\""},
};

class JsonString : public testing::TestWithParam<escape_case>
{
};

TEST_P(JsonString, EscapesWhatJsonAndUtf8Require)
{
    std::string out;
    append_json_string(out, GetParam().bytes);
    EXPECT_EQ(out, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Bytes, JsonString, testing::ValuesIn(ESCAPE_CASES));

TEST(SurveyJson, FullReportHasEveryKeyInOrder)
{
    survey_report report;
    report.name = "people.psv";
    report.size = 5000000000;
    report.layout.encoding = text_encoding::utf8;
    report.layout.kind = record_layout::lines;
    report.layout.terminator = line_terminator::crlf;
    report.layout.record_length = 50;
    report.layout.header_length = 22;
    report.layout.trailer_length = 1;
    report.layout.records = 7;
    report.layout.delimiter = '|';
    report.layout.quote = '"';
    report.layout.fields = 4;
    report.layout.header_row = true;
    column_description id;
    id.name = "id";
    id.type = value_type::integer;
    id.index = 0;
    column_description amount;
    amount.name = "amount";
    amount.type = value_type::decimal;
    amount.index = 1;
    amount.decimal_mark = ',';
    amount.grouping_mark = '.';
    amount.nullable = true;
    amount.null_marker = "\\N";
    report.layout.described_columns = {id, amount};
    report.verified = true;
    report.outcome.records = 99999999;
    report.outcome.anomalies = 2;
    report.outcome.anomaly_kinds[static_cast<std::size_t>(anomaly_kind::line_end)] = 2;
    report.outcome.first_anomalies = {
        {17, 4294967318, "no \"CR\" before LF", anomaly_kind::line_end, 40},
        {18, 4294967368, "x", anomaly_kind::line_end, std::nullopt}};
    EXPECT_EQ(
        survey_json_line(report),
        R"({"file":"people.psv","size":5000000000,"error":null,"encoding":"utf-8",)"
        R"("layout":"lines","format":null,"terminator":"CRLF","segment_terminator":null,)"
        R"("record_length":50,)"
        R"("element_length":null,"header_length":22,)"
        R"("trailer_length":1,"records":99999999,"records_estimated":false,"shortest_record":null,)"
        R"("usual_record":null,"longest_record":null,"length_prefix":null,)"
        R"("delimiter":"|","delimiter_runs":false,"quote":"\"","fields":4,)"
        R"("fewest_fields":4,"most_fields":4,)"
        R"("header_row":true,"columns":[{"name":"id","type":"integer","start":null,)"
        R"("end":null,"index":0,"format":null,"decimal":null,"grouping":null,)"
        R"("nullable":false,"null":null},{"name":"amount","type":"decimal","start":null,)"
        R"("end":null,"index":1,"format":null,"decimal":",","grouping":".",)"
        R"("nullable":true,"null":"\\N"}],"record_types":null,"verified":false,)"
        R"("anomalies":2,)"
        R"("anomaly_kinds":{"line_end":2,"length":0,"cut_short":0,"field_count":0,)"
        R"("quote":0,"byte_class":0},"stray_bytes":null,"first_anomalies":[)"
        R"({"record":17,"line":40,"offset":4294967318,"kind":"line_end",)"
        R"("what":"no \"CR\" before LF"},)"
        R"({"record":18,"line":null,"offset":4294967368,"kind":"line_end","what":"x"}],)"
        R"("first_anomaly":{"record":17,"line":40,"offset":4294967318,"kind":"line_end",)"
        R"("what":"no \"CR\" before LF"}})"
        "\n");
}

TEST(SurveyJson, UnverifiedFixedLengthLeavesWhatIsUnknownNull)
{
    survey_report report;
    report.name = "-";
    report.layout.encoding = text_encoding::ebcdic;
    report.layout.kind = record_layout::fixed_length;
    report.layout.terminator = line_terminator::lf;
    report.layout.record_length = 80;
    report.layout.delimiter = '\t';
    EXPECT_EQ(
        survey_json_line(report),
        R"({"file":"-","size":null,"error":null,"encoding":"ebcdic",)"
        R"("layout":"fixed-length","format":null,"terminator":null,"segment_terminator":null,)"
        R"("record_length":80,)"
        R"("element_length":null,"header_length":0,)"
        R"("trailer_length":0,"records":null,"records_estimated":false,"shortest_record":null,)"
        R"("usual_record":null,)"
        R"("longest_record":null,"length_prefix":null,"delimiter":"\t","delimiter_runs":false,"quote":null,)"
        R"("fields":null,"fewest_fields":null,"most_fields":null,"header_row":false,)"
        R"("columns":null,"record_types":null,"verified":null,"anomalies":null,)"
        R"("anomaly_kinds":null,"stray_bytes":null,"first_anomalies":null,)"
        R"("first_anomaly":null})"
        "\n");
}

// Runs of tabs are named as tabs, and as runs.
TEST(SurveyJson, NamesTabRuns)
{
    survey_report report;
    report.layout.kind = record_layout::lines;
    report.layout.delimiter = ' ';
    report.layout.tab_runs = true;
    EXPECT_NE(survey_json_line(report).find(R"("delimiter":"\t","delimiter_runs":true,)"),
              std::string::npos);
}

TEST(SurveyJson, ErrorNullsEveryKeyAfterIt)
{
    survey_report report;
    report.name = "caf\xE9";
    report.error = "Permission denied";
    report.layout.kind = record_layout::lines;
    report.layout.records = 3;
    EXPECT_EQ(
        survey_json_line(report),
        R"({"file":"caf\udce9","size":null,"error":"Permission denied","encoding":null,)"
        R"("layout":null,"format":null,"terminator":null,"segment_terminator":null,)"
        R"("record_length":null,)"
        R"("element_length":null,"header_length":null,)"
        R"("trailer_length":null,"records":null,"records_estimated":null,"shortest_record":null,)"
        R"("usual_record":null,)"
        R"("longest_record":null,"length_prefix":null,"delimiter":null,"delimiter_runs":null,"quote":null,)"
        R"("fields":null,"fewest_fields":null,"most_fields":null,"header_row":null,)"
        R"("columns":null,"record_types":null,"verified":null,"anomalies":null,)"
        R"("anomaly_kinds":null,"stray_bytes":null,"first_anomalies":null,"first_anomaly":null})"
        "\n");
}

// A known format by its name; binary records have no row of names, so
// header_row is null rather than false; an estimate of the records says
// so until --verify counts them.
TEST(SurveyJson, KnownFormatBinaryRecordsAndAnEstimate)
{
    survey_report report;
    report.name = "t.dbf";
    report.size = 1000;
    report.layout.encoding = text_encoding::binary;
    report.layout.kind = record_layout::fixed_length;
    report.layout.record_length = 40;
    report.layout.format_name = "dBASE table";
    report.layout.records = 24;
    report.layout.records_estimated = true;
    std::string line = survey_json_line(report);
    EXPECT_NE(line.find(R"("format":"dBASE table",)"), std::string::npos) << line;
    EXPECT_NE(line.find(R"("records":24,"records_estimated":true,)"), std::string::npos) << line;
    EXPECT_NE(line.find(R"("header_row":null,)"), std::string::npos) << line;
    report.verified = true;
    report.outcome.records = 23;
    line = survey_json_line(report);
    EXPECT_NE(line.find(R"("records":23,"records_estimated":false,)"), std::string::npos) << line;
}

// The prefix's form as an object; a type's fields as a number when its
// records agree, as a range when they do not; a segment terminator of its
// own in place of a line end.
TEST(SurveyJson, PrefixFormRecordTypesAndSegmentTerminator)
{
    survey_report report;
    report.name = "f";
    report.layout.kind = record_layout::length_prefixed;
    report.layout.length_prefix = length_prefix_form{4, 2, true, true, false, true};
    report.layout.shortest_record = 3;
    report.layout.usual_length = 9;
    report.layout.longest_record = 70000;
    std::string line = survey_json_line(report);
    EXPECT_NE(line.find(R"("layout":"length-prefixed")"), std::string::npos) << line;
    EXPECT_NE(line.find(R"("shortest_record":3,"usual_record":9,"longest_record":70000,)"
                        R"("length_prefix":{"size":4,"length_bytes":2,"byte_order":"big-endian",)"
                        R"("counts_itself":true,"repeated_after":false,"blocks":true})"),
              std::string::npos)
        << line;

    report.layout = {};
    report.layout.kind = record_layout::lines;
    report.layout.segment_terminator = '~';
    report.layout.record_types = {{"ISA", 1, 17, 17}, {"N1", 4, 3, 5}};
    line = survey_json_line(report);
    EXPECT_NE(line.find(R"("terminator":"~","segment_terminator":"~")"), std::string::npos) << line;
    // Segments a line each: the line end is the terminator, the segment's
    // own byte still named.
    report.layout.terminator = line_terminator::crlf;
    EXPECT_NE(survey_json_line(report).find(R"("terminator":"CRLF","segment_terminator":"~")"),
              std::string::npos);
    EXPECT_NE(line.find(R"("shortest_record":null,"usual_record":null)"), std::string::npos)
        << line;
    EXPECT_NE(line.find(R"("record_types":[{"tag":"ISA","records":1,"fields":17},)"
                        R"({"tag":"N1","records":4,"fields":[3,5]}])"),
              std::string::npos)
        << line;
}

} // namespace

// The manual's list of keys is the writer's table, name for name in order,
// each with its type and unit, and saying when it is null in the table's
// words.
TEST(JsonKeys, ManualDescribesEveryKeyInOrder)
{
    std::ifstream manual(KORVALEN_MANUAL);
    ASSERT_TRUE(manual) << KORVALEN_MANUAL;
    std::vector<std::string> listed;
    std::vector<std::string> bodies;
    bool in_list = false;
    std::string line, previous;
    while (std::getline(manual, line)) {
        bool heading = line.rfind(".SS ", 0) == 0 || line.rfind(".SH ", 0) == 0;
        if (heading)
            in_list = line == ".SS JSON keys";
        else if (in_list && previous == ".TP" && line.rfind(".BR ", 0) == 0) {
            listed.push_back(line.substr(4));
            bodies.emplace_back();
        } else if (in_list && !bodies.empty() && line != ".TP") {
            for (std::size_t at = line.find("\\-"); at != std::string::npos;
                 at = line.find("\\-", at))
                line.erase(at, 1);
            bodies.back() += line + " ";
        }
        previous = line;
    }
    std::vector<std::string> keys;
    for (const json_key& key : json_keys()) {
        std::string unit = *key.unit != '\0' ? std::string(", ") + key.unit : "";
        keys.push_back(std::string(key.name) + " \" (" + key.type + unit + ")\"");
    }
    ASSERT_EQ(listed, keys);
    for (std::size_t index = 0; index < keys.size(); index++)
        EXPECT_NE(bodies[index].find(json_keys()[index].null_when), std::string::npos)
            << keys[index] << ": " << bodies[index];
}
