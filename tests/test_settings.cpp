#include "base/Errors.h"
#include "data/URegistry.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace
{

// Points the user and machine stores into a scratch folder, away from any real settings.
class SettingsStore : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        UsePaths(m_dir.filePath(QStringLiteral("user")), m_dir.filePath(QStringLiteral("machine")));
    }
    static void UsePaths(const QString &user, const QString &machine)
    {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, user);
        QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, machine);
    }
    static QString Read(const QString &name, bool machine = false)
    {
        return ReadSetting(QuillmereKeyPath, name, machine);
    }
    static void Write(const QString &name, const QString &value, bool machine = false)
    {
        WriteSetting(QuillmereKeyPath, name, value, machine);
    }
    // Stores a value of any type under the program's key, bypassing WriteSetting.
    static void StoreRaw(const QString &name, const QVariant &value)
    {
        QSettings store(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Corvanta"),
                        QStringLiteral("Quillmere"));
        store.setValue(QStringLiteral("SOFTWARE/Corvanta/Quillmere/") + name, value);
        store.sync();
        ASSERT_EQ(store.status(), QSettings::NoError);
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(SettingsStore, NeverWrittenValuesReadEmptyAndCreateNothing)
{
    for (const char *name : {"Imported", "ImportDrive", "ImportPath"}) {
        EXPECT_EQ(Read(QString::fromLatin1(name)), QString());
        EXPECT_EQ(Read(QString::fromLatin1(name), true), QString());
    }
    EXPECT_TRUE(QDir(m_dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

TEST_F(SettingsStore, WrittenTextsReadBackUnchanged)
{
    const QString texts[] = {QStringLiteral("Y"),
                             QStringLiteral("y"),
                             QStringLiteral("c"),
                             QStringLiteral("C:\\Music\\Rock, Pop; \"Live\""),
                             QStringLiteral("@Variant(odd)"),
                             QStringLiteral("  spaced  "),
                             QStringLiteral("=[]#;"),
                             QString::fromUtf16(u"Caf\u00e9 \u65e5\u672c")};
    for (const QString &text : texts) {
        Write(QStringLiteral("ImportPath"), text);
        EXPECT_EQ(Read(QStringLiteral("ImportPath")), text);
    }
    Write(QStringLiteral("ImportPath"), QString());
    EXPECT_EQ(Read(QStringLiteral("ImportPath")), QString());
}

TEST_F(SettingsStore, ValuesLiveInTheProgramsGroupOfItsFile)
{
    Write(QStringLiteral("Imported"), QStringLiteral("Y"));
    QSettings store(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Corvanta"),
                    QStringLiteral("Quillmere"));
    EXPECT_TRUE(store.fileName().startsWith(m_dir.path()));
    EXPECT_EQ(store.value(QStringLiteral("SOFTWARE/Corvanta/Quillmere/Imported")).toString(),
              QStringLiteral("Y"));
}

TEST_F(SettingsStore, UserAndMachineRootsAreSeparate)
{
    Write(QStringLiteral("Imported"), QStringLiteral("Y"));
    EXPECT_EQ(Read(QStringLiteral("Imported"), true), QString());
    Write(QStringLiteral("ImportDrive"), QStringLiteral("d"), true);
    EXPECT_EQ(Read(QStringLiteral("ImportDrive"), true), QStringLiteral("d"));
    EXPECT_EQ(Read(QStringLiteral("ImportDrive")), QString());
    EXPECT_EQ(Read(QStringLiteral("Imported")), QStringLiteral("Y"));
}

TEST_F(SettingsStore, KeyPathsAreSeparate)
{
    WriteSetting(QStringLiteral("\\SOFTWARE\\Other"), QStringLiteral("Imported"),
                 QStringLiteral("Y"), false);
    EXPECT_EQ(Read(QStringLiteral("Imported")), QString());
    EXPECT_EQ(ReadSetting(QStringLiteral("\\SOFTWARE\\Other"), QStringLiteral("Imported"), false),
              QStringLiteral("Y"));
}

TEST_F(SettingsStore, TextEndsAtTheFirstZeroCharacter)
{
    Write(QStringLiteral("ImportPath"),
          QStringLiteral("abc") + QChar(u'\0') + QStringLiteral("def"));
    EXPECT_EQ(Read(QStringLiteral("ImportPath")), QStringLiteral("abc"));
}

TEST_F(SettingsStore, NonStringValuesAreRefused)
{
    StoreRaw(QStringLiteral("Imported"), QStringList{QStringLiteral("a"), QStringLiteral("b")});
    StoreRaw(QStringLiteral("ImportDrive"), QByteArray("\x01\x02", 2));
    for (const QString &name : {QStringLiteral("Imported"), QStringLiteral("ImportDrive")}) {
        try {
            Read(name);
            ADD_FAILURE() << "no error for " << name.toStdString();
        } catch (const ERegistryError &e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Invalid data type for '%1'").arg(name));
        }
    }
}

TEST_F(SettingsStore, UnstorableValueRaisesTheSetError)
{
    // A folder beneath a plain file can never be created, not even by root.
    const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    UsePaths(blocker + QStringLiteral("/user"), blocker + QStringLiteral("/machine"));
    try {
        Write(QStringLiteral("ImportPath"), QStringLiteral("/music"));
        ADD_FAILURE() << "no error";
    } catch (const ERegistryError &e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Failed to set data for 'ImportPath'"));
    }
    EXPECT_EQ(Read(QStringLiteral("ImportPath")), QString());
}
