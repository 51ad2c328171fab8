// The save folder on real file systems: a small tmpfs, a read-only mount, and FAT32, exFAT and
// NTFS images served by Debian's FUSE programs, each mounted in the test's own mount namespace.
#include "app/CKestrelDlg.h"

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <utility>

#include <sys/mount.h>
#include <unistd.h>

#include <QProcess>
#include <QStandardPaths>

#include "app/StatusText.h"
#include "engine/DownloadEngine.h"
#include "engine/EngineEvent.h"
#include "support/EngineRun.h"
#include "support/WindowSwarm.h"

namespace fs = std::filesystem;

namespace {

const QString kTitle = "Select the directory you would like to save the file to";

QString Tool(const QString& name) {
    const QStringList sbin = {"/usr/sbin", "/sbin", "/usr/bin", "/bin"};
    const QString found = QStandardPaths::findExecutable(name);
    return found.isEmpty() ? QStandardPaths::findExecutable(name, sbin) : found;
}

// Runs a program to its end, its output passed on; its standard output when asked.
bool RunTool(const QString& program, const QStringList& args, QString* out = nullptr) {
    QProcess p;
    p.setProcessChannelMode(out ? QProcess::ForwardedErrorChannel : QProcess::ForwardedChannels);
    p.start(Tool(program), args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit) {
        return false;
    }
    if (out) {
        *out = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    }
    return p.exitCode() == 0;
}

// One mounted file system, unmounted (and its loop device let go) with the object; its
// serving program ends with the unmount.
class Mount {
public:
    Mount() = default;
    Mount(fs::path at, QString loop = {}) : at_(std::move(at)), loop_(std::move(loop)) {}
    Mount(Mount&& o) noexcept : at_(std::exchange(o.at_, {})), loop_(std::exchange(o.loop_, {})) {}
    ~Mount() {
        if (!at_.empty() && ::umount2(at_.c_str(), 0) != 0) {
            ::umount2(at_.c_str(), MNT_DETACH);
        }
        if (!loop_.isEmpty()) {
            RunTool("losetup", {"-d", loop_});
        }
    }
    Mount& operator=(Mount&& o) noexcept {
        std::swap(at_, o.at_);
        std::swap(loop_, o.loop_);
        return *this;
    }
    bool ok() const { return !at_.empty(); }

private:
    fs::path at_;
    QString loop_;
};

enum class Image { Fat32, Exfat, Ntfs };

class DlgDrives : public WindowSwarm {
protected:
    void arrange() override {
        if (std::getenv("KESTREL_OWN_MOUNTS") == nullptr || ::geteuid() != 0) {
            GTEST_SKIP() << "needs root in a mount namespace of its own (run through ctest)";
        }
    }

    // A tmpfs of `bytes` at temp/<name>, read-only when asked.
    fs::path tmpfs(const std::string& name, std::uint64_t bytes, bool readOnly = false) {
        const fs::path at = temp.path() / name;
        fs::create_directories(at);
        const std::string size = "size=" + std::to_string(bytes);
        EXPECT_EQ(::mount("tmpfs", at.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, size.c_str()), 0)
            << std::strerror(errno);
        mounts.emplace_back(at);
        return at;
    }

    // A fresh 64 MiB image of the kind, mounted through its FUSE program at temp/<name>; an
    // empty path (the test skipped) where the tools or /dev/fuse are missing.
    fs::path image(Image kind, const std::string& name) {
        const struct {
            QString make, serve;
            QStringList makeArgs;
        } tools[] = {
            {"mkfs.vfat", "fusefat", {"-F", "32"}},
            {"mkfs.exfat", "mount.exfat-fuse", {}},
            {"mkntfs", "ntfs-3g", {"-F", "-Q"}},
        };
        const auto& t = tools[static_cast<int>(kind)];
        if (Tool(t.make).isEmpty() || Tool(t.serve).isEmpty() || !fs::exists("/dev/fuse")) {
            return {};
        }
        const fs::path file = temp.path() / (name + ".img");
        const fs::path at = temp.path() / name;
        fs::create_directories(at);
        std::ofstream(file).close();
        fs::resize_file(file, 64 << 20);
        const QString img = QString::fromStdString(file.string());
        if (!RunTool(t.make, t.makeArgs + QStringList{img})) {
            ADD_FAILURE() << "cannot make the image with " << t.make.toStdString();
            return {};
        }
        QString source = img, loop;
        // As root the exFAT program serves block devices only.
        if (kind == Image::Exfat && !RunTool("losetup", {"-f", "--show", img}, &loop)) {
            return {};
        }
        if (!loop.isEmpty()) {
            source = loop;
        }
        const QStringList options = kind == Image::Fat32 ? QStringList{"-o", "rw+"} : QStringList{};
        if (!RunTool(t.serve, options + QStringList{source, QString::fromStdString(at.string())})) {
            ADD_FAILURE() << "cannot mount the image with " << t.serve.toStdString();
            Mount unused({}, loop);
            return {};
        }
        mounts.emplace_back(at, loop);
        return at;
    }

