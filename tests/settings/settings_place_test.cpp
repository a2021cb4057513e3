#include "iniactions.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <tuple>

using namespace Qt::StringLiterals;

namespace {

TEST(SettingsPlace, InstalledCopiesAreTheOnesUnderSystemFoldersOrInAnInstallTree)
{
    const std::tuple<QString, bool> folders[] = {
        {u"/usr/bin"_s, true},     {u"/usr/local/bin"_s, true},     {u"/usr/local/bin/"_s, true},
        {u"/opt/quendra"_s, true}, {u"/opt/quendra/bin"_s, true},   {u"/home/ann/quendra"_s, false},
        {u"/usr2/bin"_s, false},   {u"/optional/quendra"_s, false}, {u"/usr/bin/../../home/ann/quendra"_s, false},
    };
    for (const auto &[folder, installed] : folders)
        EXPECT_EQ(isInstalledProgramFolder(folder), installed) << folder.toStdString();

    // A private prefix (--prefix ~/.local): known by the module beside the program's bin folder.
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    const QString bin = prefix.filePath(u"bin"_s);
    ASSERT_TRUE(QDir().mkpath(bin));
    EXPECT_FALSE(isInstalledProgramFolder(bin));
    ASSERT_TRUE(QDir(bin).mkpath(QStringLiteral(QUENDRA_MODULE_RELATIVE_DIR)));
    EXPECT_TRUE(isInstalledProgramFolder(bin));
}

TEST(SettingsPlace, AnInstalledCopyKeepsItsSettingsInTheUsersFolderUnlessOneIsBesideIt)
{
    QTemporaryDir program;
    ASSERT_TRUE(program.isValid());
    const QString beside = program.filePath(u"Quendra.ini"_s);
    const QString config = u"/home/ann/.config/quendra/Quendra.ini"_s;

    enum Beside { NoFile, WritableFile, ReadOnlyFile };
    // installed, the folder writable, a file beside it: where the settings go.
    const std::tuple<bool, bool, Beside, QString> cases[] = {
        {false, true, NoFile, beside},       {false, false, NoFile, config},       {false, false, WritableFile, beside},
        {false, true, ReadOnlyFile, beside}, {false, false, ReadOnlyFile, config}, {true, true, NoFile, config},
        {true, false, NoFile, config},       {true, true, WritableFile, beside},   {true, false, WritableFile, beside},
        {true, true, ReadOnlyFile, config},
    };
    for (const auto &[installed, folderWritable, file, expected] : cases) {
        QFile::remove(beside);
        if (file != NoFile) {
            QFile ini(beside);
            ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        }
        const auto writable = [&, folderWritable = folderWritable, file = file](const QString &path) {
            return path == beside ? file == WritableFile : folderWritable;
        };
        EXPECT_EQ(chooseSettingsFile(program.path(), installed, u"/home/ann/.config/quendra"_s, writable), expected)
            << "installed " << installed << ", folder writable " << folderWritable << ", file " << file;
    }
}

} // namespace
