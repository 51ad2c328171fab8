#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/crash/CCrashDumpWriter.h"
#include "app/crash/CrashDumpName.h"

namespace fs = std::filesystem;

namespace {

// The writer installs nothing in a sanitized build.
constexpr bool kSanitized = CCrashDumpWriter::kSanitized;

const std::string kChild = KESTREL_CRASH_CHILD;

// A fresh current folder for one child.
struct Folder {
    fs::path path;
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "kestrel-crash-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

// Runs the child in `folder` and returns its wait status.
int RunChild(const fs::path& folder, std::vector<std::string> args) {
    args.insert(args.begin(), kChild);
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (::chdir(folder.c_str()) == 0) {
            ::execv(argv[0], argv.data());
        }
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

// "<base>_YYYY-MM-DD_hh-mm-ss.DMP": digits where the shape has a d, its separators elsewhere.
// Matched by hand: std::regex drew a false uninitialized warning from GCC 12 in the sanitized
// build.
bool IsDumpName(const std::string& name, const std::string& base) {
    const std::string head = base + "_";
    const std::string shape = "dddd-dd-dd_dd-dd-dd";
    const std::string tail = ".DMP";
    if (name.size() != head.size() + shape.size() + tail.size() || !name.starts_with(head) ||
        !name.ends_with(tail)) {
        return false;
    }
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const char c = name[head.size() + i];
        if (shape[i] == 'd' ? (c < '0' || c > '9') : c != shape[i]) {
            return false;
        }
    }
    return true;
}

// The files in folder whose names follow the dump pattern for base.
std::vector<fs::path> Dumps(const fs::path& folder, const std::string& base) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (IsDumpName(entry.path().filename().string(), base)) {
            found.push_back(entry.path());
        }
    }
    return found;
}

bool StartsWithSignature(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::array<char, 4> head{};
    in.read(head.data(), head.size());
    return in && std::string(head.data(), 4) == "MDMP";
}

std::string Output(const std::string& command) {
    std::string text;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        return text;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        text.append(buffer, n);
    }
    ::pclose(pipe);
    return text;
}

} // namespace

TEST(CrashDumpName, ZeroPadsEveryFieldAndCutsAt259Characters) {
    const std::string longFolder(250, 'f');
    struct Case {
        std::int64_t seconds; // local time, as seconds since 1970
        const char* prefix;
        const char* base;
        std::string name;
    } cases[] = {
        {1231146187, "", "example", "example_2009-01-05_09-03-07.DMP"},
        {1231146187, "dumps/", "example", "dumps/example_2009-01-05_09-03-07.DMP"},
        {1234567890, "", "k", "k_2009-02-13_23-31-30.DMP"},
        {946684800, "", "k", "k_2000-01-01_00-00-00.DMP"},
        {951782400, "", "k", "k_2000-02-29_00-00-00.DMP"},  // leap day of a 400th year
        {4107542399, "", "k", "k_2100-02-28_23-59-59.DMP"}, // 2100 has none
        {-1, "", "k", "k_1969-12-31_23-59-59.DMP"},
        {1231146187, longFolder.c_str(), "example", longFolder + "example_2"},
    };
    for (const auto& c : cases) {
        char out[kDumpNameMax + 1];
        const std::size_t length = FormatDumpName(out, c.prefix, c.base, CalendarTime(c.seconds));
        EXPECT_EQ(std::string(out), c.name) << c.seconds;
        EXPECT_EQ(length, c.name.size());
    }
}

TEST(CrashDumpName, BaseNameIsTheProgramFileWithoutFolderAndExtension) {
    const std::pair<const char*, const char*> cases[] = {
        {"/usr/bin/kestrel", "kestrel"},
        {"/home/u/.local/bin/kestrel", "kestrel"}, // a dot in a folder is no extension
        {"/opt/a.b/kestrel.bin", "kestrel"},
        {"/tmp/.hidden", ".hidden"},
        {"kestrel", "kestrel"},
    };
    for (const auto& [path, base] : cases) {
        char out[261];
        ProgramBaseName(path, out, sizeof out);
        EXPECT_STREQ(out, base) << path;
    }
}

