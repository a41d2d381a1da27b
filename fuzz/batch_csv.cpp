// libFuzzer target: any bytes as a batch's text. The reader must not crash,
// must give one line's row per line, and never a field holding a line end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "cli/batch_csv.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const quorrel::BatchText batch = quorrel::read_batch_text(text);
    std::size_t lines = 1;
    for (const char c : text) lines += c == '\n' ? 1 : 0;
    if (batch.rows.size() > lines) std::abort();
    if (!batch.header.error.empty() && !batch.rows.empty()) std::abort();
    for (const quorrel::CsvRow& row : batch.rows) {
        if (!row.error.empty() && batch.header.csv && !row.fields.empty()) std::abort();
        for (const std::string& field : row.fields) {
            if (field.find('\n') != std::string::npos) std::abort();
            if (field.size() > quorrel::kBatchLineLimit) std::abort();
        }
    }
    if (batch.header.csv && batch.header.error.empty() && batch.header.columns.empty())
        std::abort();
    return 0;
}