    // Runs the window's start with the folders answered in turn; the last answer cancels.
    std::unique_ptr<CKestrelDlg> start(const std::vector<fs::path>& folders) {
        prompt.folders.clear();
        for (const auto& f : folders) {
            prompt.folders.push_back(QString::fromStdString(f.string()));
        }
        return startDlg();
    }
    std::vector<QString> messages() const { return prompt.texts(RecordingPrompt::Kind::Message); }
    // The space the set takes on a file system allocating in `block` units.
    std::uint64_t setBytes(std::uint64_t block) const {
        std::uint64_t total = 0;
        for (const auto& f : fs::recursive_directory_iterator(pub->contentRoot())) {
            if (f.is_regular_file()) {
                total += (f.file_size() + block - 1) / block * block;
            }
        }
        return total;
    }
    // The publisher's largest file, relative to its set's folder.
    fs::path largestFile() const {
        fs::path largest;
        std::uintmax_t size = 0;
        for (const auto& f : fs::recursive_directory_iterator(pub->contentRoot())) {
            if (f.is_regular_file() && f.file_size() > size) {
                size = f.file_size();
                largest = fs::relative(f.path(), pub->contentRoot());
            }
        }
        return largest;
    }
    // Refused with this text, asked again, cancelled: closed without a session or a byte.
    void expectRefusedThenClosed(const CKestrelDlg& dlg, const QString& text) {
        EXPECT_EQ(messages(), std::vector<QString>{text});
        EXPECT_EQ(prompt.texts(RecordingPrompt::Kind::Folder),
                  (std::vector<QString>{kTitle, kTitle}));
        EXPECT_TRUE(dlg.Ended());
        EXPECT_EQ(dlg.Engine(), nullptr);
        EXPECT_EQ(pub->webSeedBytesSent(), 0u);
    }