// Each fatal signal ends the child by that signal, with one dump named after the program.
TEST(CrashDumpWriter, EachFatalSignalLeavesOneDumpAndEndsByThatSignal) {
    const std::pair<const char*, int> cases[] = {
        {"segv", SIGSEGV}, {"bus", SIGBUS}, {"fpe", SIGFPE}, {"ill", SIGILL}, {"abrt", SIGABRT}};
    for (const auto& [how, signo] : cases) {
        Folder folder;
        const int status = RunChild(folder.path, {how});
        const auto dumps = Dumps(folder.path, "crash_dump_child");
        if (kSanitized) {
            // The writer steps aside: the sanitizers report, and no dump is written.
            EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << how;
            EXPECT_TRUE(dumps.empty()) << how;
            continue;
        }
        ASSERT_TRUE(WIFSIGNALED(status)) << how << " status " << status;
        EXPECT_EQ(WTERMSIG(status), signo) << how;
        EXPECT_FALSE(WCOREDUMP(status)) << how;
        ASSERT_EQ(dumps.size(), 1u) << how;
        EXPECT_TRUE(StartsWithSignature(dumps[0])) << how;
        EXPECT_EQ(std::distance(fs::directory_iterator(folder.path), fs::directory_iterator()), 1)
            << how;
    }
}

TEST(CrashDumpWriter, AGivenFolderIsCreatedAndAnUncreatableOneMeansTheCurrentFolder) {
    if (kSanitized) {
        GTEST_SKIP() << "the writer installs nothing in a sanitized build";
    }
    Folder folder;
    // Created even when nothing crashes.
    ASSERT_EQ(RunChild(folder.path, {"exit", "", "dumps"}), 0);
    EXPECT_TRUE(fs::is_directory(folder.path / "dumps"));

    RunChild(folder.path, {"segv", "given", "dumps"});
    EXPECT_EQ(Dumps(folder.path / "dumps", "given").size(), 1u);
    EXPECT_TRUE(Dumps(folder.path, "given").empty());

    RunChild(folder.path, {"segv", "fallback", "missing/deeper"});
    EXPECT_EQ(Dumps(folder.path, "fallback").size(), 1u);
    EXPECT_FALSE(fs::exists(folder.path / "missing"));

    // A file in the folder's place could never hold a dump.
    std::ofstream(folder.path / "taken") << "x";
    RunChild(folder.path, {"segv", "taken", "taken"});
    EXPECT_EQ(Dumps(folder.path, "taken").size(), 1u);
}

// lldb opens the dump with the program and shows the signal and the faulting function.
TEST(CrashDumpWriter, LldbShowsTheSignalAndTheFaultingFunction) {
    if (kSanitized) {
        GTEST_SKIP() << "the writer installs nothing in a sanitized build";
    }
    Folder folder;
    RunChild(folder.path, {"segv"});
    const auto dumps = Dumps(folder.path, "crash_dump_child");
    ASSERT_EQ(dumps.size(), 1u);
    ASSERT_EQ(::access("/usr/bin/lldb", X_OK), 0) << "lldb is installed by scripts/setup";
    const std::string bt =
        Output("/usr/bin/lldb -b " + kChild + " -c " + dumps[0].string() + " -o bt 2>&1");
    EXPECT_NE(bt.find("SIGSEGV"), std::string::npos) << bt;
    EXPECT_NE(bt.find("WriteThroughNullPointer"), std::string::npos) << bt;
    EXPECT_NE(bt.find("main"), std::string::npos) << bt;
}

// libtorrent's own SIGSEGV and SIGBUS handlers, for its memory-mapped files, are in place once
// it has touched the disk: a crash after that still leaves its dump, and a fault on a file cut
// short under it is still its error.
TEST(CrashDumpWriter, CrashAfterADownloadWroteToDiskLeavesItsDump) {
    if (kSanitized) {
        GTEST_SKIP() << "the writer installs nothing in a sanitized build";
    }
    Folder folder;
    const int status = RunChild(folder.path, {"download"});
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);
    EXPECT_EQ(Dumps(folder.path, "crash_dump_child").size(), 1u);
}

