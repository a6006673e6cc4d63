// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/constants.h"
#include "platform/files.h"
#include "platform/runtimeerror.h"

#include "support/testsupport.h"

#include <QDir>
#include <QFile>

#include "support/cases.h"

#include <gtest/gtest.h>

#include <ostream>

#include <functional>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using kestavo::platform::ErrorNumber;
using kestavo::platform::fileLookup;
using kestavo::platform::SequentialFile;
using namespace kestavo::test;

namespace
{

using kestavo::test::PrintTo;

const QString kName = QStringLiteral("Tavimer.ini");

struct LookupCase {
    const char* name;
    std::function<void()> make;
    bool present;
};

class FileLookup : public ::testing::TestWithParam<LookupCase>
{
};

TEST_P(FileLookup, CountsOnlyPlainFiles)
{
    ScratchWorkingDirectory scratch;
    GetParam().make();
    EXPECT_EQ(fileLookup(kName), GetParam().present ? kName : QString()) << GetParam().name;
}

void makeSocket(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::copy(name.begin(), name.end(), address.sun_path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FileLookup,
    ::testing::Values(
        LookupCase{"nothing", [] {}, false},
        LookupCase{"regular file", [] { writeFileBytes(kName, "3\r\n"); }, true},
        LookupCase{"read-only file",
                   [] {
                       writeFileBytes(kName, "3\r\n");
                       QFile::setPermissions(kName, QFile::ReadOwner);
                   },
                   true},
        LookupCase{"link to a file",
                   [] {
                       writeFileBytes(QStringLiteral("real.ini"), "3\r\n");
                       QFile::link(QStringLiteral("real.ini"), kName);
                   },
                   true},
        LookupCase{"directory", [] { QDir().mkdir(kName); }, false},
        LookupCase{"FIFO", [] { makeFifo(kName); }, false},
        LookupCase{"socket", [] { makeSocket(kName); }, false},
        LookupCase{"broken link", [] { QFile::link(QStringLiteral("gone"), kName); }, false},
        LookupCase{"other case", [] { writeFileBytes(QStringLiteral("tavimer.ini"), "3"); },
                   false}),
    ByName{});

[[nodiscard]] std::int16_t readFirstItem()
{
    SequentialFile file;
    file.open(kName, SequentialFile::Mode::Input);
    const std::int16_t value = file.readInt16Item();
    file.close();
    return value;
}

struct ReadCase {
    QByteArray content;
    int value;
};

void PrintTo(const ReadCase& c, std::ostream* os)
{
    printText(c.content.toStdString(), os);
}

class ReadItem : public ::testing::TestWithParam<ReadCase>
{
};

TEST_P(ReadItem, ReadsTheFirstNumber)
{
    ScratchWorkingDirectory scratch;
    writeFileBytes(kName, GetParam().content);
    EXPECT_EQ(readFirstItem(), GetParam().value) << GetParam().content.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Contents, ReadItem,
                         ::testing::Values(ReadCase{" 5 \r\n", 5}, ReadCase{"7,8\r\n", 7},
                                           ReadCase{"3\r\n", 3}, ReadCase{"3", 3},
                                           ReadCase{"\t-2\n", -2}, ReadCase{"12\r\n99\r\n", 12},
                                           ReadCase{"2.5\r\n", 2}, ReadCase{"  40 ,x", 40}));

struct BadReadCase {
    QByteArray content;
    ErrorNumber error;
};

void PrintTo(const BadReadCase& c, std::ostream* os)
{
    printText(c.content.toStdString(), os);
}

class BadReadItem : public ::testing::TestWithParam<BadReadCase>
{
};

TEST_P(BadReadItem, RaisesNamingTheFileAndLeavesItAlone)
{
    ScratchWorkingDirectory scratch;
    writeFileBytes(kName, GetParam().content);
    const auto error = raised([] { (void)readFirstItem(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number(), GetParam().error);
    EXPECT_TRUE(error->description().contains(QDir(scratch.path()).filePath(kName)))
        << error->description().toStdString();
    EXPECT_EQ(fileBytes(kName), GetParam().content);
}

INSTANTIATE_TEST_SUITE_P(Contents, BadReadItem,
                         ::testing::Values(BadReadCase{"", ErrorNumber::FileItemNotANumber},
                                           BadReadCase{"\r\n", ErrorNumber::FileItemNotANumber},
                                           BadReadCase{"   \r\n", ErrorNumber::FileItemNotANumber},
                                           BadReadCase{",5\r\n", ErrorNumber::FileItemNotANumber},
                                           BadReadCase{"COM3\r\n", ErrorNumber::FileItemNotANumber},
                                           BadReadCase{"3x\r\n", ErrorNumber::FileItemNotANumber},
                                           BadReadCase{"70000\r\n", ErrorNumber::Overflow},
                                           BadReadCase{QByteArray(100000, '0'),
                                                       ErrorNumber::FileItemNotANumber}));

// A 32-bit program not built for large files gets EOVERFLOW from stat() and
// open() on a file whose size or inode number needs more than 32 bits, and
// would take such a Tavimer.ini for missing.
TEST(SequentialFileInput, ReadsAFileLargerThan4GiB)
{
    ScratchWorkingDirectory scratch;
    writeFileBytes(kName, "7\r\n");
    QFile file(kName);
    ASSERT_TRUE(file.resize(qint64{5} << 30)) << file.errorString().toStdString(); // sparse
    EXPECT_EQ(fileLookup(kName).toStdString(), kName.toStdString());
    EXPECT_EQ(readFirstItem(), 7);
}

TEST(SequentialFileInput, FifoIsRefusedWithoutBlocking)
{
    ScratchWorkingDirectory scratch;
    makeFifo(kName);
    SequentialFile file;
    const auto error = raised([&] { file.open(kName, SequentialFile::Mode::Input); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number(), ErrorNumber::FileUnreadable);
}

TEST(SequentialFileOutput, WritesTheTextThenCrLf)
{
    ScratchWorkingDirectory scratch;
    writeFileBytes(kName, "an older and longer content\r\n");
    SequentialFile file;
    file.open(kName, SequentialFile::Mode::Output);
    file.writeLine(QStringLiteral(" 5 "));
    file.close();
    EXPECT_EQ(fileBytes(kName), QByteArray(" 5 \r\n"));
    EXPECT_EQ(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{kName});
}

TEST(SequentialFileOutput, NothingAppearsUntilClosed)
{
    ScratchWorkingDirectory scratch;
    {
        SequentialFile file;
        file.open(kName, SequentialFile::Mode::Output);
        file.writeLine(QStringLiteral("3"));
        EXPECT_FALSE(QFile::exists(kName));
    }
    // Never closed: discarded, so no empty or partial file is left.
    EXPECT_FALSE(QFile::exists(kName));
    EXPECT_TRUE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
}

struct InTheWayCase {
    const char* name;
    std::function<void()> make;
};

class OutputInTheWay : public ::testing::TestWithParam<InTheWayCase>
{
};

TEST_P(OutputInTheWay, FailsWithoutBlockingOrReplacing)
{
    ScratchWorkingDirectory scratch;
    GetParam().make();
    const QFileInfo before(kName);
    SequentialFile file;
    const auto error = raised([&] {
        file.open(kName, SequentialFile::Mode::Output);
        file.writeLine(QStringLiteral("3"));
        file.close();
    });
    ASSERT_TRUE(error) << GetParam().name;
    EXPECT_EQ(error->number(), ErrorNumber::FileUnwritable);
    EXPECT_TRUE(error->description().contains(kName));
    const QFileInfo after(kName);
    EXPECT_EQ(after.isDir(), before.isDir());
    EXPECT_FALSE(after.isFile()) << GetParam().name << " was replaced";
}

INSTANTIATE_TEST_SUITE_P(Kinds, OutputInTheWay,
                         ::testing::Values(InTheWayCase{"directory", [] { QDir().mkdir(kName); }},
                                           InTheWayCase{"FIFO", [] { makeFifo(kName); }}),
                         ByName{});

struct FullDiskCase {
    const char* name;
    long room; // bytes the file may grow to
    QString line;
};

class OutputOnAFullDisk : public ::testing::TestWithParam<FullDiskCase>
{
};

// The disk fills up before the save is done: the save fails with 203 and
// nothing is left, neither the file nor its temporary stand-in.
TEST_P(OutputOnAFullDisk, FailsAndLeavesNothing)
{
    ScratchWorkingDirectory scratch;
    const FullDiskCase& c = GetParam();
    const ChildOutcome outcome = runWithFileSizeLimit(c.room, [&c] {
        SequentialFile file;
        file.open(kName, SequentialFile::Mode::Output);
        file.writeLine(c.line);
        file.close();
    });
    ASSERT_TRUE(outcome.ran) << c.name;
    ASSERT_TRUE(outcome.errorCode) << c.name << ": the save reported success";
    EXPECT_EQ(*outcome.errorCode, static_cast<int>(ErrorNumber::FileUnwritable));
    EXPECT_TRUE(outcome.description.contains(QDir(scratch.path()).filePath(kName)))
        << outcome.description.toStdString();
    EXPECT_TRUE(outcome.description.contains(QStringLiteral("File too large")))
        << outcome.description.toStdString();
    EXPECT_TRUE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty())
        << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Room, OutputOnAFullDisk,
    ::testing::Values(FullDiskCase{"no room at all", 0, QStringLiteral("3")},
                      FullDiskCase{"room for part of the line", 2, QStringLiteral("99")},
                      FullDiskCase{"room for all but the line end", 100,
                                   QStringLiteral("99.") + QString(97, u'0')},
                      FullDiskCase{"a long line cut at a block", 4096,
                                   QStringLiteral("1.") + QString(5000, u'0')}));

TEST(SequentialFileOutput, ALineThatFitsIsSavedUnderTheSameLimit)
{
    ScratchWorkingDirectory scratch;
    const ChildOutcome outcome = runWithFileSizeLimit(4, [] {
        SequentialFile file;
        file.open(kName, SequentialFile::Mode::Output);
        file.writeLine(QStringLiteral("99"));
        file.close();
    });
    ASSERT_TRUE(outcome.ran);
    EXPECT_FALSE(outcome.errorCode) << outcome.description.toStdString();
    EXPECT_EQ(fileBytes(kName), QByteArray("99\r\n"));
}

TEST(SequentialFileOutput, MissingDirectoryIsAnError)
{
    ScratchWorkingDirectory scratch;
    SequentialFile file;
    const auto error = raised(
        [&] { file.open(QStringLiteral("no/such/dir/") + kName, SequentialFile::Mode::Output); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number(), ErrorNumber::FileUnwritable);
}

} // namespace