    std::vector<Mount> mounts;
    std::unique_ptr<swarm::Peer> seeder;
};

// Before the check the program started on any folder and said "Disk space is full" only when
// the disk had filled.
TEST_F(DlgDrives, TooLittleFreeSpaceIsRefusedWithTheFiguresAndWhatIsThereCounts) {
    startPublisher(4 << 20);
    const fs::path small = tmpfs("small", 3 << 20);
    {
        auto dlg = start({small});
        expectRefusedThenClosed(*dlg, "Not enough disk space: " + ScaledText(setBytes(4096)) +
                                          " more is needed, 3.00 MB is free. Please make room or "
                                          "choose another folder");
        EXPECT_TRUE(fs::is_empty(small)) << "the trial write left nothing behind";
    }
    // Less free space than the whole set, but its largest file is there already: the rest fits.
    prompt.entries.clear();
    seeder = peer(swarm::Peer::Role::Seeder, "127.0.0.11");
    const fs::path partly = tmpfs("partly", 5 << 20);
    const fs::path name = pub->contentRoot().filename();
    fs::create_directories((partly / name / largestFile()).parent_path());
    fs::copy_file(pub->contentRoot() / largestFile(), partly / name / largestFile());
    ASSERT_LT(fs::space(partly).available, setBytes(4096));
    auto dlg = start({partly});
    EXPECT_TRUE(messages().empty());
    ASSERT_TRUE(dlg->Task().isValid());
    EXPECT_EQ(dlg->Engine()->BackEnd(), DiskBackEnd::Mapped);
    ASSERT_TRUE(until([&] { return dlg->Task().isComplete(); }));
    EXPECT_TRUE(HoldsTheSet(partly));
}

// Before: the download started and the first piece brought "Disk space is full".
TEST_F(DlgDrives, AReadOnlyDriveIsRefusedAndAnotherFolderCanBeChosen) {
    startPublisher(1 << 20);
    seeder = peer(swarm::Peer::Role::Seeder, "127.0.0.11");
    const fs::path readOnly = tmpfs("read-only", 4 << 20, true);
    {
        auto dlg = start({readOnly});
        expectRefusedThenClosed(
            *dlg, "Cannot write to this folder (the drive is read-only). Please choose another "
                  "folder");
    }
    // The chooser comes again after the message, and a good folder goes on as usual.
    prompt.entries.clear();
    const fs::path good = temp.path() / "good";
    auto dlg = start({readOnly, good});
    EXPECT_EQ(prompt.texts(RecordingPrompt::Kind::Folder), (std::vector<QString>{kTitle, kTitle}));
    ASSERT_TRUE(until([&] { return dlg->Task().isComplete(); }));
    EXPECT_TRUE(HoldsTheSet(good));
}

// A drive that turns read-only under a running download (the check passed) says that freeing
// space will not help; before, every file error said "Disk space is full".
TEST_F(DlgDrives, AFileErrorOnAReadOnlyDriveSaysFreeingSpaceWillNotHelp) {
    startPublisher(1 << 20);
    seeder = peer(swarm::Peer::Role::Seeder, "127.0.0.11");
    const fs::path readOnly = tmpfs("read-only", 4 << 20, true);
    EngineRun run(7);
    std::optional<EngineEvent> error;
    run.on(EngineEvent::Code::FileError, [&](const EngineEvent& e) { error = error.value_or(e); });
    ASSERT_TRUE(run.add(pub->torrent(), readOnly));
    ASSERT_TRUE(run.until([&] { return error.has_value(); }));
    EXPECT_EQ(error->systemError, EROFS) << error->message.toStdString();

    auto dlg = start({temp.path() / "elsewhere"});
    dlg->HandleEngineEvent(*error);
    EXPECT_EQ(messages(), std::vector<QString>{"The drive is read-only. Freeing disk space will "
                                               "not help: please restart and choose another "
                                               "folder"});
    EXPECT_TRUE(dlg->Task().isPaused());
}

// Before: the download started and failed on the first write past 4 GiB with "Disk space is
// full", again after every Resume.
TEST_F(DlgDrives, AFileOver4GiBIsRefusedOnFat32BeforeAnyByteIsFetched) {
    const fs::path set = temp.path() / "large-set" / "Emberway Installer";
    fs::create_directories(set / "Data");
    std::ofstream(set / "Setup.exe") << "setup";
    std::ofstream(set / "Data" / "Game.pak").close();
    fs::resize_file(set / "Data" / "Game.pak", kFatMaxFileSize + 1); // sparse: nothing written
    startPublisher(0, [&](publisher::PublisherOptions& o) {
        o.contentFolder = set;
        o.pieceSize = 16 << 20;
    });
    const fs::path fat = image(Image::Fat32, "fat32");
    if (fat.empty()) {
        GTEST_SKIP() << "needs dosfstools and fusefat";
    }
    auto dlg = start({fat});
    expectRefusedThenClosed(*dlg, "This drive cannot hold a file of 4.00 GB or more, and the file "
                                  "Emberway Installer/Data/Game.pak is 4.00 GB. Please choose a "
                                  "folder on another drive");
    EXPECT_TRUE(fs::is_empty(fat));
}

class DlgFuseDrives : public DlgDrives, public ::testing::WithParamInterface<Image> {};

// Before, the session mapped the files into memory on these drives too. On FAT32 the files are
// laid out in full first: its FUSE program (fusefat 0.1a) grows a file to the whole drive when it
// is extended through a descriptor opened anew, which the POSIX back end does for every block.
TEST_P(DlgFuseDrives, TheWholeSetLandsRightThroughThePosixDiskBackEnd) {
    startPublisher(8 << 20);
    seeder = peer(swarm::Peer::Role::Seeder, "127.0.0.11");
    const fs::path drive = image(GetParam(), "drive");
    if (drive.empty()) {
        GTEST_SKIP() << "needs the image's mkfs program, its FUSE program and /dev/fuse";
    }
    if (GetParam() == Image::Fat32) {
        for (const auto& f : fs::recursive_directory_iterator(pub->contentRoot())) {
            const fs::path to =
                drive / pub->contentRoot().filename() / fs::relative(f.path(), pub->contentRoot());
            if (f.is_regular_file()) {
                fs::create_directories(to.parent_path());
                std::ofstream(to, std::ios::binary) << std::string(f.file_size(), '\0');
            }
        }
    }
    auto dlg = start({drive});
    EXPECT_TRUE(messages().empty());
    ASSERT_TRUE(dlg->Task().isValid());
    EXPECT_EQ(dlg->Engine()->BackEnd(), DiskBackEnd::Posix);
    ASSERT_TRUE(until([&] { return dlg->Task().isComplete(); }));
    EXPECT_TRUE(messages().empty());
    EXPECT_TRUE(HoldsTheSet(drive));
}

std::string ImageName(const ::testing::TestParamInfo<Image>& info) {
    constexpr std::array<const char*, 3> kNames = {"Fat32", "Exfat", "Ntfs"};
    return kNames[static_cast<std::size_t>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Images, DlgFuseDrives,
                         ::testing::Values(Image::Fat32, Image::Exfat, Image::Ntfs), ImageName);

} // namespace
