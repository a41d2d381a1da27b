// A batch's text read line by line: RFC 4180 fields, the header telling a
// CSV from a list of case files, and the refusals a person can act on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/batch_csv.h"

namespace quorrel {
namespace {

struct TextCase {
    const char* label;
    std::string text;
    bool csv;
    std::string header_error;  // "" when the header is read
    // Each row's fields joined by '|', or "!" and the start of its error.
    std::vector<std::string> rows;
};

std::string shown(const CsvRow& row) {
    if (!row.error.empty()) return "!" + row.error;
    std::string s;
    for (std::size_t k = 0; k < row.fields.size(); ++k) s += (k ? "|" : "") + row.fields[k];
    return s;
}

TEST(BatchText, HeaderFieldsAndRowsAsWritten) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::vector<TextCase> cases = {
        {"quoted commas and doubled quotes", "name,wealth\n\"Smith, \"\"J\"\"\",\"750,000\"\n",
         true, "", {"Smith, \"J\"|750,000"}},
        {"CRLF line ends", "name,age\r\na,70\r\nb,71\r\n", true, "", {"a|70", "b|71"}},
        {"byte order mark before the header", bom + "name,age\na,70\n", true, "", {"a|70"}},
        {"options with dashes, spaces trimmed", " --age , wealth\n 70 , 1\n", true, "", {"70|1"}},
        {"blank lines are no rows", "age\n\n70\n   \n71", true, "", {"70", "71"}},
        {"an open quote is its own row's error", "name,age\n\"a,70\nb,71\n", true, "",
         {"!a quote is not closed on its line", "b|71"}},
        {"a stray quote is its row's error", "name,age\na\"b,70\nc,71\n", true, "",
         {"!a quote inside a field", "c|71"}},
        {"an unknown column is named", "name,age,colour\na,70,red\n", true,
         "column 3 \"colour\" is neither \"name\" nor an input option", {}},
        {"a repeated column is named", "age,name,--age\n70,a,71\n", true,
         "column 3 \"--age\" repeats column 1", {}},
        {"an empty column name", "name,,age\n", true, "column 2 of the header has no name", {}},
        {"semicolons are refused, not guessed", "name;age;wealth\na;70;1\n", false,
         "the header separates its columns by ';'", {}},
        {"a list of case files", "# clients\na.case\n\n  b, c.case \r\n", false, "",
         {"a.case", "b, c.case"}},
        {"a list starting with a blank line", "\n\nx.case\n", false, "", {"x.case"}},
        {"header only", "name,age\n", true, "", {}},
        {"nothing at all", "", false, "", {}},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.label);
        const BatchText batch = read_batch_text(c.text);
        EXPECT_EQ(batch.header.csv, c.csv);
        if (c.header_error.empty()) {
            EXPECT_EQ(batch.header.error, "");
        } else {
            EXPECT_EQ(batch.header.error.rfind(c.header_error, 0), 0u) << batch.header.error;
            EXPECT_TRUE(batch.rows.empty());
        }
        ASSERT_EQ(batch.rows.size(), c.rows.size());
        for (std::size_t i = 0; i < c.rows.size(); ++i) {
            const std::string got = shown(batch.rows[i]);
            if (c.rows[i][0] == '!')
                EXPECT_EQ(got.rfind(c.rows[i], 0), 0u) << got;
            else
                EXPECT_EQ(got, c.rows[i]);
        }
    }
}

// A line longer than the limit is an error of its row alone, and the reader
// goes on with the next.
TEST(BatchText, OverlongLineIsItsRowsError) {
    const std::string text =
        "name,age\n" + std::string(kBatchLineLimit + 10, 'x') + ",70\nb,71\n";
    const BatchText batch = read_batch_text(text);
    ASSERT_EQ(batch.rows.size(), 2u);
    EXPECT_NE(batch.rows[0].error.find("longer than"), std::string::npos);
    EXPECT_EQ(shown(batch.rows[1]), "b|71");
}

// The reader keeps no state from one line to the next: reading each line
// alone gives the rows of reading them in one text.
TEST(BatchText, LinesReadAloneAsInOneText) {
    const std::vector<std::string> lines = {"\"a,70", "b,71", "c\"d,72", "\"e\",\"7\"\"3\""};
    std::string text = "name,age\n";
    for (const std::string& l : lines) text += l + "\n";
    const BatchText whole = read_batch_text(text);
    ASSERT_EQ(whole.rows.size(), lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        CsvLineReader alone;
        EXPECT_EQ(shown(alone.read(lines[i])), shown(whole.rows[i])) << lines[i];
    }
}

}  // namespace
}  // namespace quorrel