TEST(CrashDumpWriter, AFaultOnAFileTruncatedUnderTheLibraryIsItsErrorNotACrash) {
    Folder folder;
    const int status = RunChild(folder.path, {"truncated"});
    ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: no signal error from the library";
    EXPECT_TRUE(Dumps(folder.path, "crash_dump_child").empty());
}

// A dump that runs past its limit (here 1 ms, against a memory map of 20,000 lines) is ended
// and its cut file removed; the process still ends by the crash's signal, without a core file.
// The same crash with the usual limit leaves its whole dump.
TEST(CrashDumpWriter, ADumpPastItsLimitIsEndedAndItsCutFileRemoved) {
    if (kSanitized) {
        GTEST_SKIP() << "the writer installs nothing in a sanitized build";
    }
    Folder whole;
    int status = RunChild(whole.path, {"maps"});
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    ASSERT_EQ(Dumps(whole.path, "crash_dump_child").size(), 1u);

    Folder cut;
    status = RunChild(cut.path, {"maps", "", "", "1"});
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);
    EXPECT_FALSE(WCOREDUMP(status));
    EXPECT_EQ(std::distance(fs::directory_iterator(cut.path), fs::directory_iterator()), 0);
}

// The dump's name can be known in advance to the second. What stands there already (a link to
// someone's file, a file of another user) is neither followed nor cut, nor removed when the
// dump's limit (1 ms) runs out as the file is opened; the crash still ends the process by its
// signal.
TEST(CrashDumpWriter, WhatStandsAtTheDumpsNameIsNeitherFollowedNorCut) {
    if (kSanitized) {
        GTEST_SKIP() << "the writer installs nothing in a sanitized build";
    }
    // The limit in ms: "" for the writer's own.
    for (const auto& [link, limit] :
         {std::pair{true, ""}, std::pair{false, ""}, std::pair{true, "1"}, std::pair{false, "1"}}) {
        SCOPED_TRACE(std::string(link ? "a link" : "another user's file") + ", limit " + limit);
        Folder folder;
        const fs::path victim = folder.path / "victim";
        std::ofstream(victim) << "precious";
        // Every name the next ten seconds can give.
        const time_t now = ::time(nullptr);
        for (time_t t = now; t < now + 10; ++t) {
            tm local{};
            ::localtime_r(&t, &local);
            char name[kDumpNameMax + 1];
            FormatDumpName(name, "", "planted", CalendarTime(t + local.tm_gmtoff));
            const fs::path at = folder.path / name;
            if (link) {
                fs::create_symlink(victim, at);
            } else {
                std::ofstream(at) << "theirs";
                if (::chown(at.c_str(), 4242, 4242) != 0 || ::geteuid() == 4242) {
                    GTEST_SKIP() << "cannot give a file to another user here";
                }
            }
        }
        const int status =
            RunChild(folder.path, *limit ? std::vector<std::string>{"segv", "planted", "", limit}
                                         : std::vector<std::string>{"segv", "planted"});
        ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
        EXPECT_EQ(WTERMSIG(status), SIGSEGV);
        // Only the first bytes are compared: a dump written there would fill the log.
        const auto head = [](const fs::path& file) {
            std::ifstream in(file);
            return std::string(std::istreambuf_iterator<char>(in), {}).substr(0, 16);
        };
        EXPECT_EQ(head(victim), "precious");
        const auto planted = Dumps(folder.path, "planted");
        EXPECT_EQ(planted.size(), 10u);
        for (const auto& dump : planted) {
            if (!link) {
                EXPECT_EQ(head(dump), "theirs");
            }
        }
    }
}

// A thread the program starts has a signal stack of its own: its stack overflow is written.
TEST(CrashDumpWriter, AStackOverflowOnAThreadOfTheProgramLeavesItsDump) {
    if (kSanitized) {
        GTEST_SKIP() << "the writer installs nothing in a sanitized build";
    }
    Folder folder;
    const int status = RunChild(folder.path, {"thread-overflow"});
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);
    EXPECT_FALSE(WCOREDUMP(status));
    const auto dumps = Dumps(folder.path, "crash_dump_child");
    ASSERT_EQ(dumps.size(), 1u);
    EXPECT_TRUE(StartsWithSignature(dumps[0]));
}
