// Whole files written in one step: only over a regular file or at a new
// path, through a link, keeping the mode; nothing left behind by a failure
// or by a run killed before its rename.
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "analysis/output_file.h"
#include "analysis/report.h"

namespace quorrel {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

mode_t mode_of(const fs::path& p) {
    struct stat info {};
    EXPECT_EQ(::lstat(p.c_str(), &info), 0) << p;
    return info.st_mode;
}

class OutputFile : public ::testing::Test {
public:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("quorrel_output_file_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path at(const std::string& name) const { return dir_ / name; }
    void put(const std::string& name, const std::string& text) const {
        std::ofstream(at(name), std::ios::binary) << text;
    }
    std::set<std::string> names() const {
        std::set<std::string> all;
        for (const auto& e : fs::directory_iterator(dir_)) all.insert(e.path().filename());
        return all;
    }
    fs::path dir_;
};

// What a write makes of each kind of thing at the path.
TEST_F(OutputFile, OnlyRegularFilesAndNewPathsAreWritten) {
    struct Case {
        const char* label;
        std::function<bool(OutputFile&)> make;  // false: cannot be made here
        const char* error;                      // "" when written
        std::function<void(OutputFile&)> check;
    };
    const std::vector<Case> cases = {
        {"a new path", [](OutputFile&) { return true; }, "",
         [](OutputFile& t) {
             EXPECT_EQ(slurp(t.at("out")), "new");
             EXPECT_EQ(mode_of(t.at("out")) & 07777, 0644u);
         }},
        {"a regular file keeps its mode",
         [](OutputFile& t) {
             t.put("out", "old");
             fs::permissions(t.at("out"), fs::perms(0640));
             return true;
         },
         "",
         [](OutputFile& t) {
             EXPECT_EQ(slurp(t.at("out")), "new");
             EXPECT_EQ(mode_of(t.at("out")) & 07777, 0640u);
         }},
        {"a link is written through and kept",
         [](OutputFile& t) {
             t.put("target", "old");
             fs::create_symlink("target", t.at("out"));
             return true;
         },
         "",
         [](OutputFile& t) {
             EXPECT_TRUE(S_ISLNK(mode_of(t.at("out"))));
             EXPECT_EQ(slurp(t.at("target")), "new");
         }},
        {"a link to a missing file makes it",
         [](OutputFile& t) {
             fs::create_symlink("made", t.at("out"));
             return true;
         },
         "",
         [](OutputFile& t) {
             EXPECT_TRUE(S_ISLNK(mode_of(t.at("out"))));
             EXPECT_EQ(slurp(t.at("made")), "new");
         }},
        {"a FIFO is refused",
         [](OutputFile& t) { return ::mkfifo(t.at("out").c_str(), 0644) == 0; },
         "it is not a regular file",
         [](OutputFile& t) { EXPECT_TRUE(S_ISFIFO(mode_of(t.at("out")))); }},
        {"a device is refused",
         [](OutputFile& t) {
             return ::mknod(t.at("out").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
         },
         "it is not a regular file",
         [](OutputFile& t) { EXPECT_TRUE(S_ISCHR(mode_of(t.at("out")))); }},
        {"a link to a device is refused",
         [](OutputFile& t) {
             fs::create_symlink("/dev/null", t.at("out"));
             return true;
         },
         "it is not a regular file",
         [](OutputFile& t) {
             EXPECT_TRUE(S_ISLNK(mode_of(t.at("out"))));
             EXPECT_TRUE(S_ISCHR(mode_of("/dev/null")));
         }},
        {"a socket is refused",
         [](OutputFile& t) {
             const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             const std::string p = t.at("out").string();
             if (fd < 0 || p.size() >= sizeof address.sun_path) return false;
             std::strcpy(address.sun_path, p.c_str());
             const bool made =
                 ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
             ::close(fd);
             return made;
         },
         "it is not a regular file",
         [](OutputFile& t) { EXPECT_TRUE(S_ISSOCK(mode_of(t.at("out")))); }},
        {"a read-only file is refused",
         [](OutputFile& t) {
             t.put("out", "old");
             fs::permissions(t.at("out"), fs::perms(0444));
             return true;
         },
         "the file is read-only",
         [](OutputFile& t) { EXPECT_EQ(slurp(t.at("out")), "old"); }},
        {"a folder is refused",
         [](OutputFile& t) { return fs::create_directory(t.at("out")); }, "it is a folder",
         [](OutputFile& t) { EXPECT_TRUE(fs::is_directory(t.at("out"))); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        if (!c.make(*this)) {
            ADD_FAILURE() << "could not be made here";
            continue;
        }
        const std::set<std::string> before = names();
        const std::string reason = replace_file(at("out").string(), "new");
        if (*c.error == '\0') {
            EXPECT_EQ(reason, "");
        } else {
            EXPECT_EQ(reason, "cannot write " + at("out").string() + ": " +
                                  output_target(at("out").string()).error);
            EXPECT_NE(reason.find(c.error), std::string::npos) << reason;
            EXPECT_EQ(names(), before);
        }
        c.check(*this);
        for (const std::string& n : names())
            EXPECT_EQ(n.find(".quorrel-"), std::string::npos) << "left behind: " << n;
    }
}

// Runs `write` in a child that may write no byte to any file; its status is
// 0 when `write` reported a failure.
int without_file_space(const std::function<bool()>& write) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit none{0, 0};
        ::setrlimit(RLIMIT_FSIZE, &none);
        ::_exit(write() ? 1 : 0);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A write that fails leaves the folder as it was: the old file whole, no
// temporary, and no empty file where there was none.
TEST_F(OutputFile, FailedWritesLeaveNothingBehind) {
    put("kept", "old text");
    const std::set<std::string> before = names();
    const std::string kept = at("kept").string(), fresh = at("fresh").string();
    EXPECT_EQ(without_file_space([&] { return replace_file(kept, "new text").empty(); }), 0);
    EXPECT_EQ(without_file_space([&] { return replace_file(fresh, "new text").empty(); }), 0);
    EXPECT_EQ(without_file_space([&] { return append_report(fresh, {"a line"}).empty(); }), 0);
    EXPECT_EQ(names(), before);
    EXPECT_EQ(slurp(at("kept")), "old text");
    // An existing report keeps what it held.
    EXPECT_EQ(without_file_space([&] { return append_report(kept, {"a line"}).empty(); }), 0);
    EXPECT_EQ(slurp(at("kept")), "old text");
}

// The temporary of a run killed before its rename goes at the next save;
// one of a run still going, and other files, stay.
TEST_F(OutputFile, StaleTemporariesOfOurOwnAreRemoved) {
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const std::string target = at("c.case").string();
    const std::string stale = temporary_prefix(target, gone) + "Ab12Cd";
    const std::string live = temporary_prefix(target, ::getpid()) + "Zz98Yy";
    const std::vector<std::string> others = {target + ".XXXXXX", target + ".quorrel-x-123456",
                                             at("d.case").string() + ".quorrel-" +
                                                 std::to_string(gone) + "-Ab12Cd"};
    for (const std::string& p : {stale, live}) std::ofstream(p) << "partial";
    for (const std::string& p : others) std::ofstream(p) << "other";
    ASSERT_EQ(replace_file(target, "saved"), "");
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(live));
    for (const std::string& p : others) EXPECT_TRUE(fs::exists(p)) << p;
    EXPECT_EQ(slurp(target), "saved");
}

}  // namespace
}  // namespace quorrel
