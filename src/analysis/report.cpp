#include "analysis/report.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "analysis/case_summary.h"
#include "analysis/input_catalogue.h"
#include "record/number_format.h"
#include "record/published_figures.h"

namespace quorrel {
namespace {

const std::string kSeparator(20, ' ');

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// The published median multiple (as shown, two decimals) turned back into
// money; the raw figure stands in only if the cell was never published.
double median_estate(const ResultsRecord& results, const AnalysisState& state, std::size_t row) {
    return shown_value(results, kEstateFigures, row, 1) * state.net_investable_wealth;
}

// The household's lines: the spouse, the survivor terms, the split lifetime
// ruin and the last death.
void household_lines(const AnalysisState& s, const HouseholdFigures& h,
                     std::vector<std::string>& lines) {
    auto text = [&lines](const std::string& t) {
        lines.push_back(quoted(t));
        lines.push_back(kSeparator);
    };
    text("Spouse's Age : " + str_form(s.spouse_age) +
         "   Spouse's Gender : " + gender_caption(s.spouse_gender_code));
    text("Spouse's CPI - linked Pension :  $" + format_grouped0(s.spouse_pension_cpi_income));
    text("Survivor Spending :  " + fixed_text(s.survivor_spending * 100, 0) + "%" +
         "   Survivor Share :  " + fixed_text(s.survivor_share * 100, 0) + "%");
    text("Life Time Ruin Probability while both were alive :  " +
         format_percent2(h.lifetime_ruin_both[0]));
    text("Life Time Ruin Probability while a survivor lived :  " +
         format_percent2(h.lifetime_ruin_survivor[0]));
    text("Expected Age at the Last Death :  " + fixed_text(h.expected_last_death_age, 1) +
         "   90th Percentile :  " + fixed_text(h.last_death_age_90, 1));
}

// The rule and its terms, then the spending percentiles in today's money
// with the chance of spending the floor, at each horizon.
void spending_lines(const AnalysisState& s, const ResultsRecord& r,
                    std::vector<std::string>& lines) {
    auto text = [&lines](const std::string& t) {
        lines.push_back(quoted(t));
        lines.push_back(kSeparator);
    };
    for (const auto& row : spending_terms(s, false).rows) {
        std::string caption = row[0];
        caption.pop_back();  // its colon
        text(caption + " :  " + row[1]);
    }
    for (std::size_t h = 0; h < 3; ++h) {
        std::string line = "Spending in " + format_grouped0(kGridHorizons[h]) +
                           " years (25% / Median / 75%) :  ";
        for (std::size_t k = 0; k < 3; ++k)
            line += (k > 0 ? " / $" : "$") + shown_text(r, kSpendingFigures, h, k);
        text(line + "   At the Floor :  " + at_floor_text(r, h));
    }
}

}  // namespace

std::vector<std::string> report_lines(const AnalysisState& s, const ResultsRecord& results,
                                      const std::string& liquid_wealth_text,
                                      const std::string& date_time_text) {
    std::vector<std::string> lines;
    lines.reserve(58);
    auto text = [&lines](const std::string& t) { lines.push_back(quoted(t)); };
    auto sep = [&lines](int n = 1) {
        for (int i = 0; i < n; ++i) lines.push_back(kSeparator);
    };
    const std::string later_years = str_form(s.later_allocation_years);

    text("Retirement Ruin and Quorrel");
    sep();
    text("------------------Output-------------------");
    sep();
    text("----------Summary: at: " + date_time_text + "------------");
    sep(2);
    text("Current Age : " + str_form(s.current_age));
    sep();
    text("Life Expectancy : " + format_grouped0(s.expected_death_age));
    sep();
    text("Gender : " + s.gender_text);
    sep(2);
    text("Mortality Table(Probability) : " + s.ruin_table_name);
    sep();
    text("Number of Projected Years(Probability) : " + s.ruin_projection_text);
    sep();
    text("Mortality Table(Annuity) : " + s.annuity_table_name);
    sep();
    text("Number of Projected Years(Annuity) : " + s.annuity_projection_text);
    sep(2);
    text("Liquid Retirement Wealth :  $" + liquid_wealth_text);
    sep();
    text("Real Target Income :  $" + format_grouped0(s.target_income));
    sep();
    text("Net Investable Wealth :  $" + format_grouped0(s.net_investable_wealth));
    sep();
    text("Net Consumption Deficit :  $" + format_grouped0(s.consumption_deficit));
    sep(2);
    text("Current Expected Return :  " + format_percent2(s.current_expected_return));
    sep();
    text("Expected Return -- " + later_years +
         " Years later  :  " + format_percent2(s.later_expected_return));
    sep();
    text("Current Standard Deviation :  " + format_percent2(s.current_standard_deviation));
    sep();
    text("Standard Deviation -- " + later_years +
         " Years later :  " + format_percent2(s.later_standard_deviation));
    sep();
    // A report without a fee stays as it was; the expected returns above are after it.
    if (s.advisory_fee != 0) {
        text("Advisory Fee (per year) :  " + format_percent2(s.advisory_fee));
        sep();
    }
    text("Implied Inflation Assumption :  " + format_percent2(s.implied_inflation));
    sep(2);
    text("Ruin Probability in 10 years :  " + shown_text(results, kRuinFigures, 0, 0));
    sep();
    text("Ruin Probability in 20 years :  " + shown_text(results, kRuinFigures, 0, 1));
    sep();
    text("Ruin Probability in 30 years :  " + shown_text(results, kRuinFigures, 0, 2));
    sep();
    text("Life Time Ruin Probability :  " + shown_text(results, kRuinFigures, 0, 3));
    sep();
    // A household's lines come only with a spouse; a single person's report
    // stays as it was.
    if (results.household.present) household_lines(s, results.household, lines);
    sep();
    text("Median Estate Value in 10 years :  $" + format_grouped0(median_estate(results, s, 0)));
    sep();
    text("Median Estate Value in 20 years :  $" + format_grouped0(median_estate(results, s, 1)));
    sep();
    text("Median Estate Value in 30 years :  $" + format_grouped0(median_estate(results, s, 2)));
    sep();
    // Spending that follows wealth adds its lines; under the fixed rule the
    // report stays as it was.
    if (s.spending_rule != 0) spending_lines(s, results, lines);
    // Only a refined calculation adds a line; a standard report stays as it was.
    if (results.refined) text(results.scheme_line);
    return lines;
}

std::string report_file_name(const std::string& name) {
    // A chosen name that already ends in .txt is kept as it is, rather than
    // becoming "name.txt.txt".
    static const std::string kExtension = ".txt";
    if (name.size() >= kExtension.size()) {
        bool same = true;
        const size_t start = name.size() - kExtension.size();
        for (size_t i = 0; i < kExtension.size(); ++i) {
            const char c = name[start + i];
            const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
            if (lower != kExtension[i]) same = false;
        }
        if (same) return name;
    }
    return name + kExtension;
}

std::string append_report(const std::string& path, const std::vector<std::string>& lines) {
    try {
        // Lines end in CR LF, the report's line end on every system it is read on.
        std::string content;
        for (const std::string& line : lines) {
            content += line;
            content += "\r\n";
        }

        // Made here or already there: a file this call made is taken away
        // again when the report cannot be written into it.
        bool created = false;
        int fd = -1;
        struct stat info {};
        bool known = false;
        for (int attempt = 0;; ++attempt) {
            created = true;
            fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0666);
            if (fd < 0 && errno == EEXIST) {
                created = false;
                fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
            }
            if (fd < 0) return std::strerror(errno);
            // Other processes may append to the same file. Under the exclusive
            // lock the end of the file is where this report starts, and a
            // failed write can take out exactly its own bytes, never a report
            // appended meanwhile. (A file system without locks still gets the
            // report, only unguarded.)
            while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
            }
            known = ::fstat(fd, &info) == 0;
            // The file another call made and took away again, its report
            // failing, while this one waited for the lock: open it afresh.
            if (known && info.st_nlink == 0 && attempt < 100) {
                ::close(fd);
                continue;
            }
            break;
        }
        const bool regular = known && S_ISREG(info.st_mode);
        const off_t start = regular ? info.st_size : 0;

        // The whole report in one call; a short write (a size limit, a full
        // disk) is continued, and its error ends the attempt.
        const char* data = content.data();
        size_t left = content.size();
        int error = 0;
        while (left > 0) {
            const ssize_t written = ::write(fd, data, left);
            if (written < 0) {
                if (errno == EINTR) continue;
                error = errno;
                break;
            }
            data += written;
            left -= static_cast<size_t>(written);
        }
        if (error != 0 && regular && ::ftruncate(fd, start) != 0) {
            // Nothing more can be done; the write error is what matters.
        }
        // Taken away while the lock is held, so that no other report goes
        // into it after; closing releases the lock.
        if (error != 0 && created && regular && start == 0) ::unlink(path.c_str());
        if (::close(fd) != 0 && error == 0) error = errno;
        return error == 0 ? std::string() : std::strerror(error);
    } catch (...) {
        return "not enough memory to write the report";
    }
}

void ignore_file_size_signal() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace quorrel
