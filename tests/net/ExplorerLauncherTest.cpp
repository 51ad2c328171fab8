#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "net/ExplorerLauncher.h"
#include "platform/QtPrompt.h"
#include "support/RecordingPrompt.h"
#include "support/SmallPublisher.h"

TEST(EscapeUrlQuery, EscapesOnlyTheFirstQueryAndDropsTheRest) {
    QString text = QStringLiteral("http://h/p?a=1&b=two words/x?dropped=1?more");
    ASSERT_TRUE(EscapeUrlQuery(text));
    EXPECT_EQ(text, QStringLiteral("http://h/p?a=1&b=two%20words%2Fx"));

    text = QString::fromUtf8("http://h/?q=\"#%<>[\\]^`{|}+\xED\x95\x9C\n");
    ASSERT_TRUE(EscapeUrlQuery(text));
    EXPECT_EQ(text,
              QStringLiteral("http://h/?q=%22%23%%3C%3E%5B%5C%5D%5E%60%7B%7C%7D+%ED%95%9C%0A"));

    // Already escaped: stays as it is, rather than becoming %25ED...
    text = QStringLiteral("http://h/search?q=%ED%95%9C&n=1");
    ASSERT_TRUE(EscapeUrlQuery(text));
    EXPECT_EQ(text, QStringLiteral("http://h/search?q=%ED%95%9C&n=1"));

    text = QStringLiteral("http://h/page?");
    ASSERT_TRUE(EscapeUrlQuery(text));
    EXPECT_EQ(text, QStringLiteral("http://h/page?"));

    // No "?": a folder path stays exactly as it was, blanks included.
    text = QStringLiteral("/home/user/My Games/Kestrel Installer");
    ASSERT_TRUE(EscapeUrlQuery(text));
    EXPECT_EQ(text, QStringLiteral("/home/user/My Games/Kestrel Installer"));
}

TEST(EscapeUrlQuery, RefusesAResultPastTheLaunchLimit) {
    const QString head = QStringLiteral("http://h/?");
    QString fits = head + QString(kMaxLaunchTarget - head.size(), u'a');
    ASSERT_TRUE(EscapeUrlQuery(fits));
    EXPECT_EQ(fits.size(), 2047);

    // Grows past the limit only once escaped: refused, and left unchanged.
    const QString original = head + QString(700, u' ');
    QString grows = original;
    EXPECT_FALSE(EscapeUrlQuery(grows));
    EXPECT_EQ(grows, original);
}

TEST(LaunchInExplorer, OpensOnlyWebPagesAndExistingFolders) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    RecordingPrompt prompt;
    EXPECT_TRUE(LaunchInExplorer(prompt, QStringLiteral("http://h/a?x=1 2?y")));
    EXPECT_TRUE(LaunchInExplorer(prompt, QStringLiteral("HTTPS://h/")));
    EXPECT_TRUE(LaunchInExplorer(prompt, folder.path()));

    EXPECT_FALSE(LaunchInExplorer(prompt, QStringLiteral("javascript:alert(1)")));
    EXPECT_FALSE(LaunchInExplorer(prompt, QStringLiteral("file:///etc/passwd")));
    EXPECT_FALSE(LaunchInExplorer(prompt, QStringLiteral("/etc/passwd"))); // a file, not a folder
    EXPECT_FALSE(LaunchInExplorer(prompt, folder.path() + QStringLiteral("/missing")));
    EXPECT_FALSE(LaunchInExplorer(prompt, QStringLiteral("tmp"))); // relative
    EXPECT_FALSE(LaunchInExplorer(prompt, QStringLiteral("-http://h/")));
    EXPECT_FALSE(LaunchInExplorer(prompt, QString()));

    const QString head = QStringLiteral("http://h/");
    EXPECT_TRUE(LaunchInExplorer(prompt, head + QString(2047 - head.size(), u'a')));
    EXPECT_FALSE(LaunchInExplorer(prompt, head + QString(2048 - head.size(), u'a')));

    const auto opened = prompt.texts(RecordingPrompt::Kind::Open);
    ASSERT_EQ(opened.size(), 4u);
    EXPECT_EQ(opened[0], QStringLiteral("http://h/a?x=1%202"));
    EXPECT_EQ(opened[2], folder.path());
}

// A save folder is a name, not an address: whatever its name holds, the folder itself opens.
TEST(LaunchInExplorer, OpensAFolderWhoseNameHoldsQuestionMarkHashOrPercent) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    RecordingPrompt prompt;
    std::vector<QString> folders;
    for (const QString& name :
         {QStringLiteral("Games?"), QStringLiteral("a?b?c"), QStringLiteral("#1 save"),
          QStringLiteral("100% done%41"), QStringLiteral("what?/deeper#/50%")}) {
        const QString folder = root.path() + u'/' + name;
        ASSERT_TRUE(QDir().mkpath(folder)) << name.toStdString();
        EXPECT_TRUE(LaunchInExplorer(prompt, folder)) << name.toStdString();
        folders.push_back(folder);
    }
    EXPECT_EQ(prompt.texts(RecordingPrompt::Kind::Open), folders);
}

// The real launcher: a stand-in xdg-open first on PATH writes the arguments it got, one per line.
TEST(LaunchInExplorer, HandsTheTargetToXdgOpenAsOneArgument) {
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    const std::string argvFile = (bin.path() + QStringLiteral("/argv")).toStdString();
    const std::string script = (bin.path() + QStringLiteral("/xdg-open")).toStdString();
    {
        std::ofstream out(script);
        out << "#!/bin/sh\n"
            << "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << argvFile << ".tmp'\n"
            << "mv '" << argvFile << ".tmp' '" << argvFile << "'\n";
    }
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (bin.path().toStdString() + ":" + oldPath).c_str(), 1);

    QtPrompt prompt;
    const bool launched =
        LaunchInExplorer(prompt, QStringLiteral("http://h/x\";touch /tmp/pwned;\"?a=b\"c;d"));
    const bool arrived = waitFor([&] { return std::filesystem::exists(argvFile); });
    setenv("PATH", oldPath.c_str(), 1);

    ASSERT_TRUE(launched);
    ASSERT_TRUE(arrived);
    std::ifstream in(argvFile);
    const std::string seen{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(seen, "http://h/x\";touch /tmp/pwned;\"?a=b%22c;d\n");
}
